// SPDX-License-Identifier: GPL-2.0-or-later
// The test hook of the host's file operations: it sees each operation in order, a failure
// it injects comes back as the system's refusal with the old file kept, and a stop ends
// the process before the operation, leaving on disk exactly what was done before it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "os/FileFaults.h"
#include "os/HostOs.h"

namespace tavrino::os {
namespace {

namespace fs = std::filesystem;

class FileFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tavrino-faults-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    WriteText(root_ / "record", "old");
  }
  void TearDown() override {
    DisarmFileFaults();
    fs::remove_all(root_);
  }
  static void WriteText(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }
  static std::string Text(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  Failure WriteNew() {
    const std::string text = "new";
    return WriteFileAtomically(root_ / "record",
                               {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  }
  size_t Entries() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(root_), fs::directory_iterator()));
  }
  fs::path root_;
};

TEST_F(FileFaultsTest, SeesEveryOperationOfAnAtomicWriteAndARemoval) {
  ArmFileFaults({});
  ASSERT_EQ(WriteNew(), "");
  std::vector<uint8_t> bytes;
  ASSERT_EQ(ReadOwnFile(root_ / "record", 100, bytes), "");
  ASSERT_EQ(RemoveFile(root_ / "record"), "");
  bool taken = false;
  ASSERT_EQ(CreateNewFile(root_ / "claimed", taken), "");
  ASSERT_EQ(CheckOwnFolder(root_), "");
  ASSERT_EQ(MakePrivateDir(root_ / "sub"), "");
  std::vector<std::string> names;
  for (const FileOpSeen& op : FileOpsSeen()) names.push_back(FileOpName(op.op));
  EXPECT_EQ(names,
            (std::vector<std::string>{"create", "write", "fsync", "rename", "folder fsync", "read",
                                      "remove", "create", "folder check", "make folder"}));
  EXPECT_EQ(FileOpsSeen()[3].path, root_ / "record");
  DisarmFileFaults();
  EXPECT_EQ(MakePrivateDir(root_ / "sub2"), "");
  EXPECT_EQ(FileOpsSeen().size(), 10u) << "nothing more seen once disarmed";
}

// A failure before the rename keeps the old file and leaves no temporary; a failure of the
// folder's flush comes after the rename, so the new file is there, but the caller still
// hears that it may not survive a power cut.
TEST_F(FileFaultsTest, AnInjectedFailureIsReportedAndKeepsTheOldFileUntilTheRename) {
  const struct {
    uint32_t at;
    const char* says;
    const char* left;
  } cases[] = {{1, "cannot create", "old"},
               {2, "cannot write", "old"},
               {3, "cannot flush", "old"},
               {4, "cannot rename to", "old"},
               {5, "cannot open folder", "new"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at);
    WriteText(root_ / "record", "old");
    std::vector<FileOp> failed;
    ArmFileFaults({FileFaultPlan::Action::Fail,
                   c.at,
                   {},
                   86,
                   [&failed](const FileOpSeen& op, bool hit) {
                     if (hit) failed.push_back(op.op);
                   },
                   {}});
    const Failure failure = WriteNew();
    EXPECT_EQ(failure.rfind(c.says, 0), 0u) << failure;
    EXPECT_NE(failure.find("Input/output error"), std::string::npos) << failure;
    EXPECT_EQ(failed.size(), 1u);
    EXPECT_EQ(Text(root_ / "record"), c.left);
    EXPECT_EQ(Entries(), 1u) << "no temporary file left";
  }
  // The first read, whatever comes before it.
  ArmFileFaults({FileFaultPlan::Action::Fail, 1, {}, 86, {}, FileOp::Read});
  ASSERT_EQ(WriteNew(), "");
  std::vector<uint8_t> bytes;
  const Failure unread = ReadOwnFile(root_ / "record", 100, bytes);
  EXPECT_EQ(unread.rfind("cannot open", 0), 0u) << unread;
  EXPECT_TRUE(bytes.empty());
}

TEST_F(FileFaultsTest, AStopEndsTheProcessBeforeTheOperation) {
  const fs::path kept = root_ / "kept-by-the-test";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ArmFileFaults(
        {FileFaultPlan::Action::Stop, 4, [&kept] { WriteText(kept, "panel"); }, 86, {}, {}});
    WriteNew();
    ::_exit(0);  // never reached: the stop came first
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 86);
  EXPECT_EQ(Text(kept), "panel");
  EXPECT_EQ(Text(root_ / "record"), "old") << "the rename never happened";
  EXPECT_EQ(Entries(), 3u) << "the flushed temporary stays, as after a crash";
  // A later run removes it: its process has ended.
  EXPECT_EQ(RemoveAbandonedTemporaries(root_), 1u);
  EXPECT_EQ(Entries(), 2u);
  EXPECT_EQ(Text(root_ / "record"), "old");
}

}  // namespace
}  // namespace tavrino::os
