#include "dialogs/FormRouting.h"

#include "i18n/Translator.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "fakes/QtTestApplication.h"

namespace corvala {
namespace {

class RoutingWindow : public ::testing::Test {
protected:
    void TearDown() override { translator().build({}); }

    template <typename T>
    T* child(const char* name) {
        T* w = form.findChild<T*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }

    int relayPort = 5731;
    QString lanAddress = "192.168.77.10";
    QStringList opened;
    TRoutingForm form{{[this] { return relayPort; }, [this] { return lanAddress; },
                       [this](const QString& address) { opened << address; }, "http://site.test"}};
};

TEST_F(RoutingWindow, TellsWhichPortToForwardWhereAndMeasuresAgainEachShowing) {
    form.show();
    EXPECT_EQ(form.windowTitle(), "Attention!");
    EXPECT_EQ(child<QPushButton>("btnOK")->text(), "OK");
    EXPECT_EQ(child<QLabel>("lblMessage")->text(),
              "Router uPNP disabled. Please log into your router and add UDP port forwarding from public port 5731 "
              "to 192.168.77.10 port 3478, or simply enable uPNP.\n\nThen restart the application.");
    EXPECT_EQ(child<QLabel>("lblLink")->text(), "Learn how to apply port forwarding");
    const int englishHeight = form.height();

    // The port and the address are read anew, the texts in the current
    // language, and a longer text makes the window taller.
    form.hide();
    relayPort = 5999;
    lanAddress = "10.1.2.3";
    translator().buildFromUtf8(embeddedLanguageTable());
    translator().setLanguageCode("el");
    form.show();
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Προσοχή!"));
    const QString message = child<QLabel>("lblMessage")->text();
    EXPECT_TRUE(message.contains("5999") && message.contains("10.1.2.3") && message.contains("3478"))
        << message.toStdString();
    EXPECT_FALSE(message.contains("%s"));
    EXPECT_GT(form.height(), englishHeight);
}

TEST_F(RoutingWindow, LayoutStacksMessageLinkAndButtonWithTheirGaps) {
    form.show();
    const QRect icon = child<QLabel>("imgWarning")->geometry();
    const QRect message = child<QLabel>("lblMessage")->geometry();
    const QRect link = child<QLabel>("lblLink")->geometry();
    const QRect button = child<QPushButton>("btnOK")->geometry();
    EXPECT_EQ(form.width(), TRoutingForm::DesignWidth);
    EXPECT_EQ(message.width(), form.width() - message.left() - icon.width());
    EXPECT_GT(message.left(), icon.right());
    EXPECT_GE(message.height(), 3 * child<QLabel>("lblMessage")->fontMetrics().height()) << "wrapped, not cut";
    EXPECT_EQ(link.top() - message.bottom() - 1, link.height());
    EXPECT_EQ(button.top() - link.bottom() - 1, button.height());
    EXPECT_EQ(form.height(), button.bottom() + 1 + qRound(button.height() / 4.0));

    // The pale blue band starts half a button height above the button.
    const QImage drawn = form.grab().toImage();
    const auto colourAt = [&](int y) { return drawn.pixel(2, y) & 0xFFFFFF; };
    EXPECT_EQ(colourAt(button.top() - button.height() / 2 + 1), TRoutingForm::BandColour);
    EXPECT_EQ(colourAt(form.height() - 1), TRoutingForm::BandColour);
    EXPECT_NE(colourAt(button.top() - button.height() / 2 - 2), TRoutingForm::BandColour);

    const QString folder = qEnvironmentVariable("CORVALA_SCREENSHOT_DIR");
    if (!folder.isEmpty()) form.grab().save(folder + "/routing-window.png");
}

TEST_F(RoutingWindow, TheLinkOpensTheManualPageAndOkCloses) {
    form.show();
    QTest::mouseClick(child<QLabel>("lblLink"), Qt::LeftButton);
    EXPECT_EQ(opened, QStringList{"http://site.test/manual/port-forwarding.htm"});
    QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace corvala
