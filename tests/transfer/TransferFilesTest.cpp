// The transfer's file work on a real file system: digests, a destination
// that no name and no link inside it can leave, files written with holes,
// failures that leave nothing behind, and the plan of a sending batch.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "transfer/DestinationFolder.h"
#include "transfer/Md5.h"
#include "transfer/TransferFiles.h"
#include "transfer/TransferPlan.h"

namespace corvala::transfer {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

QString Md5Of(const std::string& bytes) {
    Md5 md5;
    md5.Add(bytes.data(), bytes.size());
    return md5.Finish();
}

class Scratch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    fs::path Path(const std::string& name) const { return fs::path(dir.path().toStdString()) / name; }
    QTemporaryDir dir;
};

using Digests = Scratch;

TEST_F(Digests, MatchKnownValuesAndReadWholeFilesInBlocks) {
    EXPECT_EQ(Md5Of(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Of("abc"), "900150983CD24FB0D6963F7D28E17F72");

    // Across block boundaries, with the file position left where it was.
    std::string bytes(2 * DigestBlockBytes + 12345, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + i / 1000);
    WriteFile(Path("big"), bytes);
    const int fd = ::open(Path("big").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ::lseek(fd, 100, SEEK_SET);
    const auto digest = DigestOf(fd);
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->Digest, Md5Of(bytes));
    EXPECT_EQ(digest->Size, std::int64_t(bytes.size()));
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 100);
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(DigestOf(fd, &cancelled));
    ::close(fd);
}

using Destination = Scratch;

TEST_F(Destination, MakesNestedFoldersAndReplacesWhateverHadTheName) {
    const DestinationFolder root(Path("dest").string());
    std::string error;
    ASSERT_TRUE(root.CreateFolders({"a", "b", "c"}, &error)) << error;
    EXPECT_TRUE(fs::is_directory(Path("dest/a/b/c")));

    // A link and a second name of an outside file are replaced, never written through.
    WriteFile(Path("outside.txt"), "keep");
    fs::create_symlink(Path("outside.txt"), Path("dest/a/link.txt"));
    fs::create_hard_link(Path("outside.txt"), Path("dest/a/hard.txt"));
    for (const char* name : {"link.txt", "hard.txt"}) {
        SCOPED_TRACE(name);
        DestinationFile file;
        ASSERT_TRUE(file.Create(root, {"a", name}, &error)) << error;
        ASSERT_TRUE(file.Write("new", &error));
        ASSERT_TRUE(file.Finish(&error));
        EXPECT_EQ(ReadAll(Path(std::string("dest/a/") + name)), "new");
        EXPECT_FALSE(fs::is_symlink(Path(std::string("dest/a/") + name)));
    }
    EXPECT_EQ(ReadAll(Path("outside.txt")), "keep");

    // A folder where the file should go stays as it is.
    DestinationFile clash;
    EXPECT_FALSE(clash.Create(root, {"a", "b"}, &error));
    clash.Discard();
    EXPECT_TRUE(fs::is_directory(Path("dest/a/b/c")));
}

TEST_F(Destination, ALinkInsideTheDestinationLeadsNowhere) {
    fs::create_directories(Path("dest"));
    fs::create_directories(Path("elsewhere"));
    fs::create_directory_symlink(Path("elsewhere"), Path("dest/escape"));
    WriteFile(Path("dest/plain"), "a file, not a folder");
    const DestinationFolder root(Path("dest").string());
    std::string error;
    DestinationFile file;
    EXPECT_FALSE(file.Create(root, {"escape", "x.txt"}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(root.CreateFolders({"escape", "sub"}, &error));
    EXPECT_FALSE(root.CreateFolders({"plain", "sub"}, &error));
    EXPECT_TRUE(fs::is_empty(Path("elsewhere"))) << "nothing was made outside";
}

TEST_F(Destination, RunsOfZerosBecomeHolesAndTheFileKeepsItsLengthAndDigest) {
    const DestinationFolder root(Path("dest").string());
    std::string error;
    DestinationFile file;
    ASSERT_TRUE(file.Create(root, {"sparse.bin"}, &error)) << error;
    const QByteArray zeros(65536, '\0');
    std::string expected;
    for (int i = 0; i < 64; ++i) {
        ASSERT_TRUE(file.Write(zeros, &error));
        expected.append(zeros.constData(), zeros.size());
    }
    ASSERT_TRUE(file.Write("tail", &error));
    expected += "tail";
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(file.Write(zeros, &error));
        expected.append(zeros.constData(), zeros.size());
    }
    const auto digest = file.Finish(&error);
    ASSERT_TRUE(digest) << error;
    EXPECT_EQ(*digest, Md5Of(expected));
    EXPECT_EQ(ReadAll(Path("dest/sparse.bin")), expected);
    struct stat info {};
    ASSERT_EQ(::stat(Path("dest/sparse.bin").c_str(), &info), 0);
    EXPECT_LT(info.st_blocks * 512, 1 << 20) << "5 MiB of zeros stayed holes";
}

// A file that cannot be completed (here: past the process's file size
// limit, as a full disk would) fails every later write and its end, and
// is removed.
TEST_F(Destination, AFailedWriteFailsTheFileWhichIsThenRemoved) {
    const DestinationFolder root(Path("dest").string());
    std::string error;
    DestinationFile file;
    ASSERT_TRUE(file.Create(root, {"full.bin"}, &error));
    const QByteArray record(65536, 'x');
    ASSERT_TRUE(file.Write(record, &error));

    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = file.Write(record, &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_FALSE(file.Write("more", &error));
    EXPECT_FALSE(file.Finish(&error));
    file.Discard();
    EXPECT_FALSE(fs::exists(Path("dest/full.bin")));
}

TEST_F(Destination, ADestinationWithoutWriteAccessCreatesNothing) {
    // Root writes anywhere but into the process file system.
    const fs::path locked = ::geteuid() == 0 ? fs::path("/proc/self") : Path("locked");
    if (::geteuid() != 0) {
        fs::create_directories(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    }
    std::string error;
    DestinationFile file;
    EXPECT_FALSE(file.Create(DestinationFolder(locked.string()), {"sub", "x"}, &error));
    EXPECT_FALSE(file.Create(DestinationFolder(locked.string()), {"x"}, &error));
    file.Discard();
    EXPECT_FALSE(fs::exists(locked / "sub"));
    EXPECT_FALSE(fs::exists(locked / "x"));
}

using Source = Scratch;

TEST_F(Source, SendsExactlyTheDigestedBytesAndNoticesAFileThatShrank) {
    WriteFile(Path("a.bin"), std::string(70000, 'q'));
    SourceFile source;
    std::string error;
    const std::atomic<bool> go{false};
    const auto digest = source.Open(Path("a.bin").string(), go, &error);
    ASSERT_TRUE(digest) << error;
    EXPECT_EQ(digest->Size, 70000);
    EXPECT_EQ(source.Read(65536, 4464, &error), QByteArray(4464, 'q'));
    ::truncate(Path("a.bin").c_str(), 1000);
    EXPECT_FALSE(source.Read(0, 65536, &error));
    EXPECT_FALSE(error.empty());

    ::mkfifo(Path("fifo").c_str(), 0600);
    EXPECT_FALSE(source.Open(Path("fifo").string(), go, &error)) << "a FIFO would never end";
}

using Plan = Scratch;

TEST_F(Plan, FilesAtAllDepthsFirstThenEveryFolderAndNothingThatCannotTravel) {
    WriteFile(Path("data/single.txt"), "1");
    WriteFile(Path("data/Tree/a.txt"), "2");
    WriteFile(Path("data/Tree/deep/er/b.txt"), "3");
    WriteFile(Path("data/Tree/.hidden"), "4");
    WriteFile(Path("data/Tree/12:00.txt"), "5");
    fs::create_directories(Path("data/Tree/empty/inner"));
    fs::create_directories(Path("elsewhere/loop"));
    WriteFile(Path("elsewhere/secret.txt"), "6");
    fs::create_directory_symlink(Path("elsewhere"), Path("data/Tree/link"));
    ::mkfifo(Path("data/Tree/fifo").c_str(), 0600);

    const QString data = QString::fromStdString(Path("data").string());
    const TransferPlan plan = PlanBatch({data + "/single.txt", data + "/Tree/", data + "/missing"});
    QStringList files;
    for (const PlannedFile& file : plan.Files) {
        EXPECT_EQ(file.FullPath, data + "/" + file.Names.join('/'));
        files << file.Names.join('/');
    }
    ASSERT_FALSE(files.isEmpty());
    EXPECT_EQ(files.first(), "single.txt") << "chosen order first";
    files.removeFirst();
    files.sort();
    EXPECT_EQ(files, (QStringList{"Tree/.hidden", "Tree/a.txt", "Tree/deep/er/b.txt"}));
    QStringList folders;
    for (const QStringList& folder : plan.Folders) folders << folder.join('/');
    ASSERT_FALSE(folders.isEmpty());
    EXPECT_EQ(folders.first(), "Tree");
    folders.sort();
    EXPECT_EQ(folders, (QStringList{"Tree", "Tree/deep", "Tree/deep/er", "Tree/empty", "Tree/empty/inner"}));
    EXPECT_EQ(plan.LeftOut, QStringList{data + "/Tree/12:00.txt"});
}

}  // namespace
}  // namespace corvala::transfer
