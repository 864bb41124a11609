#pragma once
// The desktop copy window: while the host's lock screen is up, the media
// engine streams this window (source 998) instead of the screen, and the
// capture thread keeps its picture current.
//
// One X display is one desktop, so the window lies on the very screen the
// thread copies. It is therefore kept below every other window, where it
// covers only the desktop background, and it is mapped only once the thread
// has delivered a picture taken before it showed: the copies it then takes
// of itself are exactly what lay under it, and every window above it shows
// through as it really is.

#include <QImage>
#include <QWidget>

class QTimer;

namespace corvala {

class TDesktopCopyPicture;

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
    // (see above); answers its X window id for the media engine.
    unsigned long ShowCovering(int desktopWidth, int desktopHeight);
    // Hides the window and stops the copying; nothing when it is not shown.
    void CloseCopy();
    // Shown, or waiting for the first picture to show.
    bool Showing() const;

    TDesktopCopyImage* Image1 = nullptr;

private:
    void TakeNewPicture();

    TDesktopCopyPicture* FPicture;
    QTimer* FPictureCheck;
    unsigned long FShownVersion = 0;
    bool FWanted = false;
};

}  // namespace corvala
