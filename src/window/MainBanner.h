#pragma once
// The main banner at the top of the host panel, at the left edge of the
// panel's text block and as wide as it: the program's own, drawn in the
// theme's colours, or the picture a branded build names in its place.

#include <QPixmap>
#include <QWidget>

namespace corvala {

class TMainBanner : public QWidget {
    Q_OBJECT
public:
    static constexpr int DrawnHeight = 56;
    // A taller picture is scaled down to this height (and keeps its shape).
    static constexpr int MaxPictureHeight = 160;
    // A picture file is somebody else's: bounded before it is decoded.
    static constexpr qint64 MaxPictureBytes = 16 * 1024 * 1024;
    static constexpr int MaxPictureSide = 8192;

    TMainBanner(int width, QWidget* parent);

    // The picture in `path` instead of the drawn banner. False (the drawn
    // banner stays; logged) when it is no readable picture of a bounded size.
    bool ShowPicture(const QString& path);
    bool ShowsPicture() const { return !FPicture.isNull(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int FWidth;
    QPixmap FPicture;
};

}  // namespace corvala
