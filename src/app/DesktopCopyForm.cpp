#include "app/DesktopCopyForm.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/linux/XOffscreenWindow.h"
#include "screen/ScreenshotThread.h"

namespace corvala {

namespace {
// Five times per capture round: a new picture waits at most 40 ms for its
// painting (a check is one comparison under the picture's lock).
constexpr int PictureCheckMs = 40;

QImage ToImage(const platform::DesktopPicture& picture) {
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    for (int y = 0; y < picture.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        const std::uint32_t* source = picture.pixels.data() + static_cast<std::size_t>(y) * picture.width;
        for (int x = 0; x < picture.width; ++x) row[x] = source[x] | 0xFF000000u;
    }
    return image;
}
}  // namespace

void TDesktopCopyImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (FPicture.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(QPoint(0, 0), FPicture);
}

TDesktopCopyForm::TDesktopCopyForm(TDesktopCopyPicture* picture, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::FramelessWindowHint | Qt::Tool | Qt::X11BypassWindowManagerHint |
                  Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnBottomHint),
      FPicture(picture) {
    setObjectName("TDesktopCopyForm");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Image1 = new TDesktopCopyImage(this);
    Image1->setObjectName("Image1");
    layout->addWidget(Image1);
    FPictureCheck = new QTimer(this);
    FPictureCheck->setInterval(PictureCheckMs);
    connect(FPictureCheck, &QTimer::timeout, this, &TDesktopCopyForm::TakeNewPicture);
}

TDesktopCopyForm::~TDesktopCopyForm() {
    if (FPicture) FPicture->Showing = false;
}

unsigned long TDesktopCopyForm::ShowCovering(int desktopWidth, int desktopHeight) {
    setGeometry(0, 0, desktopWidth, desktopHeight);
    const unsigned long window = static_cast<unsigned long>(winId());
    if (FWanted) return window;
    FWanted = true;
    if (FPicture) {
        FPicture->Read([this](const platform::DesktopPicture&, unsigned long version) { FShownVersion = version; });
        FPicture->Showing = true;
        FPictureCheck->start();
    }
    if (!FOffscreen && QGuiApplication::platformName() == QLatin1String("xcb"))
        FOffscreen = std::make_unique<platform::linuxos::XOffscreenWindow>();
    FOnScreen = !FOffscreen || !FOffscreen->Redirect(window);
    // It maps with the first picture taken for this showing: never an empty
    // frame for the viewers, and on the screen never a copy of itself. The
    // engine waits for the window to map.
    if (!FPicture) ShowInPlace();
    return window;
}

void TDesktopCopyForm::ShowInPlace() {
    show();
    if (FOnScreen) lower();
}

void TDesktopCopyForm::CloseCopy() {
    if (!FWanted) return;
    FWanted = false;
    FPictureCheck->stop();
    if (FPicture) FPicture->Showing = false;
    hide();
    Image1->SetPicture(QImage());
}

bool TDesktopCopyForm::Showing() const { return FWanted; }

void TDesktopCopyForm::TakeNewPicture() {
    QImage image;
    FPicture->Read([&](const platform::DesktopPicture& picture, unsigned long version) {
        if (version == FShownVersion || picture.pixels.empty()) return;
        FShownVersion = version;
        image = ToImage(picture);
    });
    if (image.isNull()) return;
    Image1->SetPicture(std::move(image));
    if (!isVisible()) ShowInPlace();
}

}  // namespace corvala
