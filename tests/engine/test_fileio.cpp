// SPDX-License-Identifier: MIT
#include "fileio.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
