#include "dialogs/ChooserFrame.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "base/ProcessState.h"
#include "i18n/Translator.h"
#include "widgets/WindowChrome.h"

namespace corvala {

namespace {

void Fill(QWidget* widget, const QColor& colour) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

}  // namespace

TChooserFrame::TChooserFrame(const char* objectName, QSize clientSize, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(objectName);
    setModal(true);
    const ThemeColours& theme = processState().Theme;
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(theme.BorderWidth, theme.BorderWidth, theme.BorderWidth, theme.BorderWidth);
    outer->setSpacing(0);

    panCaption = new TCaptionBar(this);
    panCaption->setObjectName("panCaption");
    panCaption->setFixedHeight(CaptionHeight - theme.BorderWidth);
    lblCaption = new QLabel(panCaption);
    lblCaption->setObjectName("lblCaption");
    lblCaption->setStyleSheet(QString("color: %1; font-weight: bold;").arg(ToQColor(theme.CaptionTextColour).name()));
    panCaption->DragBy(lblCaption);
    btnClose = new TCaptionButton(TCaptionButton::Glyph::Close, panCaption);
    btnClose->setObjectName("btnClose");
    auto* caption = new QHBoxLayout(panCaption);
    caption->setContentsMargins(8, 0, 0, 0);
    caption->addWidget(lblCaption, 1);
    caption->addWidget(btnClose, 0, Qt::AlignTop);
    outer->addWidget(panCaption);

    auto* body = new QWidget(this);
    Fill(body, Qt::white);
    FBody = new QVBoxLayout(body);
    FBody->setContentsMargins(0, 0, 0, 0);
    FBody->setSpacing(0);
    lblPrompt = new QLabel(body);
    lblPrompt->setObjectName("lblPrompt");
    lblPrompt->setFixedHeight(PromptHeight);
    lblPrompt->setContentsMargins(8, 0, 8, 0);
    FBody->addWidget(lblPrompt);
    outer->addWidget(body, 1);

    panBottom = new QWidget(this);
    panBottom->setObjectName("panBottom");
    panBottom->setFixedHeight(BottomPanelHeight);
    btnOK = new QPushButton(panBottom);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton(panBottom);
    btnCancel->setObjectName("btnCancel");
    auto* buttons = new QHBoxLayout(panBottom);
    buttons->setContentsMargins(8, 8, 8, 8);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    outer->addWidget(panBottom);

    connect(btnClose, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnOK, &QPushButton::clicked, this, [this] { OkClick(); });
    setFixedSize(clientSize);
}

void TChooserFrame::TranslateFrame(const char* captionKey, const char* promptKey, const char* okKey,
                                   const char* cancelKey) {
    lblCaption->setText(translate(captionKey));
    lblPrompt->setVisible(promptKey != nullptr);
    if (promptKey) lblPrompt->setText(translate(promptKey));
    setWindowTitle(translate(captionKey));
    btnOK->setText(translate(okKey));
    btnCancel->setText(translate(cancelKey));
}

QVBoxLayout* TChooserFrame::AddFieldColumn() {
    auto* fields = new QWidget(this);
    auto* column = new QVBoxLayout(fields);
    column->setContentsMargins(16, 12, 16, 12);
    FBody->addWidget(fields, 1);
    return column;
}

void TChooserFrame::Confirm() {
    Tag = 1;
    accept();
}

void TChooserFrame::EnterConfirms() {
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

bool TChooserFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && watched != btnCancel && watched != btnClose) {
            OkClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TChooserFrame::showEvent(QShowEvent* event) {
    Tag = 0;
    const ThemeColours& theme = processState().Theme;
    Fill(panBottom, theme.PanelColour ? ToQColor(*theme.PanelColour) : QApplication::palette().color(QPalette::Button));
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TChooserFrame::paintEvent(QPaintEvent*) {
    // What the caption, body and bottom panel leave uncovered is the border.
    QPainter(this).fillRect(rect(), ToQColor(processState().Theme.BorderColour));
}

}  // namespace corvala
