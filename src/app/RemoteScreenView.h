#pragma once
// The picture of the viewed host: the remote frame fitted into the panel
// (never enlarged, centred) on the remote-area colour.

#include <QImage>
#include <QWidget>

namespace corvala {

class IRtcClientPort;

class TRemoteScreenView : public QWidget {
    Q_OBJECT
public:
    explicit TRemoteScreenView(QWidget* parent = nullptr);

    // Copies the component's current remote frame into the picture. Main
    // thread, inside the frame hand-over.
    void DrawRemoteFrame(IRtcClientPort& rtc);
    // Only the remote-area colour: no picture until the next frame.
    void ClearPicture() {
        FPicture = QImage();
        FSource = nullptr;
        update();
    }
    const QImage& Picture() const { return FPicture; }
    QPoint PictureOrigin() const { return FOrigin; }

protected:
    void paintEvent(QPaintEvent*) override;
    // A new panel size fits the last frame again at once, so that the picture
    // and the coordinates sent from it never lag behind the layout.
    void resizeEvent(QResizeEvent*) override;
    // Tab goes to the remote computer, not to the next control.
    bool focusNextPrevChild(bool) override { return false; }

private:
    IRtcClientPort* FSource = nullptr;
    QImage FPicture;
    QPoint FOrigin;
};

}  // namespace corvala
