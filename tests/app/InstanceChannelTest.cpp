// The instance channel between copies of the program: the real local socket
// in a runtime folder of the test's own.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "fakes/QtTestApplication.h"
#include "platform/linux/LocalSocketInstanceChannel.h"

namespace corvala::platform::linuxos {
namespace {

class InstanceChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    }

    // The messages a server receives.
    struct Receiver {
        std::vector<InstanceMessage> received;
        InstanceMessageServer server{[this](const InstanceMessage& m) { received.push_back(m); }};
    };

    // Sends and lets the receivers' event processing run until `receiver`
    // has `count` messages (or a generous while passed).
    bool Send(const InstanceMessage& message) { return LocalSocketInstanceChannel().SendToRunningWindow(message); }
    static bool Wait(const Receiver& receiver, std::size_t count) {
        return QTest::qWaitFor([&] { return receiver.received.size() >= count; }, 5000);
    }

    mode_t SocketMode() const {
        struct stat st {};
        return ::lstat(QFile::encodeName(InstanceSocketPath()).constData(), &st) == 0 ? st.st_mode : 0;
    }

    QTemporaryDir runtime;
};

// The lock holder's socket is private to the user; a copy started beside it
// ("/from_application") neither takes it over nor removes it, so show and
// connect messages keep reaching the lock holder.
TEST_F(InstanceChannelTest, TheLockHolderKeepsItsPrivateSocket) {
    Receiver owner;
    ASSERT_TRUE(owner.server.Listen(true));
    EXPECT_TRUE(S_ISSOCK(SocketMode()));
    EXPECT_EQ(SocketMode() & 0777, 0700u) << std::oct << SocketMode();

    Receiver beside;
    EXPECT_FALSE(beside.server.Listen(false));
    const InstanceMessage connect{0xAAAC, 0, 0, R"({"connect":"123","password":"pw"})"};
    ASSERT_TRUE(Send(connect));
    ASSERT_TRUE(Wait(owner, 1));
    EXPECT_EQ(owner.received[0].message, connect.message);
    EXPECT_EQ(owner.received[0].payload, connect.payload);
    ASSERT_TRUE(Send(ShowWindowMessage));
    ASSERT_TRUE(Wait(owner, 2));
    EXPECT_EQ(owner.received[1].lParam, 2222u);
    EXPECT_TRUE(beside.received.empty());
}

// A socket file a crashed copy left behind: the next lock holder replaces
// it; a copy beside a running one never touches it.
TEST_F(InstanceChannelTest, OnlyTheLockHolderReplacesALeftSocketFile) {
    {
        QFile left(InstanceSocketPath());
        ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    }
    Receiver beside;
    EXPECT_FALSE(beside.server.Listen(false));
    EXPECT_TRUE(QFile::exists(InstanceSocketPath()));
    EXPECT_FALSE(S_ISSOCK(SocketMode()));

    Receiver owner;
    ASSERT_TRUE(owner.server.Listen(true));
    ASSERT_TRUE(Send(ShowWindowMessage));
    EXPECT_TRUE(Wait(owner, 1));
}

// A password goes only to this user's socket that nobody else may use.
TEST_F(InstanceChannelTest, NothingIsSentToASocketOthersCanUse) {
    struct Case {
        const char* name;
        std::function<bool()> spoil;  // false: cannot be arranged by this user
    };
    const std::string path = QFile::encodeName(InstanceSocketPath()).toStdString();
    const Case cases[] = {
        {"group and others may connect", [&] { return ::chmod(path.c_str(), 0777) == 0; }},
        {"another user's socket", [&] { return ::geteuid() == 0 && ::chown(path.c_str(), 65534, 65534) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Receiver owner;
        ASSERT_TRUE(owner.server.Listen(true));
        if (!c.spoil()) continue;  // chown needs root
        EXPECT_FALSE(Send({0xAAAC, 0, 0, "secret"}));
        QTest::qWait(100);
        EXPECT_TRUE(owner.received.empty());
    }
}

}  // namespace
}  // namespace corvala::platform::linuxos
