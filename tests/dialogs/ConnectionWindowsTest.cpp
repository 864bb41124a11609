// The connection log window and the live-connections window: "Clear" only
// without peers, also when they come while the window is open; "Disconnect
// Selected" ends the selected lines' calls in order and keeps the window
// open.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "dialogs/FormConnections.h"
#include "dialogs/FormConnectionsLog.h"
#include "fakes/QtTestApplication.h"

namespace corvala {
namespace {

QStringList Texts(const QListWidget& list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i) out << list.item(i)->text();
    return out;
}

TEST(ConnectionLogWindow, ClearShowsOnlyWithoutPeersAndEmptiesTheList) {
    int clears = 0;
    bool allowClear = true;
    TFormConnectionsLog window([&] {
        ++clears;
        return allowClear;
    });
    const QStringList lines{"11.12.26 10:00: Incoming connection from B (2)",
                            "10.12.26 09:00: Outgoing connection to A (1)"};

    QTimer::singleShot(0, &window, [&] {
        EXPECT_EQ(Texts(*window.List()), lines);
        EXPECT_EQ(window.findChild<QLabel*>("lblConnections")->text(), "Connections:");
        EXPECT_EQ(window.ClearButton()->text(), "Clear");
        EXPECT_TRUE(window.ClearButton()->isVisible());
        // A viewer connects while the window is open.
        window.SetPeersConnected(true);
        EXPECT_FALSE(window.ClearButton()->isVisible());
        window.ClearButton()->click();
        EXPECT_EQ(clears, 0) << "a hidden Clear acted";
        window.SetPeersConnected(false);
        window.ClearButton()->click();
        EXPECT_EQ(clears, 1);
        EXPECT_EQ(window.List()->count(), 0);
        EXPECT_TRUE(window.isVisible()) << "Clear closed the window";
        window.findChild<QPushButton*>("btnCancel")->click();
    });
    window.Execute(lines, false);
    EXPECT_FALSE(window.isVisible());

    // Opened while peers are connected; a refused clear leaves the lines.
    allowClear = false;
    QTimer::singleShot(0, &window, [&] {
        EXPECT_FALSE(window.ClearButton()->isVisible());
        window.SetPeersConnected(false);
        window.ClearButton()->click();
        EXPECT_EQ(Texts(*window.List()), lines);
        window.reject();
    });
    window.Execute(lines, true);
}

TEST(ConnectionsWindow, DisconnectSelectedEndsTheSelectedInOrderAndStaysOpen) {
    QList<QStringList> ended;
    TFormConnections window([&](const QStringList& ids) { ended << ids; });
    QTimer::singleShot(0, &window, [&] {
        EXPECT_EQ(window.DisconnectButton()->text(), "Disconnect Selected");
        EXPECT_EQ(window.findChild<QLabel*>("lblPrompt")->text(), "Current connections:");
        QListWidget& list = *window.List();
        // Nothing selected: nothing ends, nothing goes.
        window.DisconnectButton()->click();
        EXPECT_TRUE(ended.isEmpty());
        EXPECT_EQ(list.count(), 3);
        list.item(0)->setSelected(true);
        list.item(2)->setSelected(true);
        window.DisconnectButton()->click();
        EXPECT_EQ(Texts(list), QStringList({"B (222222222)"}));
        EXPECT_TRUE(window.isVisible());
        window.reject();
    });
    window.Execute({"A (111111111)", "B (222222222)", "C (333333333)"});
    EXPECT_EQ(ended, QList<QStringList>({{"111111111", "333333333"}}));
}

}  // namespace
}  // namespace corvala
