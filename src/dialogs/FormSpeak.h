#pragma once
// The voice window (TFormSpeak): while it shows, this side's microphone is
// on. A caption naming who is spoken to, an animated "Say something!
// Listening" and "Stop". Closing it, by "Stop" or otherwise, reports
// through Closed.

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace corvala {

class TCaptionBar;

class TFormSpeak : public QWidget {
    Q_OBJECT
public:
    static constexpr int AnimationMs = 200;

    explicit TFormSpeak(QWidget* parent = nullptr);

    std::function<void()> Closed;

    // Shows the window with `caption`, its texts translated, the animation
    // running.
    void ShowWithCaption(const QString& caption);
    // Like the chat window; `width` > 0 sets the window's width.
    void PlaceBelowCaption(const QRect& mainFrame, int captionBottom, int clientRight, int width);
    QString LabelText() const;
    QString Caption() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Timer1Timer();

    TCaptionBar* panCaption = nullptr;
    QLabel* lblCaption = nullptr;
    QLabel* Label100 = nullptr;
    QPushButton* btnStop = nullptr;
    QTimer* Timer1 = nullptr;
    QString FListening;  // the label's text without dots
};

}  // namespace corvala
