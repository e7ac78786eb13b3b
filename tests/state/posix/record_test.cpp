// SPDX-License-Identifier: GPL-2.0-or-later
// The recovery record on the host: read back exactly as written, refused in one clear word
// when damaged, cut or unknown, and never lost to a write that did not finish.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "state/RecordStore.h"
#include "state/RecoveryRecord.h"

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
  unknownKind.kind = static_cast<RecordKind>(4);
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
        earlierAlone, unknownAnswer, tooManyEarlier})
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

}  // namespace
}  // namespace tavrino::state
