// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "os/HostOs.h"

namespace tavrino::os {
namespace {

namespace fs = std::filesystem;

class HostOsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tavrino-os-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  static mode_t Mode(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0777;
  }
  fs::path root_;
};

TEST_F(HostOsTest, StateDirFollowsXdgStateHomeElseHome) {
  Failure reason;
  ::setenv("XDG_STATE_HOME", "/var/tmp/xdg", 1);
  EXPECT_EQ(StateDir(reason), fs::path("/var/tmp/xdg/tavrino"));
  // A relative XDG_STATE_HOME is ignored, as the base directory rules say.
  ::setenv("XDG_STATE_HOME", "relative/state", 1);
  ::setenv("HOME", "/home/tech", 1);
  EXPECT_EQ(StateDir(reason), fs::path("/home/tech/.local/state/tavrino"));
  ::unsetenv("XDG_STATE_HOME");
  ::unsetenv("HOME");
  EXPECT_TRUE(StateDir(reason).empty());
  EXPECT_FALSE(reason.empty());
}

TEST_F(HostOsTest, FoldersAndFilesArePrivateWhateverTheUmask) {
  const mode_t old = ::umask(0);
  const fs::path dir = root_ / "a" / "tavrino";
  EXPECT_EQ(MakePrivateDir(dir), "");
  const uint8_t bytes[] = {1, 2, 3};
  EXPECT_EQ(WriteFileAtomically(dir / "record", bytes), "");
  ::umask(old);
  EXPECT_EQ(Mode(dir), 0700u);
  EXPECT_EQ(Mode(dir / "record"), 0600u);
}

TEST_F(HostOsTest, AtomicWriteReplacesWholeAndLeavesNoTemporary) {
  const fs::path file = root_ / "record";
  const uint8_t first[] = {'o', 'l', 'd'};
  const uint8_t second[] = {'n', 'e', 'w', '!'};
  ASSERT_EQ(WriteFileAtomically(file, first), "");
  ASSERT_EQ(WriteFileAtomically(file, second), "");
  std::vector<uint8_t> read;
  ASSERT_EQ(ReadWholeFile(file, 100, read), "");
  EXPECT_EQ(read, std::vector<uint8_t>(second, second + 4));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1);
}

TEST_F(HostOsTest, AFailedWriteKeepsTheOldFile) {
  const fs::path file = root_ / "record";
  const uint8_t first[] = {'o', 'l', 'd'};
  ASSERT_EQ(WriteFileAtomically(file, first), "");
  // A folder in the way of the rename: the write fails and the old contents stay.
  const fs::path blocked = root_ / "blocked";
  fs::create_directories(blocked / "inside");
  EXPECT_NE(WriteFileAtomically(blocked, first), "");
  std::vector<uint8_t> read;
  ASSERT_EQ(ReadWholeFile(file, 100, read), "");
  EXPECT_EQ(read.size(), 3u);
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 2);
}

TEST_F(HostOsTest, ReadRefusesWhatIsNotARegularFileOrTooLarge) {
  std::vector<uint8_t> read;
  EXPECT_NE(ReadWholeFile(root_ / "missing", 100, read), "");
  EXPECT_NE(ReadWholeFile(root_, 100, read), "");
  const fs::path fifo = root_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_NE(ReadWholeFile(fifo, 100, read), "");  // and does not block
  const uint8_t four[] = {1, 2, 3, 4};
  ASSERT_EQ(WriteFileAtomically(root_ / "four", four), "");
  EXPECT_NE(ReadWholeFile(root_ / "four", 3, read), "");
  EXPECT_TRUE(read.empty());
  EXPECT_EQ(RemoveFile(root_ / "four"), "");
  EXPECT_EQ(RemoveFile(root_ / "four"), "");
}

}  // namespace
}  // namespace tavrino::os
