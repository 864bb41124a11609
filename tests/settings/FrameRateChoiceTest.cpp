#include "settings/FrameRateChoice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace corvala {
namespace {

class FrameRateFile : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(FrameRateChoice::FileName); }
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray read(const QString& name) const {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
};

TEST_F(FrameRateFile, EveryOfferedRateSurvivesARestartAndSetDtIsUntouched) {
    const QByteArray sealed = QByteArray::fromHex("00ff13a7c0de");
    write("set.dt", sealed);
    for (int rate : FrameRateChoice::Rates) {
        FrameRateChoice choice(path());
        ASSERT_TRUE(choice.Choose(rate));
        EXPECT_EQ(choice.Rate(), rate);
        EXPECT_EQ(FrameRateChoice(path()).Rate(), rate);
        EXPECT_TRUE(read(FrameRateChoice::FileName).contains("frame_rate=" + QByteArray::number(rate) + "\n"));
    }
    EXPECT_EQ(read("set.dt"), sealed);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"set.dt", "video.conf"}))
        << "no temporary file is left behind";
}

TEST_F(FrameRateFile, ContentThatIsNotAnOfferedRateMeansTen) {
    QByteArray oversized = "frame_rate=30\n";
    oversized += QByteArray(FrameRateChoice::MaxFileSize + 1 - oversized.size(), '#');
    const struct Case {
        const char* what;
        QByteArray content;
        int rate;
    } cases[] = {
        {"a stored choice", "frame_rate=30\n", 30},
        {"blanks around key and value, no final newline", "  frame_rate = 60 ", 60},
        {"comments, CR LF and unknown keys", "# mine\r\ncolour=blue\r\nframe_rate=60\r\n", 60},
        {"the last of a repeated key counts", "frame_rate=60\nframe_rate=30\n", 30},
        {"empty", "", 10},
        {"garbage", "\x01\xff\xfe junk without equals", 10},
        {"commented out", "#frame_rate=60\n", 10},
        {"out of range", "frame_rate=25\n", 10},
        {"negative", "frame_rate=-30\n", 10},
        {"huge", "frame_rate=99999999999999999999\n", 10},
        {"trailing text", "frame_rate=30fps\n", 10},
        {"no value", "frame_rate=\n", 10},
        {"a bad line after a good one", "frame_rate=60\nframe_rate=7\n", 10},
        {"larger than allowed", oversized, 10},
    };
    for (const Case& c : cases) {
        write(FrameRateChoice::FileName, c.content);
        EXPECT_EQ(FrameRateChoice(path()).Rate(), c.rate) << c.what;
    }
}

TEST_F(FrameRateFile, MissingOrUnreadableFileMeansTen) {
    EXPECT_EQ(FrameRateChoice(path()).Rate(), FrameRateChoice::DefaultRate);
    ASSERT_TRUE(QDir(dir.path()).mkdir(FrameRateChoice::FileName));
    EXPECT_EQ(FrameRateChoice(path()).Rate(), FrameRateChoice::DefaultRate) << "a folder in its place";
}

TEST_F(FrameRateFile, RatesNotOfferedAreRefusedAndAFailedWriteHoldsForThisRunOnly) {
    FrameRateChoice choice(path());
    ASSERT_TRUE(choice.Choose(30));
    for (int rate : {0, 25, 61, -10}) {
        EXPECT_FALSE(choice.Choose(rate)) << rate;
        EXPECT_EQ(choice.Rate(), 30);
    }
    EXPECT_EQ(FrameRateChoice(path()).Rate(), 30);

    FrameRateChoice nowhere(dir.filePath("missing-folder/video.conf"));
    EXPECT_FALSE(nowhere.Choose(60));
    EXPECT_EQ(nowhere.Rate(), 60);
}

}  // namespace
}  // namespace corvala
