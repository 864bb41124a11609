// The desktop copy window (offscreen, so on the screen's own path): it shows
// only with a picture taken for this showing, paints the capture thread's
// pictures, and stops the copying when closed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>

#include "app/DesktopCopyForm.h"
#include "fakes/QtTestApplication.h"
#include "screen/ScreenshotThread.h"

namespace corvala {
namespace {

platform::DesktopPicture Filled(int width, int height, std::uint32_t colour) {
    platform::DesktopPicture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(static_cast<std::size_t>(width) * height, colour);
    return picture;
}

bool ProcessEventsUntil(const std::function<bool()>& condition) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > 20000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

TEST(DesktopCopyForm, ShowsOnlyWithAPictureTakenForThisShowingAndStopsWhenClosed) {
    TDesktopCopyPicture picture;
    picture.Store(Filled(320, 200, 0x112233));  // left from an earlier showing
    TDesktopCopyForm form(&picture);
    EXPECT_FALSE(form.Showing());
    EXPECT_FALSE(picture.Showing);

    EXPECT_NE(form.ShowCovering(320, 200), 0u);
    EXPECT_EQ(form.geometry(), QRect(0, 0, 320, 200));
    EXPECT_TRUE(picture.Showing);  // the thread copies from now on
    QApplication::processEvents(QEventLoop::AllEvents, 300);
    EXPECT_FALSE(form.isVisible()) << "shown with the old picture";

    picture.Store(Filled(320, 200, 0x2080F0));
    ASSERT_TRUE(ProcessEventsUntil([&] { return form.isVisible(); }));
    ASSERT_EQ(form.Image1->Picture().size(), QSize(320, 200));
    EXPECT_EQ(form.Image1->Picture().pixel(160, 100), 0xFF2080F0u);
    picture.Store(Filled(320, 200, 0x40C040));
    EXPECT_TRUE(ProcessEventsUntil([&] { return form.Image1->Picture().pixel(5, 5) == 0xFF40C040u; }));

    form.CloseCopy();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Showing());
    EXPECT_FALSE(picture.Showing);
    form.CloseCopy();  // closing a closed window changes nothing
    EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace corvala
