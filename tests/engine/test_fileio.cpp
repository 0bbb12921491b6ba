// SPDX-License-Identifier: MIT
#include "fileio.h"
#include "imagebytes.h"
#include "inputfile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

using namespace trackfold;
namespace fs = std::filesystem;

namespace {

class FileIo : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path()
            / ("trackfold-fileio-"
                + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const char *name) const { return (m_dir / name).string(); }
    std::string contents(const std::string &file) const
    {
        std::ifstream in(file, std::ios::binary);
        return { std::istreambuf_iterator<char>(in), {} };
    }
    mode_t mode(const std::string &file) const
    {
        struct stat st = {};
        EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
        return st.st_mode & 07777;
    }
    std::size_t entries() const
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
    }

    fs::path m_dir;
};

} // namespace

TEST_F(FileIo, WritesReadsAndReplacesWholeFiles)
{
    const std::string target = path("out.mid");
    std::string error;
    ASSERT_TRUE(writeFileAtomically(target, std::string(1000, 'x'), error)) << error;
    const std::string bytes("\x00\xFFshort", 7);
    ASSERT_TRUE(writeFileAtomically(target, bytes, error)) << error;
    std::string read;
    ASSERT_TRUE(readWholeFile(target, read, error)) << error;
    EXPECT_EQ(read, bytes); // nothing of the longer old file is left
    EXPECT_EQ(entries(), 1u);
}

TEST_F(FileIo, AMappedFileKeptAsItsOwnCopySurvivesTheFileCutShort)
{
    // Three blocks of the copy and a part, all different.
    std::string bytes(std::size_t { 26 } << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    const std::string file = path("out.mid");
    std::string error;
    ASSERT_TRUE(writeFileAtomically(file, bytes, error)) << error;

    InputFile stopped;
    ASSERT_TRUE(stopped.open(file, error)) << error;
    const std::atomic<bool> stop { true };
    EXPECT_FALSE(stopped.keepOwnCopy(stop));
    EXPECT_TRUE(stopped.mapped());

    auto mapped = std::make_unique<InputFile>();
    ASSERT_TRUE(mapped->open(file, error)) << error;
    const char *where = mapped->bytes().data();
    ImageBytes image(std::move(mapped));
    ASSERT_TRUE(image.mapped());
    image.keepOwnCopy();
    image.waitForCopy();
    EXPECT_FALSE(image.mapped());
    // Reading a mapped file past its end stops the program; the copy reads on.
    fs::resize_file(file, 0);
    EXPECT_EQ(image.view().data(), where);
    EXPECT_TRUE(image.view() == bytes);
}

TEST_F(FileIo, ReadsFilesWhoseSizeIsNotKnownAhead)
{
    // Files under /proc report a size of 0 and still have contents.
    std::string data, error;
    ASSERT_TRUE(readWholeFile("/proc/self/status", data, error)) << error;
    EXPECT_NE(data.find("Name:"), std::string::npos);
}

TEST_F(FileIo, ReadFailuresCarryTheSystemReason)
{
    std::string data, error;
    EXPECT_FALSE(readWholeFile(path("missing.mid"), data, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(readWholeFile(m_dir.string(), data, error));
    EXPECT_EQ(error, "Is a directory");
}

TEST_F(FileIo, FailedWritesKeepTheOldFileAndLeaveNoTemporary)
{
    const std::string target = path("keep.mid");
    std::ofstream(target, std::ios::binary) << "old contents";
    std::string error;

    WriteFaults shortWrite;
    shortWrite.failAfterBytes = 3;
    EXPECT_FALSE(writeFileAtomically(target, "new contents", error, shortWrite));
    EXPECT_EQ(error, "No space left on device");
    WriteFaults flush;
    flush.failFlush = true;
    EXPECT_FALSE(writeFileAtomically(target, "new contents", error, flush));
    EXPECT_FALSE(error.empty());
    WriteFaults rename;
    rename.failRename = true;
    EXPECT_FALSE(writeFileAtomically(target, "new contents", error, rename));
    EXPECT_FALSE(error.empty());

    EXPECT_EQ(contents(target), "old contents");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(FileIo, MissingFolderIsAnError)
{
    std::string error;
    EXPECT_FALSE(writeFileAtomically(path("no/such/dir.mid"), "x", error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(writeFileAtomically(m_dir.string(), "x", error));
    EXPECT_EQ(entries(), 0u);
}

TEST_F(FileIo, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode)
{
    std::string error;
    const mode_t previous = ::umask(027);
    const bool written = writeFileAtomically(path("new.mid"), "x", error);
    ::umask(previous);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(mode(path("new.mid")), 0640u);

    const std::string secret = path("secret.mid");
    std::ofstream(secret) << "old";
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    ASSERT_TRUE(writeFileAtomically(secret, "new", error)) << error;
    EXPECT_EQ(mode(secret), 0600u);
    ASSERT_EQ(::chmod(secret.c_str(), 0751), 0);
    ASSERT_TRUE(writeFileAtomically(secret, "newer", error)) << error;
    EXPECT_EQ(mode(secret), 0751u);
    EXPECT_EQ(contents(secret), "newer");
}

TEST_F(FileIo, ALinkKeepsPointingAtTheReplacedFile)
{
    fs::create_directories(m_dir / "real");
    fs::create_directories(m_dir / "links");
    const std::string target = path("real/song.mid");
    std::ofstream(target) << "old";
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    fs::create_symlink("../real/song.mid", m_dir / "links" / "relative.mid");
    fs::create_symlink(m_dir / "links" / "relative.mid", m_dir / "chained.mid");
    std::string error;

    ASSERT_TRUE(writeFileAtomically(path("chained.mid"), "through two links", error)) << error;
    EXPECT_TRUE(fs::is_symlink(m_dir / "chained.mid"));
    EXPECT_TRUE(fs::is_symlink(m_dir / "links" / "relative.mid"));
    EXPECT_EQ(contents(target), "through two links");
    EXPECT_EQ(mode(target), 0600u);
    // The temporary file lived beside the target, and is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir / "real"), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir / "links"), fs::directory_iterator()), 1);

    // A dangling link creates the file it names.
    fs::create_symlink("real/later.mid", m_dir / "dangling.mid");
    ASSERT_TRUE(writeFileAtomically(path("dangling.mid"), "created", error)) << error;
    EXPECT_TRUE(fs::is_symlink(m_dir / "dangling.mid"));
    EXPECT_EQ(contents(path("real/later.mid")), "created");
}

TEST_F(FileIo, SpecialFilesAreWrittenInPlace)
{
    // Renaming over a FIFO (or /dev/null) would replace it with a regular file.
    const std::string fifo = path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    EXPECT_TRUE(writeFileAtomically(fifo, "through the pipe", error)) << error;
    char received[64] = {};
    EXPECT_EQ(::read(reader, received, sizeof received), 16);
    ::close(reader);
    EXPECT_STREQ(received, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(FileIo, WriteIfAbsentNeverReplaces)
{
    const std::string target = path("kept.mid");
    std::string error;
    bool existed = true;
    ASSERT_TRUE(writeFileIfAbsent(target, "first", existed, error)) << error;
    EXPECT_FALSE(existed);
    EXPECT_FALSE(writeFileIfAbsent(target, "second", existed, error));
    EXPECT_TRUE(existed);
    EXPECT_EQ(contents(target), "first");

    // A file that appears while the data is written is not replaced either.
    WriteFaults race;
    race.beforeRename = [&](const std::string &) { std::ofstream(path("late.mid")) << "theirs"; };
    EXPECT_FALSE(writeFileIfAbsent(path("late.mid"), "ours", existed, error, race));
    EXPECT_TRUE(existed);
    EXPECT_EQ(contents(path("late.mid")), "theirs");

    fs::create_symlink("kept.mid", m_dir / "link.mid");
    EXPECT_FALSE(writeFileIfAbsent(path("link.mid"), "third", existed, error));
    EXPECT_TRUE(existed);
    EXPECT_EQ(contents(target), "first");
    EXPECT_EQ(entries(), 3u);
}

TEST_F(FileIo, LiveTemporaryFilesAreKnownUntilTheWriteEnds)
{
    const std::string target = path("song.mid");
    std::string seen, error;
    WriteFaults interrupted;
    interrupted.beforeRename = [&](const std::string &temporary) {
        seen = temporary;
        EXPECT_TRUE(fs::exists(temporary));
        removeLiveTemporaryFiles(); // what the signal handler does
        EXPECT_FALSE(fs::exists(temporary));
    };
    EXPECT_FALSE(writeFileAtomically(target, "data", error, interrupted));
    EXPECT_EQ(fs::path(seen).parent_path(), m_dir);
    EXPECT_EQ(entries(), 0u);

    // Once a write is over its temporary name is forgotten: a file that later
    // has that name is not someone to clean up after.
    WriteFaults watched;
    watched.beforeRename = [&](const std::string &temporary) { seen = temporary; };
    ASSERT_TRUE(writeFileAtomically(target, "data", error, watched)) << error;
    std::ofstream(seen) << "someone else's";
    removeLiveTemporaryFiles();
    EXPECT_TRUE(fs::exists(seen));
}

TEST_F(FileIo, WritersOnSeveralThreadsPickTheirOwnTemporaryNames)
{
    std::vector<std::thread> writers;
    std::vector<int> failures(4, 0);
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&, w] {
            std::string error;
            for (int i = 0; i < 50; ++i) {
                const std::string name = path("same.mid");
                if (!writeFileAtomically(
                        name, std::string(1000, static_cast<char>('a' + w)), error))
                    ++failures[static_cast<std::size_t>(w)];
            }
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_EQ(entries(), 1u);
    EXPECT_EQ(contents(path("same.mid")).size(), 1000u);
}
