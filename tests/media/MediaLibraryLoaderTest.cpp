// Finding, opening and binding the media library, against small stand-in
// libraries built next to this test.
#include "media/MediaLibraryLoader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace corvala {
namespace {

const QString kCompleteStub = QStringLiteral(RTC_STUB_COMPLETE);
const QString kStubWithoutProfile = QStringLiteral(RTC_STUB_WITHOUT_PROFILE);

std::string ErrorOf(const QString& path)
{
    try {
        BindMediaLibrary(path);
    } catch (const MediaLibraryError& e) {
        return e.what();
    }
    return "no error";
}

// Runs a test in a scratch current directory without CORVALA_ENGINE and puts
// both back afterwards.
class LibrarySearch : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(cwd_.isValid() && programFolder_.isValid());
        saved_ = QDir::currentPath();
        savedEngine_ = qgetenv("CORVALA_ENGINE");
        qunsetenv("CORVALA_ENGINE");
        QDir::setCurrent(cwd_.path());
    }
    void TearDown() override
    {
        QDir::setCurrent(saved_);
        if (!savedEngine_.isNull())
            qputenv("CORVALA_ENGINE", savedEngine_);
    }
    QTemporaryDir cwd_;
    QTemporaryDir programFolder_;
    QString saved_;
    QByteArray savedEngine_;
};

TEST_F(LibrarySearch, ProgramFolderWhenCurrentDirectoryHasNone)
{
    EXPECT_EQ(MediaLibraryPath(programFolder_.path()), programFolder_.filePath("rt.so"));
}

TEST_F(LibrarySearch, CurrentDirectoryCopyWinsOverProgramFolder)
{
    ASSERT_TRUE(QFile::copy(kCompleteStub, programFolder_.filePath("rt.so")));
    ASSERT_TRUE(QFile::copy(kCompleteStub, cwd_.filePath("rt.so")));
    const QString path = MediaLibraryPath(programFolder_.path());
    EXPECT_EQ(path, cwd_.filePath("rt.so"));
    EXPECT_EQ(BindMediaLibrary(path).rtc_capturer_count(), RTC_STUB_VALUE);
}

TEST_F(LibrarySearch, EnvironmentVariableOverridesBoth)
{
    ASSERT_TRUE(QFile::copy(kCompleteStub, cwd_.filePath("rt.so")));
    qputenv("CORVALA_ENGINE", kCompleteStub.toUtf8());
    EXPECT_EQ(MediaLibraryPath(programFolder_.path()), kCompleteStub);
}

TEST(BindMediaLibrary, MissingFileNamesTheFullPathAndAnEmptySecondValue)
{
    EXPECT_EQ(ErrorOf("/nonexistent/Corvala/rt.so"), "Can not load /nonexistent/Corvala/rt.so ");
}

TEST(BindMediaLibrary, FileThatIsNoLibraryCannotBeLoaded)
{
    QTemporaryDir dir;
    QFile junk(dir.filePath("rt.so"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not an ELF file");
    junk.close();
    EXPECT_EQ(ErrorOf(junk.fileName()), "Can not load " + junk.fileName().toStdString() + " ");
}

TEST(BindMediaLibrary, NameTheProgramNeverCallsIsStillRequired)
{
    EXPECT_EQ(ErrorOf(kStubWithoutProfile), "Load rtc_capturer_profile failed!");
}

TEST(BindMediaLibrary, CompleteLibraryBindsAll52EntryPoints)
{
    const RtcApi api = BindMediaLibrary(kCompleteStub);
    int bound = 0;
#define COUNT_BOUND(name) bound += api.name != nullptr;
    RTC_FOR_EACH_ENTRY_POINT(COUNT_BOUND)
#undef COUNT_BOUND
    EXPECT_EQ(bound, 52);
    EXPECT_EQ(api.rtc_capturer_count(), RTC_STUB_VALUE);
}

TEST(MediaLibraryLoader, FailureLeavesNothingLoadedAndSuccessIsForGood)
{
    const QByteArray saved = qgetenv("CORVALA_ENGINE");
    qputenv("CORVALA_ENGINE", kStubWithoutProfile.toUtf8());
    EXPECT_THROW(MediaLibraryLoader(QString()), MediaLibraryError);

    qputenv("CORVALA_ENGINE", kCompleteStub.toUtf8());
    const RtcApi& loaded = MediaLibraryLoader(QString());
    EXPECT_EQ(loaded.rtc_capturer_count(), RTC_STUB_VALUE);

    // Loaded once per process: a later call does not look again.
    qputenv("CORVALA_ENGINE", "/nonexistent/rt.so");
    EXPECT_EQ(&MediaLibraryLoader(QString()), &loaded);
    EXPECT_EQ(&Rtc(), &loaded);
    if (saved.isNull())
        qunsetenv("CORVALA_ENGINE");
    else
        qputenv("CORVALA_ENGINE", saved);
}

} // namespace
} // namespace corvala
