#include "dialogs/FormSpeak.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/ProcessState.h"
#include "i18n/Translator.h"
#include "widgets/WindowChrome.h"

namespace corvala {

namespace {
const QString Dots = QStringLiteral("......");
}

TFormSpeak::TFormSpeak(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("TFormSpeak");
    resize(320, 110);
    panCaption = new TCaptionBar(this);
    lblCaption = AddCaptionTitle(panCaption);
    Label100 = new QLabel(this);
    Label100->setObjectName("Label100");
    Label100->setTextFormat(Qt::PlainText);
    btnStop = new QPushButton(this);
    btnStop->setObjectName("btnStop");
    connect(btnStop, &QPushButton::clicked, this, &QWidget::close);
    Timer1 = new QTimer(this);
    Timer1->setInterval(AnimationMs);
    connect(Timer1, &QTimer::timeout, this, &TFormSpeak::Timer1Timer);

    auto* row = new QHBoxLayout;
    const int border = processState().Theme.BorderWidth;
    row->setContentsMargins(12 + border, 12, 12 + border, 12 + border);
    row->addWidget(Label100, 1);
    row->addWidget(btnStop);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(panCaption);
    outer->addLayout(row, 1);
    setWindowTitle(translate("Speak to Remote User"));
    lblCaption->setText(windowTitle());
}

void TFormSpeak::ShowWithCaption(const QString& caption) {
    setWindowTitle(caption);
    lblCaption->setText(caption);
    btnStop->setText(translate("Stop"));
    FListening = translate("Say something! Listening");
    Label100->setText(FListening);
    Timer1->start();
    show();
    raise();
}

void TFormSpeak::PlaceBelowCaption(const QRect& mainFrame, int captionBottom, int clientRight, int width) {
    if (width > 0) resize(width, height());
    move(mainFrame.left() + clientRight - this->width(), mainFrame.top() + captionBottom + 2);
}

QString TFormSpeak::LabelText() const { return Label100->text(); }

QString TFormSpeak::Caption() const { return lblCaption->text(); }

void TFormSpeak::Timer1Timer() {
    if (!isVisible()) return;
    Label100->setText(Label100->text() == FListening + Dots ? FListening : Label100->text() + ".");
}

void TFormSpeak::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    QWidget::closeEvent(event);
    if (Closed) Closed();
}

void TFormSpeak::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    PaintWindowBorder(this);
}

}  // namespace corvala
