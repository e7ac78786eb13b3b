// SPDX-License-Identifier: GPL-2.0-or-later
// The recovery record on the host: read back exactly as written, refused in one clear word
// when damaged, cut or unknown, and never lost to a write that did not finish.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "state/OwnFolders.h"
#include "state/RecordStore.h"
#include "state/RecoveryRecord.h"
#include "support/PosixGroups.h"

namespace tavrino::state {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return v;
}

RecoveryRecord Sample(RecordPhase phase) {
  RecoveryRecord r;
  r.phase = phase;
  r.writtenAt = 1797000000;
  r.port = "COM1 /dev/ttyS0";
  r.filePath = "/home/tech/qz17 1.04.02.17";
  r.fileSize = 393216;
  r.fileHash = Sha256::Of(Pattern(100, 1));
  r.fileVersionRecord = std::string("10402\x01", 6);
  r.flashType = 2;
  r.starterVersion = 0x31;
  r.starterLanguage = 1;
  r.panelVersionRecord = "10305\x00";
  r.panelVersionRecord.resize(6);
  r.dataCode = "103";
  r.copyChecks = Pattern(kCopyChecksBytes, 2);
  if (phase >= RecordPhase::Sector6) {
    r.sector6Saved = Pattern(kSector6SavedBytes, 3);
    r.sector6Written = Pattern(kSector6WrittenBytes, 4);
  }
  if (phase >= RecordPhase::Memories) {
    r.memoriesRead = Pattern(kMemoriesBytes, 5);
    r.memoriesWritten = Pattern(kMemoriesBytes, 6);
    // What a run with an earlier file left, and the answers given for this one.
    r.answered = kAnsweredDataFormat | kAnsweredContinue;
    r.earlierFileVersions = {std::string("10401\x01", 6)};
    r.earlierSector6Written = {Pattern(kSector6WrittenBytes, 7)};
    r.earlierMemoriesWritten = {Pattern(kMemoriesBytes, 8)};
  }
  return r;
}

TEST(RecoveryRecord, ReadsBackWhatWasWrittenInEveryPhase) {
  for (RecordPhase phase : {RecordPhase::Programming, RecordPhase::Sector6, RecordPhase::Memories,
                            RecordPhase::Finished}) {
    const RecoveryRecord written = Sample(phase);
    RecoveryRecord read;
    ASSERT_EQ(DecodeRecord(EncodeRecord(written), read), RecordProblem::None);
    EXPECT_EQ(read, written);
    EXPECT_TRUE(read.Bound());
  }
}

// A record of the first format reads, for the lists and for the settings it holds, but it
// carries nothing that binds it to its panel.
TEST(RecoveryRecord, AFirstFormatRecordReadsButIsNotBound) {
  RecoveryRecord first = Sample(RecordPhase::Sector6);
  first.format = kRecordFormatUnbound;
  first.copyChecks.clear();
  const std::vector<uint8_t> bytes = EncodeRecord(first);
  EXPECT_EQ(bytes[8], 1);
  RecoveryRecord read;
  ASSERT_EQ(DecodeRecord(bytes, read), RecordProblem::None);
  EXPECT_EQ(read, first);
  EXPECT_FALSE(read.Bound());
  // A finished phase is of the second format only.
  first.phase = RecordPhase::Finished;
  EXPECT_EQ(DecodeRecord(EncodeRecord(first), read), RecordProblem::Malformed);
}

TEST(RecoveryRecord, RefusesDamagedCutAndForeignFiles) {
  const std::vector<uint8_t> good = EncodeRecord(Sample(RecordPhase::Memories));
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    RecordProblem problem;
  };
  const Case cases[] = {
      {"byte flipped in the settings", [](auto& b) { b[b.size() / 2] ^= 0x01; },
       RecordProblem::ChecksumWrong},
      {"byte flipped in the fields before the images", [](auto& b) { b[200] ^= 0x40; },
       RecordProblem::ChecksumWrong},
      {"byte flipped in the checksum", [](auto& b) { b.back() ^= 0x80; },
       RecordProblem::ChecksumWrong},
      {"cut in the images", [](auto& b) { b.resize(b.size() / 2); }, RecordProblem::CutShort},
      {"cut in the checksum", [](auto& b) { b.resize(b.size() - 5); }, RecordProblem::CutShort},
      {"cut in the header", [](auto& b) { b.resize(9); }, RecordProblem::CutShort},
      {"empty", [](auto& b) { b.clear(); }, RecordProblem::NotARecord},
      {"another file", [](auto& b) { b[0] = 'X'; }, RecordProblem::NotARecord},
      {"a later format", [](auto& b) { b[8] = 3; }, RecordProblem::UnknownFormat},
      {"a byte too many", [](auto& b) { b.push_back(0); }, RecordProblem::ChecksumWrong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    RecoveryRecord read;
    read.dataCode = "stale";
    EXPECT_EQ(DecodeRecord(bytes, read), c.problem);
    EXPECT_EQ(read, RecoveryRecord{}) << "nothing of a refused record is handed out";
  }
}

// Checked good, yet inconsistent (as a record from a faulty writer would be): refused too.
// A Starter update's record reads back only as it is written: no phase, no images.
TEST(RecoveryRecord, RefusesAPhaseWithoutTheImagesItNeeds) {
  RecoveryRecord starter = Sample(RecordPhase::Read);
  starter.kind = RecordKind::StarterUpdate;
  RecoveryRecord read;
  ASSERT_EQ(DecodeRecord(EncodeRecord(starter), read), RecordProblem::None);
  EXPECT_EQ(read, starter);

  RecoveryRecord noImages = Sample(RecordPhase::Sector6);
  noImages.phase = RecordPhase::Memories;
  RecoveryRecord starterWithImages = Sample(RecordPhase::Sector6);
  starterWithImages.kind = RecordKind::StarterUpdate;
  starterWithImages.phase = RecordPhase::Read;
  RecoveryRecord starterInAPhase = starter;
  starterInAPhase.phase = RecordPhase::Programming;
  RecoveryRecord unknownKind = starter;
  unknownKind.kind = static_cast<RecordKind>(5);
  // A restore's record holds the memories as read and as it writes them, in phase Memories.
  RecoveryRecord restore = Sample(RecordPhase::Memories);
  restore.kind = RecordKind::Restore;
  ASSERT_EQ(DecodeRecord(EncodeRecord(restore), read), RecordProblem::None);
  EXPECT_EQ(read, restore);
  RecoveryRecord restoreInAnotherPhase = restore;
  restoreInAnotherPhase.phase = RecordPhase::Sector6;
  RecoveryRecord restoreWithoutMemories = Sample(RecordPhase::Sector6);
  restoreWithoutMemories.kind = RecordKind::Restore;
  restoreWithoutMemories.phase = RecordPhase::Memories;
  RecoveryRecord unboundRestore = restore;
  unboundRestore.format = kRecordFormatUnbound;
  RecoveryRecord unbound = Sample(RecordPhase::Programming);
  unbound.copyChecks.clear();
  RecoveryRecord finishedStarter = starter;
  finishedStarter.phase = RecordPhase::Finished;
  RecoveryRecord earlierAlone = Sample(RecordPhase::Sector6);
  earlierAlone.earlierMemoriesWritten = {Pattern(kMemoriesBytes, 8)};
  RecoveryRecord unknownAnswer = Sample(RecordPhase::Programming);
  unknownAnswer.answered = 8;
  RecoveryRecord tooManyEarlier = Sample(RecordPhase::Memories);
  tooManyEarlier.earlierMemoriesWritten.assign(kEarlierImagesMax + 1, Pattern(kMemoriesBytes, 8));
  for (const RecoveryRecord& r :
       {noImages, starterWithImages, starterInAPhase, unknownKind, unbound, finishedStarter,
        earlierAlone, unknownAnswer, tooManyEarlier, restoreInAnotherPhase, restoreWithoutMemories,
        unboundRestore})
    EXPECT_EQ(DecodeRecord(EncodeRecord(r), read), RecordProblem::Malformed);
}

// Every single-byte change and every cut of a small record is refused, never read past.
TEST(RecoveryRecord, NoChangedOrCutRecordIsTaken) {
  const std::vector<uint8_t> good = EncodeRecord(Sample(RecordPhase::Programming));
  RecoveryRecord read;
  for (size_t i = 0; i < good.size(); ++i) {
    std::vector<uint8_t> bytes = good;
    bytes[i] ^= 0x5A;
    EXPECT_NE(DecodeRecord(bytes, read), RecordProblem::None) << "byte " << i;
    EXPECT_NE(DecodeRecord(std::span(good).first(i), read), RecordProblem::None) << "cut at " << i;
  }
}

class RecordStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tavrino-state-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  static unsigned Mode(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0777;
  }
  fs::path root_;
};

TEST_F(RecordStoreTest, KeepsRecordsPrivateAndListsThemWithTheirProblems) {
  RecordStore store(root_);
  fs::path first, second;
  ASSERT_EQ(store.NewPath(Folder::Recovery, 1797000000, first), "");
  ASSERT_EQ(store.Write(first, Sample(RecordPhase::Sector6)), "");
  ASSERT_EQ(store.NewPath(Folder::Recovery, 1797000000, second), "");
  EXPECT_NE(first, second) << "two records of one second get two names";
  std::ofstream(second, std::ios::binary) << "TAVREC\r\n\x01";

  EXPECT_EQ(Mode(root_ / "recovery"), 0700u);
  EXPECT_EQ(Mode(first), 0600u);
  const auto listed = store.List(Folder::Recovery);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_TRUE(listed[0].Usable());
  EXPECT_EQ(listed[0].record, Sample(RecordPhase::Sector6));
  EXPECT_FALSE(listed[1].Usable());
  EXPECT_EQ(listed[1].Why(), "file cut short");
  EXPECT_TRUE(store.List(Folder::Backups).empty());
}

// A write that fails half way (here: the file size limit, as a full disk would) leaves the
// record that was there before, whole and usable.
TEST_F(RecordStoreTest, AWriteCutInTheMiddleLeavesThePreviousRecord) {
  RecordStore store(root_);
  fs::path path;
  ASSERT_EQ(store.NewPath(Folder::Recovery, 1797000000, path), "");
  ASSERT_EQ(store.Write(path, Sample(RecordPhase::Programming)), "");

  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const os::Failure failure = store.Write(path, Sample(RecordPhase::Memories));
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, SIG_DFL);

  EXPECT_NE(failure, "");
  const auto listed = store.List(Folder::Recovery);
  ASSERT_EQ(listed.size(), 1u) << "no half-written file is left beside it";
  EXPECT_TRUE(listed[0].Usable());
  EXPECT_EQ(listed[0].record, Sample(RecordPhase::Programming));
}

TEST_F(RecordStoreTest, RetiredRecordsBecomeBackupsAndTheNewestTwentyStay) {
  RecordStore store(root_);
  for (uint64_t i = 0; i < RecordStore::kBackupsKept + 3; ++i) {
    RecoveryRecord r = Sample(RecordPhase::Memories);
    r.writtenAt = 1797000000 + 60 * i;
    fs::path path;
    ASSERT_EQ(store.NewPath(Folder::Recovery, r.writtenAt, path), "");
    ASSERT_EQ(store.Write(path, r), "");
    ASSERT_EQ(store.Retire(path, r), "");
  }
  EXPECT_TRUE(store.List(Folder::Recovery).empty());
  const auto backups = store.List(Folder::Backups);
  ASSERT_EQ(backups.size(), RecordStore::kBackupsKept);
  EXPECT_EQ(backups.front().record.writtenAt, 1797000000u + 60 * 3) << "the oldest went";
  EXPECT_EQ(Mode(root_ / "backups"), 0700u);
}

// Two runs at once on two panels, sharing the state folder: both claim a name in the same
// second before either writes. Each keeps its own record, and retires only its own.
TEST_F(RecordStoreTest, TwoRunsAtOnceNeverShareARecord) {
  const RecordStore first(root_), second(root_);
  RecoveryRecord a = Sample(RecordPhase::Memories), b = Sample(RecordPhase::Sector6);
  b.flashType = 5;
  fs::path pathA, pathB;
  ASSERT_EQ(first.NewPath(Folder::Recovery, 1797000000, pathA), "");
  ASSERT_EQ(second.NewPath(Folder::Recovery, 1797000000, pathB), "");
  EXPECT_NE(pathA, pathB);
  EXPECT_TRUE(second.List(Folder::Recovery).empty()) << "a claimed name holds no record yet";
  ASSERT_EQ(second.Write(pathB, b), "");
  ASSERT_EQ(first.Write(pathA, a), "");
  auto listed = first.List(Folder::Recovery);
  ASSERT_EQ(listed.size(), 2u);

  ASSERT_EQ(first.Retire(pathA, a), "");
  listed = second.List(Folder::Recovery);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].path, pathB);
  EXPECT_EQ(listed[0].record, b) << "the other run's record is whole";
  ASSERT_EQ(first.List(Folder::Backups).size(), 1u);
  EXPECT_EQ(first.List(Folder::Backups)[0].record, a);
}

// What runs that ended mid-write left in recovery/ goes when the next run looks: the
// temporary file of a record never renamed into place (it holds the panel's settings) and a
// name claimed long ago and never filled. A name claimed just now, or at a time ahead of the
// clock, may belong to a run in progress and stays, and so does every record.
TEST_F(RecordStoreTest, WhatEndedRunsLeftGoesAndWhatARunMayStillWriteStays) {
  using namespace std::chrono_literals;
  RecordStore store(root_);
  fs::path record;
  ASSERT_EQ(store.NewPath(Folder::Recovery, 1797000000, record), "");
  ASSERT_EQ(store.Write(record, Sample(RecordPhase::Memories)), "");
  const fs::path dir = record.parent_path();
  const pid_t ended = ::fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const fs::path temporary =
      dir / ("." + record.filename().string() + ".tmp" + std::to_string(ended) + "-1");
  std::ofstream(temporary) << "settings with user codes";
  const auto now = fs::file_time_type::clock::now();
  const struct {
    const char* name;
    fs::file_time_type::duration age;
    bool goes;
  } claims[] = {{"20261211-090000-00.tavrec", 2h, true},
                {"20261211-090100-00.tavrec", kClaimAbandonedAfter + 5s, true},
                {"20261211-090200-00.tavrec", 1s, false},
                {"20261211-090300-00.tavrec", -1h, false}};
  for (const auto& c : claims) {
    std::ofstream(dir / c.name);
    fs::last_write_time(dir / c.name, now - c.age);
  }

  const auto listed = store.List(Folder::Recovery);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].record, Sample(RecordPhase::Memories));
  EXPECT_FALSE(fs::exists(temporary));
  for (const auto& c : claims) EXPECT_EQ(fs::exists(dir / c.name), !c.goes) << c.name;
}

// Records another local user may have put or changed are never used: each situation is
// refused with its reason, like a damaged record, and nothing is followed or changed.
TEST_F(RecordStoreTest, ARecordThatAnotherUserCanHavePutIsRefused) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& root, const fs::path& record)> make;
    const char* reason;  // the end of the refusal
  };
  const fs::path elsewhere = root_.string() + "-theirs";
  const Case cases[] = {
      {"RecoveryIsALinkToAnotherFolder",
       [&](const fs::path& root, const fs::path&) {
         fs::rename(root / "recovery", elsewhere);
         fs::create_directory_symlink(elsewhere, root / "recovery");
       },
       "a link, not a folder"},
      {"StateFolderIsALink",
       [&](const fs::path& root, const fs::path&) {
         fs::rename(root, elsewhere);
         fs::create_directory_symlink(elsewhere, root);
       },
       "a link, not a folder"},
      {"StateFolderWritableByOthers",
       [](const fs::path& root, const fs::path&) { ::chmod(root.c_str(), 0777); },
       "others may write to it"},
      {"RecoveryWritableByTheGroup",
       [](const fs::path& root, const fs::path&) {
         ::chmod((root / "recovery").c_str(), 0770);
         ASSERT_TRUE(test::GiveToASharedGroup(root / "recovery"));
       },
       "others may write to it"},
      {"RecordWritableByOthers",
       [](const fs::path&, const fs::path& record) { ::chmod(record.c_str(), 0646); },
       "others may write to it"},
      {"RecordIsALink",
       [&](const fs::path&, const fs::path& record) {
         fs::rename(record, elsewhere);
         fs::create_symlink(elsewhere, record);
       },
       "a link, not a file"},
      {"RecoveryOwnedByAnotherUser",
       [](const fs::path& root, const fs::path&) {
         ASSERT_EQ(::chown((root / "recovery").c_str(), 65534, 65534), 0);
       },
       "owned by another user"},
      {"RecordOwnedByAnotherUser",
       [](const fs::path&, const fs::path& record) {
         ASSERT_EQ(::chown(record.c_str(), 65534, 65534), 0);
       },
       "owned by another user"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name).find("OwnedBy") != std::string::npos && ::geteuid() != 0) continue;
    if (std::string(c.name) == "RecoveryWritableByTheGroup" && !test::CanGiveToASharedGroup())
      continue;
    fs::remove_all(root_);
    fs::remove_all(elsewhere);
    const RecordStore store(root_);
    fs::path path;
    ASSERT_EQ(store.NewPath(Folder::Recovery, 1797000000, path), "");
    ASSERT_EQ(store.Write(path, Sample(RecordPhase::Memories)), "");
    c.make(root_, path);

    const auto listed = store.List(Folder::Recovery);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_FALSE(listed[0].Usable());
    const std::string why = listed[0].Why();
    EXPECT_EQ(why.substr(why.rfind(": ") + 2), c.reason) << why;
    if (std::string(c.name).rfind("Record", 0) == 0) continue;
    // Nothing new goes where the old cannot be trusted.
    fs::path next;
    EXPECT_NE(store.NewPath(Folder::Recovery, 1797000001, next), "");
    EXPECT_NE(store.Write(path, Sample(RecordPhase::Programming)), "");
  }
  fs::remove_all(elsewhere);
}

// Every folder of the path made here is private whatever the umask; the folders that were
// there keep their modes.
TEST_F(RecordStoreTest, FoldersMadeArePrivateAndFoldersFoundKeepTheirMode) {
  const fs::path home = root_ / "xdg";
  const RecordStore store(home / "tavrino");
  const mode_t old = ::umask(0);
  fs::path path;
  const os::Failure claimed = store.NewPath(Folder::Backups, 1797000000, path);
  ::umask(old);
  ASSERT_EQ(claimed, "");
  for (const fs::path& made : {root_, home, home / "tavrino", home / "tavrino" / "backups"})
    EXPECT_EQ(Mode(made), 0700u) << made;
  EXPECT_EQ(Mode(path), 0600u);

  ::chmod((home / "tavrino" / "backups").c_str(), 0750);
  ASSERT_EQ(store.NewPath(Folder::Backups, 1797000000, path), "");
  ASSERT_EQ(store.Write(path, Sample(RecordPhase::Read)), "");
  EXPECT_EQ(Mode(home / "tavrino" / "backups"), 0750u) << "not made here: not changed here";
}

// Pruning never removes the backup or run report it has just written, also when the clock
// was set back and older files carry later names and times; it removes the oldest by the
// time each was written, not by name, and says how many went.
TEST_F(RecordStoreTest, PruningKeepsTheNewFileWhateverTheClockSaid) {
  using namespace std::chrono_literals;
  struct Case {
    const char* name;
    fs::file_time_type::duration newAfterOld;  // the new file's time against the old ones'
    bool namesReversed;                        // the old files' names sort against their times
  };
  const Case cases[] = {
      {"ClockSetBack", -24h * 365, false},
      {"ClockRight", 1h, false},
      {"NamesDisagreeWithTimes", 1h, true},
  };
  const auto base = fs::file_time_type::clock::now();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    const RecordStore store(root_);
    const size_t old = RecordStore::kBackupsKept + 2;
    std::vector<fs::path> olds;
    for (size_t i = 0; i < old; ++i) {
      RecoveryRecord r = Sample(RecordPhase::Read);
      r.writtenAt = 1797000000 + 60 * i;
      fs::path path;
      ASSERT_EQ(store.NewPath(Folder::Backups, r.writtenAt, path), "");
      ASSERT_EQ(store.Write(path, r), "");
      const size_t age = c.namesReversed ? i + 1 : old - i;  // minutes before base
      fs::last_write_time(path, base - std::chrono::minutes(age));
      olds.push_back(path);
    }
    // What the clock says now puts the new file among or before the old ones.
    RecoveryRecord r = Sample(RecordPhase::Read);
    r.writtenAt = c.newAfterOld < 0s ? 1700000000 : 1797000000 + 60 * old;
    fs::path made;
    ASSERT_EQ(store.NewPath(Folder::Backups, r.writtenAt, made), "");
    ASSERT_EQ(store.Write(made, r), "");
    fs::last_write_time(made, base + c.newAfterOld);

    EXPECT_EQ(store.PruneBackups(made), 3u);
    EXPECT_TRUE(fs::exists(made));
    EXPECT_EQ(store.List(Folder::Backups).size(), RecordStore::kBackupsKept);
    // The three written longest ago went.
    for (size_t i = 0; i < old; ++i) {
      const size_t age = c.namesReversed ? i + 1 : old - i;
      EXPECT_EQ(fs::exists(olds[i]), age < old - 2) << "backup " << i;
    }
  }
}

}  // namespace
}  // namespace tavrino::state
