// A contact saved in the book connects to a real host: the viewer's user
// opens the book from the connection dialog, unlocks it, picks the contact
// and presses "Connect..."; the dialog comes back filled with the contact's
// ID and password, and confirming it shows the host's screen.

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include "E2eSupport.h"
#include "ProgramHarness.h"
#include "ServerProcess.h"
#include "features/AddressBookFile.h"

namespace corvala::e2e {
namespace {

using testing::PkiFile;
using testing::ServerProcess;

constexpr const char* HostId = "111222333";
constexpr const char* ViewerId = "444555666";
constexpr const char* HostPassword = "secret7";
constexpr const char* BookPassword = "book pw 1";
constexpr unsigned long ButtonColour = 0x0078D7;  // the host panel's connect button
const unsigned long Quadrants[4] = {0xE02020, 0x20C020, 0x8020E0, 0xE0E020};

bool Near(unsigned long rgb, unsigned long want, int tolerance) {
    for (int shift : {16, 8, 0})
        if (std::abs(int((rgb >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

// The middle of the area painted in `colour` inside `box`: rows with many
// such pixels (a button, not a line of text).
std::optional<std::pair<int, int>> ColouredArea(const std::string& display, const WindowBox& box,
                                                unsigned long colour) {
    long sumX = 0, sumY = 0, count = 0;
    for (int y = box.y; y < box.y + box.height; y += 2) {
        const auto row = ScreenRow(display, box.x, y, box.width);
        int inRow = 0;
        long rowX = 0;
        for (int i = 0; i < int(row.size()); ++i)
            if (Near(row[i], colour, 6)) {
                ++inRow;
                rowX += box.x + i;
            }
        if (inRow < 60) continue;
        sumX += rowX;
        sumY += long(y) * inRow;
        count += inRow;
    }
    if (count == 0) return std::nullopt;
    return std::make_pair(int(sumX / count), int(sumY / count));
}

void WriteBook(const std::filesystem::path& home) {
    BookContents book;
    book.Password = QString::fromLatin1(BookPassword);
    book.Groups = {{{"Office", {}, {}, {}, {}, {}, {}},
                    {{"Lab host", HostId, HostPassword, "lab@example.org", "", "", ""}}}};
    std::filesystem::create_directories(home);
    QFile file(QString::fromStdString((home / "adbook.dt").string()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(SealBook(book)), SealBook(book).size());
}

TEST(Contacts, AContactFromTheBookConnectsToARealHost) {
    ScratchFolder scratch("contacts");
    ServerProcess signal("crsignal", SignalServerArguments());
    ASSERT_NE(signal.port(), 0);
    XvfbDisplay hostDisplay(1280, 800), viewerDisplay(1280, 800);
    ASSERT_TRUE(PaintRootQuadrants(hostDisplay.name(), Quadrants));
    WriteProgramSettings(scratch / "host" / "home", HostId, HostPassword);
    WriteProgramSettings(scratch / "viewer" / "home", ViewerId);
    WriteBook(scratch / "viewer" / "home");
    ChildProcess host(HostCommand(), ProgramEnvironment(scratch / "host", signal.port(), hostDisplay.name()),
                      scratch / "host.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), HostId, PkiFile("ca.pem")); }, 30s));
    // The viewer starts as the desktop starts it; its user does the rest.
    ChildProcess viewer(HostCommand(), ProgramEnvironment(scratch / "viewer", signal.port(), viewerDisplay.name()),
                        scratch / "viewer.log");
    ASSERT_TRUE(WaitFor([&] { return ProgramJoined(signal.port(), ViewerId, PkiFile("ca.pem")); }, 30s));
    const std::string& display = viewerDisplay.name();
    const auto diagnostics = [&] {
        return "\nviewer messages:\n" + MessageLog(scratch / "viewer") + "\nviewer output:\n" + viewer.Log() +
               "\nhost output:\n" + host.Log();
    };
    const auto keys = [&](const std::string& k) { RunCommand("DISPLAY=" + display + " xdotool " + k); };
    // Without a window manager nothing hands the keyboard to a new window.
    const auto focus = [&](const std::string& title) { keys("search --name '^" + title + "$' windowfocus"); };
    const auto click = [&](int x, int y) {
        keys("mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.2 click 1");
    };

    // The host panel's connect button, once the link has enabled it.
    std::optional<std::pair<int, int>> connect;
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto box = WindowGeometry(display, "Corvala");
            return box && (connect = ColouredArea(display, *box, ButtonColour)).has_value();
        },
        30s))
        << diagnostics();
    click(connect->first, connect->second);
    ASSERT_TRUE(WaitFor([&] { return WindowGeometry(display, "Add Connection").has_value(); }, 20s)) << diagnostics();

    // The ID box has the focus (no recent IDs); the book button follows it.
    focus("Add Connection");
    keys("sleep 0.5 key Tab sleep 0.2 key space");
    ASSERT_TRUE(WaitFor([&] { return WindowGeometry(display, "Contacts").has_value(); }, 20s))
        << "the book did not ask for its password" << diagnostics();
    focus("Contacts");
    keys("sleep 0.5 type --delay 80 '" + std::string(BookPassword) + "'");
    keys("key Return");
    std::optional<WindowBox> book;
    ASSERT_TRUE(WaitFor([&] { return (book = WindowGeometry(display, "Contacts Book")).has_value(); }, 20s))
        << diagnostics();

    // The tree has the focus: the group, then its contact; then the top
    // panel's last button, "Connect...".
    focus("Contacts Book");
    keys("sleep 0.5 key Down sleep 0.2 key Down");
    click(book->x + book->width - 40, book->y + 22);
    ASSERT_TRUE(WaitFor([&] { return !WindowGeometry(display, "Contacts Book").has_value(); }, 20s))
        << "the book stayed open" << diagnostics();

    // Back in the filled dialog: confirming it connects.
    focus("Add Connection");
    keys("sleep 0.5 key Return");
    const auto pictureShown = [&] {
        const auto counts = ScreenColourCounts(display, {Quadrants[0], Quadrants[1], Quadrants[2], Quadrants[3]});
        if (counts.size() != 4) return false;
        for (int n : counts)
            if (n < 5000) return false;
        return true;
    };
    EXPECT_TRUE(WaitFor(pictureShown, 60s)) << "the host's screen never showed" << diagnostics();
}

}  // namespace
}  // namespace corvala::e2e
