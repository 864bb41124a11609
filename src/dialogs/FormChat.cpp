#include "dialogs/FormChat.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "base/ProcessState.h"
#include "i18n/Translator.h"
#include "widgets/WindowChrome.h"

namespace corvala {

TFormChat::TFormChat(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("TFormChat");
    resize(360, 300);

    panCaption = new TCaptionBar(this);
    lblCaption = AddCaptionTitle(panCaption);
    auto* close = new TCaptionButton(TCaptionButton::Glyph::Close, panCaption);
    close->setObjectName("btnClose");
    panCaption->layout()->addWidget(close);
    connect(close, &QAbstractButton::clicked, this, &QWidget::close);

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->document()->setMaximumBlockCount(MaxLogParagraphs);
    lblMessage = new QLabel(this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setMaxLength(Chat::MaxLineLength);
    lblRecipient = new QLabel(this);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    btnSend = new QPushButton(this);
    btnSend->setObjectName("btnSend");
    btnSend->setAutoDefault(false);
    connect(btnSend, &QPushButton::clicked, this, &TFormChat::SendClick);

    auto* form = new QGridLayout;
    form->addWidget(lblMessage, 0, 0);
    form->addWidget(Edit1, 0, 1, 1, 2);
    form->addWidget(lblRecipient, 1, 0);
    form->addWidget(ComboBox1, 1, 1);
    form->addWidget(btnSend, 1, 2);
    form->setColumnStretch(1, 1);
    auto* body = new QVBoxLayout;
    const int border = processState().Theme.BorderWidth;
    body->setContentsMargins(8 + border, 8, 8 + border, 8 + border);
    body->addWidget(RichEdit1, 1);
    body->addLayout(form);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(panCaption);
    outer->addLayout(body, 1);
    Translate();
}

void TFormChat::Translate() {
    setWindowTitle(translate("Chat"));
    lblCaption->setText(translate("Chat"));
    lblMessage->setText(translate("Message:"));
    lblRecipient->setText(translate("Recipient:"));
    btnSend->setText(translate("Send"));
}

void TFormChat::AppendLine(const ChatLine& line) {
    const ThemeColours& theme = processState().Theme;
    QTextCursor cursor(RichEdit1->document());
    cursor.movePosition(QTextCursor::End);
    if (!RichEdit1->document()->isEmpty()) cursor.insertBlock();
    QTextCharFormat format;
    format.setForeground(ToQColor(line.Own ? theme.ChatOwnNameColour : theme.ChatPeerNameColour));
    format.setFontWeight(QFont::Bold);
    // insertText keeps markup as the characters it is made of.
    cursor.insertText(line.Header, format);
    format.setFontWeight(QFont::Normal);
    cursor.insertText(line.Text, format);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    RichEdit1->verticalScrollBar()->setValue(RichEdit1->verticalScrollBar()->maximum());
}

void TFormChat::ShowRecipients(const ChatRecipients& recipients) {
    ComboBox1->clear();
    ComboBox1->addItems(recipients.Entries);
    ComboBox1->setCurrentIndex(recipients.Selected);
}

QString TFormChat::Recipient() const { return ComboBox1->currentText(); }

void TFormChat::ClearMessageLine() { Edit1->clear(); }

void TFormChat::PlaceBelowCaption(const QRect& mainFrame, int captionBottom, int clientRight) {
    move(mainFrame.left() + clientRight - width(), mainFrame.top() + captionBottom + 2);
}

void TFormChat::SendClick() {
    if (SendLine && SendLine(Recipient(), Edit1->text())) Edit1->clear();
}

bool TFormChat::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) Edit1->setFocus();
    return QWidget::event(event);
}

void TFormChat::keyPressEvent(QKeyEvent* event) {
    // Enter sends from anywhere in the window; the message line passes it on.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        SendClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFormChat::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    PaintWindowBorder(this);
}

void TFormChat::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Translate();
}

}  // namespace corvala
