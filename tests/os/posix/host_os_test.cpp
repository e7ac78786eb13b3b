// SPDX-License-Identifier: GPL-2.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "os/HostOs.h"
#include "support/PosixGroups.h"

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
  for (const mode_t mask : {0000, 0022, 0077, 0277}) {
    const mode_t old = ::umask(mask);
    const fs::path dir = root_ / ("umask" + std::to_string(mask)) / "state" / "tavrino";
    EXPECT_EQ(MakePrivateDir(dir), "");
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(WriteFileAtomically(dir / "record", bytes), "");
    ::umask(old);
    // Every folder made here, not only the last one.
    for (const fs::path& made : {dir.parent_path().parent_path(), dir.parent_path(), dir})
      EXPECT_EQ(Mode(made), 0700u) << made << " umask " << mask;
    EXPECT_EQ(Mode(dir / "record"), 0600u) << "umask " << mask;
  }
}

// The user's own folder (here a shared one) is not ours to change, whether it is the folder
// asked for or one above it.
TEST_F(HostOsTest, AFolderThatWasThereKeepsItsMode) {
  const fs::path shared = root_ / "shared";
  fs::create_directories(shared / "tavrino");
  ::chmod(shared.c_str(), 0775);
  ::chmod((shared / "tavrino").c_str(), 0750);
  EXPECT_EQ(MakePrivateDir(shared / "tavrino"), "");
  EXPECT_EQ(MakePrivateDir(shared / "tavrino" / "runs"), "");
  EXPECT_EQ(Mode(shared), 0775u);
  EXPECT_EQ(Mode(shared / "tavrino"), 0750u);
  EXPECT_EQ(Mode(shared / "tavrino" / "runs"), 0700u);
  std::ofstream(root_ / "file") << "x";
  EXPECT_NE(MakePrivateDir(root_ / "file"), "") << "a file where the folder should be";
}

// What may hold the host's own state: refused with the reason, never followed or changed.
TEST_F(HostOsTest, OnlyAFolderOfTheUsersOwnThatNobodyElseWritesIsTrusted) {
  const fs::path own = root_ / "own";
  fs::create_directories(own);
  ::chmod(own.c_str(), 0755);
  fs::create_directory_symlink(own, root_ / "link");
  std::ofstream(root_ / "file") << "x";
  for (const auto& [name, mode] :
       {std::pair{"group", 0770}, std::pair{"own-group", 0770}, std::pair{"world", 01777}}) {
    fs::create_directory(root_ / name);
    ::chmod((root_ / name).c_str(), static_cast<mode_t>(mode));
  }
  const bool sharedGroup = test::GiveToASharedGroup(root_ / "group");
  const bool ownGroup = test::IsUsersPrivateGroup(::getegid());
  struct Case {
    const char* name;
    std::function<fs::path()> make;
    std::string reason;  // the end of the refusal; empty: trusted
  };
  const Case cases[] = {
      {"OwnAndClosed", [&] { return own; }, ""},
      {"Missing", [&] { return root_ / "missing"; }, "No such file or directory"},
      {"LinkToOwnFolder", [&] { return root_ / "link"; }, "a link, not a folder"},
      {"File", [&] { return root_ / "file"; }, "not a folder"},
      {"GroupMayWrite", [&] { return root_ / "group"; }, "others may write to it"},
      // A umask of 002 with a group of the user's own: nobody else may write.
      {"UsersOwnGroupMayWrite", [&] { return root_ / "own-group"; }, ""},
      {"AnyoneMayWrite", [&] { return root_ / "world"; }, "others may write to it"},
  };
  for (const Case& c : cases) {
    if (std::string(c.name) == "GroupMayWrite" && !sharedGroup) continue;
    if (std::string(c.name) == "UsersOwnGroupMayWrite" && !ownGroup) continue;
    const fs::path dir = c.make();
    const Failure failure = CheckOwnFolder(dir);
    if (c.reason.empty()) {
      EXPECT_EQ(failure, "") << c.name;
    } else {
      EXPECT_EQ(failure.substr(failure.rfind(": ") + 2), c.reason) << c.name << ": " << failure;
    }
  }
  if (::geteuid() == 0) {  // only root can give a folder away
    fs::create_directory(root_ / "theirs");
    ASSERT_EQ(::chown((root_ / "theirs").c_str(), 65534, 65534), 0);
    EXPECT_NE(CheckOwnFolder(root_ / "theirs").find("owned by another user"), std::string::npos);
  }
}

// Two processes after one name: only one gets it, and a link there is not followed.
TEST_F(HostOsTest, ANewFileIsCreatedOnlyWhereNoFileIsAndPrivate) {
  const mode_t old = ::umask(0);
  bool taken = true;
  EXPECT_EQ(CreateNewFile(root_ / "name", taken), "");
  ::umask(old);
  EXPECT_FALSE(taken);
  EXPECT_EQ(Mode(root_ / "name"), 0600u);
  EXPECT_NE(CreateNewFile(root_ / "name", taken), "");
  EXPECT_TRUE(taken);
  fs::create_symlink(root_ / "target", root_ / "dangling");
  EXPECT_NE(CreateNewFile(root_ / "dangling", taken), "");
  EXPECT_TRUE(taken);
  EXPECT_FALSE(fs::exists(root_ / "target")) << "the link led nowhere, and still does";
  EXPECT_NE(CreateNewFile(root_ / "missing" / "name", taken), "");
  EXPECT_FALSE(taken) << "a missing folder is another failure";
}

// A file of the tool's own state is read only when it is the user's alone.
TEST_F(HostOsTest, AnOwnFileIsReadOnlyWhenNobodyElseCanHaveWrittenIt) {
  const uint8_t bytes[] = {1, 2, 3};
  ASSERT_EQ(WriteFileAtomically(root_ / "record", bytes), "");
  std::vector<uint8_t> read;
  EXPECT_EQ(ReadOwnFile(root_ / "record", 100, read), "");
  EXPECT_EQ(read.size(), 3u);
  fs::create_symlink(root_ / "record", root_ / "link");
  EXPECT_NE(ReadOwnFile(root_ / "link", 100, read).find("a link, not a file"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(root_ / "link", 100, read), "") << "any file the user names may be one";
  ::chmod((root_ / "record").c_str(), 0602);
  EXPECT_NE(ReadOwnFile(root_ / "record", 100, read).find("others may write to it"),
            std::string::npos);
  EXPECT_TRUE(read.empty());
  if (test::GiveToASharedGroup(root_ / "record")) {
    ::chmod((root_ / "record").c_str(), 0620);
    EXPECT_NE(ReadOwnFile(root_ / "record", 100, read).find("others may write to it"),
              std::string::npos);
  }
  if (::geteuid() == 0) {
    ::chmod((root_ / "record").c_str(), 0600);
    ASSERT_EQ(::chown((root_ / "record").c_str(), 65534, 65534), 0);
    EXPECT_NE(ReadOwnFile(root_ / "record", 100, read).find("owned by another user"),
              std::string::npos);
  }
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

// What a write left when its process ended before the rename goes; what may still be a
// write in progress, and whatever is not such a leftover, stays.
TEST_F(HostOsTest, OnlyTheTemporariesOfEndedWritesAreRemoved) {
  const pid_t ended = ::fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const auto temporary = [](pid_t pid, const std::string& rest) {
    return ".record.tmp" + std::to_string(pid) + rest;
  };
  const struct {
    std::string name;
    bool goes;
  } cases[] = {
      {temporary(ended, "-4711"), true},
      {temporary(::getpid(), "-4711"), false},  // this process's own write
      {temporary(::getppid(), "-1"), false},    // another process that still runs
      {temporary(ended, ""), false},            // not a name a write makes
      {temporary(ended, "-47x"), false},
      {"record.tmp" + std::to_string(ended) + "-1", false},
      {"record", false},
  };
  for (const auto& c : cases) std::ofstream(root_ / c.name) << "settings";
  // A writer whose process id cannot be seen from here still holds its lock.
  const fs::path locked = root_ / temporary(ended, "-2");
  std::ofstream(locked) << "settings";
  const int fd = ::open(locked.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  // Neither a link nor a folder with such a name is followed or removed.
  fs::create_directory(root_ / "elsewhere");
  std::ofstream(root_ / "elsewhere" / "file") << "keep";
  fs::create_symlink(root_ / "elsewhere" / "file", root_ / temporary(ended, "-3"));
  fs::create_directory(root_ / temporary(ended, "-5"));

  EXPECT_EQ(RemoveAbandonedTemporaries(root_), 1u);
  for (const auto& c : cases) EXPECT_EQ(fs::exists(root_ / c.name), !c.goes) << c.name;
  EXPECT_TRUE(fs::exists(locked));
  EXPECT_TRUE(fs::exists(root_ / "elsewhere" / "file"));
  EXPECT_TRUE(fs::is_symlink(root_ / temporary(ended, "-3")));
  EXPECT_TRUE(fs::is_directory(root_ / temporary(ended, "-5")));
  ::close(fd);
  EXPECT_EQ(RemoveAbandonedTemporaries(root_), 1u) << "once its writer let go";
  EXPECT_FALSE(fs::exists(locked));
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
