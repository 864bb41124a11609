#pragma once
// The chat window (TFormChat): a small stay-on-top window with the log of
// lines, the message line, the recipient list and "Send". It shows what the
// chat (control/Chat.h) decides and hands typed lines back through SendLine.

#include <QWidget>

#include <functional>

#include "control/Chat.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace corvala {

class TCaptionBar;

class TFormChat : public QWidget {
    Q_OBJECT
public:
    // The log keeps this many paragraphs: a peer that floods the chat cannot
    // make it grow without end.
    static constexpr int MaxLogParagraphs = 5000;

    explicit TFormChat(QWidget* parent = nullptr);

    // The typed line to the chosen recipient; true when it went out (the
    // message line is then cleared).
    std::function<bool(const QString& recipient, const QString& line)> SendLine;

    // Caption, labels and button in the current language.
    void Translate();
    void AppendLine(const ChatLine& line);
    void ShowRecipients(const ChatRecipients& recipients);
    QString Recipient() const;
    void ClearMessageLine();
    // Below the main window's caption, at the right of its client area.
    void PlaceBelowCaption(const QRect& mainFrame, int captionBottom, int clientRight);

    QTextEdit* Log() const { return RichEdit1; }
    QLineEdit* MessageLine() const { return Edit1; }
    QComboBox* RecipientList() const { return ComboBox1; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SendClick();

    TCaptionBar* panCaption = nullptr;
    QLabel* lblCaption = nullptr;
    QTextEdit* RichEdit1 = nullptr;
    QLabel* lblMessage = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* lblRecipient = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* btnSend = nullptr;
};

}  // namespace corvala
