#include <gtest/gtest.h>

#include <set>

#include "fakes/PlatformFakes.h"
#include "identity/DeviceIdentity.h"
#include "identity/DriveText.h"
#include "identity/RandomCredentials.h"

#include <sys/wait.h>
#include <unistd.h>
#include "platform/linux/LinuxDriveIdentification.h"

namespace corvala::identity {
namespace {

using fakes::MakeIdentifyWords;
using platform::linuxos::MakeStorageDescriptor;

// Expected values were worked out by hand-written arithmetic outside the
// program (64-bit wrap-around, remainder with the sign of the dividend).
TEST(DiskIdNumber, FollowsTheSerialArithmeticAndModelOffsets) {
    struct Case {
        const char* serial;
        const char* model;
        const char* expected;
    } cases[] = {
        {"WD-W1234", "", "600000234"},                       // contributes from the sixth character
        {"WD-X1234", "", "633631234"},                       // no prefix: letters count 10..35, "-" skipped
        {"ZZZZZZZZZZZZZZZZZZZZ", "ST1000", "688304949"},     // 20 characters overflow 64 bits
        {"Z9Z9Z9Z9Z9Z9Z9Z9Z9Z9", "", "571593939"},           // wraps to a negative value
        {"000123", "Maxtor 6Y080", "400000123"},             // zeros count 0
        {"9876", "HITACHI MAXTOR", "400009876"},
        {"WCAV12345678", "WDC WD5000AAKS", "512345678"},
        {"S1-2 3a", "IBM-DTLA WDC ", "302812040"},           // IBM- wins over WDC; space counts 0
        {"overlayblk", "", "669235330"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DiskIdNumber(c.serial, c.model), c.expected) << c.serial << " / " << c.model;
}

TEST(DriveText, IdentifyTextTakesHighByteFirstAndTrimsTheEnd) {
    auto words = MakeIdentifyWords(" S3Z9NX0K  ", "Samsung SSD 860");
    EXPECT_EQ(IdentifyText(words, SerialFirstWord, SerialLastWord), " S3Z9NX0K");
    EXPECT_EQ(IdentifyText(words, ModelFirstWord, ModelLastWord), "Samsung SSD 860");
}

TEST(DriveText, DescriptorTextDecodesLikeTheStorageQuery) {
    struct Case {
        std::string text;
        bool swap;
        std::string expected;
    } cases[] = {
        {"2020202057442d57434156", false, "WD-WCAV"},   // hexadecimal with padding
        {"  5744 020202", false, "WD"},                // white space is a zero digit; zero bytes pad
        {"57440157", false, "57440157"},                // a decoded control byte: taken as is
        {"overlayblk", false, "overlayblk"},            // plain text
        {"  plain  ", false, "plain"},
        {"AB\x01" "CD", false, ""},                     // non-printable plain text
        {"BADCFE", true, "ABCDEF"},                     // "BADCFE" decodes to bytes >127, so plain, swapped
        {"", false, ""},
    };
    for (const auto& c : cases) {
        auto d = MakeStorageDescriptor("", "", "", c.text);
        EXPECT_EQ(DescriptorText(d.buffer, d.serialOffset, c.swap), c.expected) << c.text;
    }
}

TEST(DriveText, DescriptorTextNeverReadsOutsideTheBuffer) {
    std::vector<char> unterminated = {'\0', 'A', 'B', 'C'};
    EXPECT_EQ(DescriptorText(unterminated, 1, false), "ABC");
    EXPECT_EQ(DescriptorText(unterminated, 4, false), "");
    EXPECT_EQ(DescriptorText(unterminated, 400, false), "");
    EXPECT_EQ(DescriptorText(unterminated, 0, false), "");
    EXPECT_EQ(DescriptorText(unterminated, -3, false), "");
}

TEST(DriveSearch, KeepsTheFirstDriveWithAUsableSerial) {
    DriveSearch search;
    search.Consider(" ", "blank");                       // nothing at position 1 or 20
    search.Consider(" A                  ", "spaces at 1 and 20");
    EXPECT_FALSE(search.HasSerial());
    search.Consider("                   X", "usable at 20");
    search.Consider("LATER", "second usable");
    EXPECT_EQ(search.Model(), "usable at 20");
}

TEST(FindDiskIdNumber, TriesSourcesInOrderAndStopsAtTheFirstThatAnswers) {
    fakes::FakeDrives drives;
    // The privileged source answers but has no usable serial: it still counts
    // as the answer, so the later sources are not asked.
    drives.withRights = {MakeIdentifyWords("", "Disk")};
    drives.descriptors = {MakeStorageDescriptor("", "model", "", "SERIAL1")};
    EXPECT_EQ(FindDiskIdNumber(drives), std::nullopt);

    drives.withRights.clear();
    auto noModel = MakeIdentifyWords("IGNORED", "");
    std::fill(noModel.begin() + ModelFirstWord, noModel.begin() + ModelLastWord + 1, 0);
    drives.passThrough = {noModel, MakeIdentifyWords("WD-W1234", "WDC WD10")};
    EXPECT_EQ(FindDiskIdNumber(drives), "500000234");

    drives.passThrough = {noModel};  // no drive counted: descriptors are next
    EXPECT_EQ(FindDiskIdNumber(drives), DiskIdNumber("SERIAL1", "model"));

    drives.throwEverywhere = true;
    EXPECT_EQ(FindDiskIdNumber(drives), std::nullopt);
}

TEST(MacAddressText, FirstAdapterWithAnAddress) {
    fakes::FakeNetworkAdapters adapters;
    adapters.adapters = {{"tun0", {}},
                         {"eth0", {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}},
                         {"eth1", {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}}};
    EXPECT_EQ(ComputeMacAddressText(adapters), "0A1B2C3D4E5F");
    adapters.adapters = {{"ib0", {0x02, 0xFC, 0, 0, 0, 1, 0xAA, 0xBB}}};
    EXPECT_EQ(ComputeMacAddressText(adapters), "02FC00000001AABB");
    adapters.adapters.clear();
    EXPECT_EQ(ComputeMacAddressText(adapters), "");
    adapters.fail = true;
    EXPECT_EQ(ComputeMacAddressText(adapters), "");
}

TEST(MacAddressText, HyphenatesOnlyTwelveDigits) {
    EXPECT_EQ(HyphenateMacAddressText("0A1B2C3D4E5F"), "0A-1B-2C-3D-4E-5F");
    EXPECT_EQ(HyphenateMacAddressText("02FC00000001AABB"), "02FC00000001AABB");
    EXPECT_EQ(HyphenateMacAddressText(""), "");
}

TEST(MachineFingerprint, MacDerivedFromTheTables) {
    EXPECT_EQ(MacFingerprint("0A1B2C3D4E5F"), "9PKN9B722B49");
    EXPECT_EQ(MacFingerprint("02FC00000001AABB"), "96AA3894V9KP");  // only 12 digits count
    try {
        MacFingerprint("0A1B2C3D4E");
        FAIL() << "a short MAC text must be refused";
    } catch (const IdentityError& error) {
        EXPECT_STREQ(error.what(), "Invalid format of unique ID.");
    }
}

TEST(MachineFingerprint, DiskSerialWinsOverMac) {
    fakes::FakeDrives drives;
    EXPECT_EQ(ComputeMachineFingerprint(drives, "0A1B2C3D4E5F"), "9PKN9B722B49");
    drives.descriptors = {MakeStorageDescriptor("ATA", "Maxtor 6Y080", "1.0", "000123")};
    EXPECT_EQ(ComputeMachineFingerprint(drives, "0A1B2C3D4E5F"), "400000123");
    fakes::FakeDrives none;
    EXPECT_THROW(ComputeMachineFingerprint(none, ""), IdentityError);
}

TEST(RandomCredentials, DrawsFromTheirAlphabets) {
    std::mt19937 generator(7);
    std::set<char> seenFirst;
    const std::string alphabet = RandomCredentials::CredentialAlphabet;
    for (int i = 0; i < 200; ++i) {
        std::string id = RandomCredentials::MakeDeviceId(generator);
        ASSERT_EQ(id.size(), 9u);
        ASSERT_EQ(id.find_first_not_of("0123456789"), std::string::npos) << id;
        seenFirst.insert(id[0]);
        std::string password = RandomCredentials::RandomCredential(generator);
        ASSERT_EQ(password.size(), 6u);
        ASSERT_EQ(password.find_first_not_of(alphabet), std::string::npos) << password;
    }
    EXPECT_TRUE(seenFirst.count('0')) << "a device ID may begin with 0";
    EXPECT_EQ(alphabet.size(), 29u);
}

// The ID a host publishes tells nothing about its password: copies started
// at the same instant (forked children, same clock, same program state) each
// draw their own, and a device ID and the password drawn right after it are
// independent draws from the system's generator.
TEST(RandomCredentials, CopiesStartedTogetherDrawDifferentCredentials) {
    constexpr int Copies = 8;
    int pipes[Copies][2];
    for (auto& p : pipes) ASSERT_EQ(::pipe(p), 0);
    for (int i = 0; i < Copies; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string drawn = RandomCredentials::MakeDeviceId() + RandomCredentials::RandomCredential();
            [[maybe_unused]] auto n = ::write(pipes[i][1], drawn.data(), drawn.size());
            ::_exit(0);
        }
    }
    std::set<std::string> ids, passwords;
    for (auto& p : pipes) {
        char buffer[15] = {};
        ASSERT_EQ(::read(p[0], buffer, sizeof buffer), 15);
        ids.insert(std::string(buffer, 9));
        passwords.insert(std::string(buffer + 9, 6));
        ::close(p[0]);
        ::close(p[1]);
    }
    while (::wait(nullptr) > 0) {
    }
    EXPECT_EQ(ids.size(), std::size_t(Copies));
    EXPECT_EQ(passwords.size(), std::size_t(Copies));
}

}  // namespace
}  // namespace corvala::identity
