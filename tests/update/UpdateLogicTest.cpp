// The update's pure decisions: the site's version answer, its "What's new"
// text, and the signature check that stands between a download and running it.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "UpdateTestSupport.h"
#include "update/UpdateSignature.h"
#include "update/VersionAnswer.h"

namespace corvala::update {
namespace {

namespace fs = std::filesystem;
using update_test::SigningKey;

TEST(VersionAnswer, OutcomeForThisVersion) {
    struct Case {
        const char* answer;
        bool parses;
        UpdateOutcome outcome;
        const char* offered;
    } const cases[] = {
        {"43/40", true, UpdateOutcome::Offer, "4.3"},
        {"43/43", true, UpdateOutcome::OutOfDate, "4.3"},
        {"42/40", true, UpdateOutcome::Nothing, "4.2"},
        {"42/42", true, UpdateOutcome::Nothing, "4.2"},
        {"100/40", true, UpdateOutcome::Offer, "10.0"},
        {"41/43", true, UpdateOutcome::OutOfDate, "4.1"},  // the minimum alone decides
        {" 43/40\r\n", true, UpdateOutcome::Offer, "4.3"},
        {"abc", false, {}, ""},
        {"43", false, {}, ""},   // no "/"
        {"43/", false, {}, ""},
        {"/40", false, {}, ""},
        {"4a/40", false, {}, ""},
        {"43/4 0", false, {}, ""},
        {"-43/40", false, {}, ""},
        {"43/40/1", false, {}, ""},  // the rest after the first "/" is not a number
        {"9999999/40", false, {}, ""},  // longer than any version
        {"", false, {}, ""},
    };
    for (const Case& c : cases) {
        const auto answer = ParseVersionAnswer(c.answer);
        ASSERT_EQ(answer.has_value(), c.parses) << c.answer;
        if (!answer) continue;
        EXPECT_EQ(DecideUpdate(*answer, 42), c.outcome) << c.answer;
        EXPECT_EQ(answer->OfferedVersionText, c.offered) << c.answer;
    }
}

TEST(VersionAnswer, WhatsNewDropsEmptyLinesAndIsBounded) {
    EXPECT_EQ(ParseWhatsNew("First\r\n\r\nSecond\n\nDritte \xC3\xA4nderung\n"),
              (QStringList{"First", "Second", QString::fromUtf8("Dritte \xC3\xA4nderung")}));
    EXPECT_TRUE(ParseWhatsNew("\n\r\n").isEmpty());

    QByteArray many;
    for (int i = 0; i < MaxWhatsNewLines + 10; ++i) many += "line\n";
    EXPECT_EQ(ParseWhatsNew(many).size(), MaxWhatsNewLines);
    const QStringList longLine = ParseWhatsNew(QByteArray(MaxWhatsNewLineLength * 3, 'x'));
    ASSERT_EQ(longLine.size(), 1);
    EXPECT_EQ(longLine[0].size(), MaxWhatsNewLineLength);
}

TEST(UpdateSignature, OnlyTheSignedFileWithItsSignaturePasses) {
    QTemporaryDir folder;
    const fs::path file = folder.filePath("cr_update").toStdString();
    const std::string program = std::string("\x7F" "ELF the new program", 20) + std::string(100000, 'p');
    update_test::WriteFile(file, program);
    const SigningKey publisher, stranger;
    const QByteArray good = QByteArray::fromStdString(publisher.Sign(program));
    QByteArray flipped = good;
    flipped[10] = char(flipped[10] ^ 0x01);
    std::string tamperedProgram = program;
    tamperedProgram[5000] ^= 0x20;
    const fs::path tamperedFile = folder.filePath("tampered").toStdString();
    update_test::WriteFile(tamperedFile, tamperedProgram);

    struct Case {
        const char* name;
        fs::path file;
        QByteArray signature;
        std::string key;
        qint64 maxBytes;
        SignatureCheck expected;
    } const cases[] = {
        {"good", file, good, publisher.PublicPem(), 1 << 20, SignatureCheck::Valid},
        {"tampered file", tamperedFile, good, publisher.PublicPem(), 1 << 20, SignatureCheck::Invalid},
        {"tampered signature", file, flipped, publisher.PublicPem(), 1 << 20, SignatureCheck::Invalid},
        {"signed by another key", file, QByteArray::fromStdString(stranger.Sign(program)), publisher.PublicPem(), 1 << 20,
         SignatureCheck::Invalid},
        {"missing signature", file, QByteArray(), publisher.PublicPem(), 1 << 20, SignatureCheck::MissingSignature},
        {"signature cut short", file, good.left(63), publisher.PublicPem(), 1 << 20,
         SignatureCheck::MissingSignature},
        {"signature with extra bytes", file, good + "x", publisher.PublicPem(), 1 << 20,
         SignatureCheck::MissingSignature},
        {"missing file", folder.filePath("none").toStdString(), good, publisher.PublicPem(), 1 << 20,
         SignatureCheck::Unreadable},
        {"file beyond the limit", file, good, publisher.PublicPem(), 1000, SignatureCheck::Unreadable},
        {"no key", file, good, "", 1 << 20, SignatureCheck::BadKey},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VerifyFileSignature(c.file, c.signature, c.key, c.maxBytes), c.expected) << c.name;
}

TEST(UpdateSignature, BuiltInKeyIsAnEd25519PublicKey) {
    const std::string_view key = BuiltInUpdateKey();
    EXPECT_NE(key.find("BEGIN PUBLIC KEY"), std::string_view::npos);
    // A key that loads fails the signature, not the key check.
    QTemporaryDir folder;
    const fs::path file = folder.filePath("f").toStdString();
    std::ofstream(file) << "x";
    EXPECT_EQ(VerifyFileSignature(file, QByteArray(SignatureSize, '\0'), key, 10), SignatureCheck::Invalid);
}

}  // namespace
}  // namespace corvala::update
