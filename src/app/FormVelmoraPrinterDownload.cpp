#include "app/FormVelmoraPrinterDownload.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "i18n/Translator.h"

namespace corvala {

TfrmVelmoraPrinterDownload::TfrmVelmoraPrinterDownload(QWidget* parent) : TThemedDialog(QString(), parent) {
    setObjectName("TfrmVelmoraPrinterDownload");
    lblStatus = new QLabel(this);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setTextFormat(Qt::PlainText);
    Body()->addWidget(lblStatus);
    auto* row = new QHBoxLayout();
    pbDownload = new QProgressBar(this);
    pbDownload->setObjectName("pbDownload");
    pbDownload->setRange(0, 100);
    pbDownload->setTextVisible(false);
    btnAbort = AddAccentButton(QString(), this);
    btnAbort->setObjectName("btnAbort");
    row->addWidget(pbDownload, 1);
    row->addWidget(btnAbort);
    Body()->addLayout(row);
    setFixedSize(Width, Height);
    connect(btnAbort, &QPushButton::clicked, this, [this] {
        btnAbort->setEnabled(false);
        emit Abort();
    });
}

void TfrmVelmoraPrinterDownload::ShowDownload(const QString& caption, const QString& status) {
    setWindowTitle(caption);
    if (auto* title = findChild<QLabel*>("lblTitle")) title->setText(caption);
    lblStatus->setText(status);
    btnAbort->setText(translate("Abort"));
    btnAbort->setEnabled(true);
    pbDownload->setValue(0);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setModal(false);
    show();
    raise();
}

void TfrmVelmoraPrinterDownload::SetProgress(int percent) { pbDownload->setValue(percent); }

int TfrmVelmoraPrinterDownload::Progress() const { return pbDownload->value(); }

void TfrmVelmoraPrinterDownload::CloseDownload() {
    FClosing = true;
    hide();
    FClosing = false;
}

void TfrmVelmoraPrinterDownload::done(int result) {
    // The cross or Escape while the download runs: it stops, and closes the
    // window itself once it has.
    if (!FClosing && isVisible()) {
        btnAbort->setEnabled(false);
        emit Abort();
        return;
    }
    TThemedDialog::done(result);
}

}  // namespace corvala
