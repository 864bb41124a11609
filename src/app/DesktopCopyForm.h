#pragma once
// The desktop copy window: while the host's lock screen is up, the media
// engine streams this window (source 998) instead of the screen, and the
// capture thread keeps its picture current.
//
// One X display is one desktop, so the window would lie on the very screen
// the thread copies, and the engine would read nothing from it once another
// window (the screen locker) covered it. It is therefore kept off the screen
// while mapped (XOffscreenWindow): the engine still reads its content, the
// thread's copies of the screen do not contain it, and the local user keeps
// seeing the real screen. Where that is refused (a compositing window manager
// already keeps every window's content), it lies below every other window,
// mapped only once the thread has a picture taken before it showed, so that
// its copies of itself are exactly what lay under it.

#include <QImage>
#include <QWidget>

#include <memory>

class QTimer;

namespace corvala {

class TDesktopCopyPicture;
namespace platform::linuxos {
class XOffscreenWindow;
}

// The window's one picture control, filling it.
class TDesktopCopyImage : public QWidget {
public:
    explicit TDesktopCopyImage(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }
    void SetPicture(QImage picture) {
        FPicture = std::move(picture);
        update();
    }
    const QImage& Picture() const { return FPicture; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage FPicture;
};

class TDesktopCopyForm : public QWidget {
    Q_OBJECT
public:
    // `picture`: the capture thread's picture; none when the thread could not
    // start (the window then shows at once and stays empty).
    explicit TDesktopCopyForm(TDesktopCopyPicture* picture, QWidget* parent = nullptr);
    ~TDesktopCopyForm() override;

    // Sizes the window to the desktop, places it at (0, 0) and has it shown
    // with the thread's next picture (see above); answers its X window id
    // for the media engine.
    unsigned long ShowCovering(int desktopWidth, int desktopHeight);
    // Hides the window and stops the copying; nothing when it is not shown.
    void CloseCopy();
    // Shown, or waiting for the first picture to show.
    bool Showing() const;

    TDesktopCopyImage* Image1 = nullptr;

private:
    void TakeNewPicture();
    void ShowInPlace();

    TDesktopCopyPicture* FPicture;
    std::unique_ptr<platform::linuxos::XOffscreenWindow> FOffscreen;
    bool FOnScreen = false;  // kept under the other windows instead of off the screen
    QTimer* FPictureCheck;
    unsigned long FShownVersion = 0;
    bool FWanted = false;
};

}  // namespace corvala
