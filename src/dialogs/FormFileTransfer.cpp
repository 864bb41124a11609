#include "dialogs/FormFileTransfer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "i18n/Translator.h"

namespace corvala {

TFormFileTransfer::TFormFileTransfer(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setObjectName("FormFileTransfer");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setFixedHeight(StatusHeight);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblStatus->setContentsMargins(8, 0, 8, 0);
    lblStatus->setTextFormat(Qt::PlainText);
    layout->addWidget(lblStatus);
    panButtons = new QWidget(this);
    panButtons->setObjectName("panButtons");
    panButtons->setFixedHeight(ButtonPanelHeight);
    lblProgress = new QLabel(panButtons);
    lblProgress->setObjectName("lblProgress");
    btnAbort = new QPushButton(panButtons);
    btnAbort->setObjectName("btnAbort");
    auto* buttons = new QHBoxLayout(panButtons);
    buttons->setContentsMargins(8, 4, 8, 4);
    buttons->addWidget(lblProgress, 1);
    buttons->addWidget(btnAbort);
    layout->addWidget(panButtons);
    pbTransfer = new QProgressBar(this);
    pbTransfer->setObjectName("pbTransfer");
    pbTransfer->setFixedHeight(ProgressHeight);
    pbTransfer->setRange(0, 100);
    pbTransfer->setTextVisible(false);
    layout->addWidget(pbTransfer);
    setFixedSize(Width, StatusHeight + ButtonPanelHeight + ProgressHeight);
    connect(btnAbort, &QPushButton::clicked, this, [this] {
        btnAbort->setEnabled(false);
        emit Abort();
    });
}

void TFormFileTransfer::ShowTransfer(bool modal) {
    btnAbort->setText(translate("Abort"));
    setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
}

void TFormFileTransfer::ShowState(const transfer::TransferWindowState& state) {
    setWindowTitle(state.Caption);
    lblStatus->setText(state.Status);
    btnAbort->setEnabled(state.AbortEnabled);
    lblProgress->setText(state.ProgressLine);
    if (state.Percent) pbTransfer->setValue(*state.Percent);
}

void TFormFileTransfer::CloseTransfer() {
    FClosing = true;
    close();
    FClosing = false;
    pbTransfer->setValue(0);
    lblProgress->clear();
}

void TFormFileTransfer::closeEvent(QCloseEvent* event) {
    // Only the transfer closes the window; the window manager's close is an Abort.
    if (FClosing) return QDialog::closeEvent(event);
    event->ignore();
    if (btnAbort->isEnabled()) btnAbort->click();
}

void TFormFileTransfer::keyPressEvent(QKeyEvent* event) {
    // Escape would close the window behind the transfer's back.
    if (event->key() == Qt::Key_Escape) return event->accept();
    QDialog::keyPressEvent(event);
}

}  // namespace corvala
