// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The recovery record: what the host keeps of one panel while an update changes it, so that
// a run cut short (Stop, a dead line, a power cut, a crash) can be finished by the next run
// from the truth, and what stays afterwards as the technician's settings backup.
//
// File layout (all numbers little-endian; a "text" is a 16-bit length and its bytes, an
// "image" a 32-bit length and its bytes, the length 0 or the image's exact size; a "list" a
// count (u8) and that many texts or images):
//   8 bytes  "TAVREC\r\n"
//   u16      format version (2; 1 is read too: see below)
//   u8       kind: 1 update (unfinished in recovery/, finished in backups/), 2 backup,
//            3 Starter update (in recovery/ while it may have left sector 0 changed),
//            4 restore (in recovery/ while it may have left the settings half written;
//            format 2 only)
//   u8       phase: how far the update may have changed the panel (RecordPhase)
//   u64      time written first, seconds since 1970 (UTC)
//   text     port (its device), text firmware file path, u64 file size, 32 bytes SHA-256
//            of the file, text the file's version record (5 characters and the language)
//   u8 x4    flash type, Starter version, Starter language, 24 MHz board (0/1)
//   text     the panel's version record as read before any change (5 characters and the
//            language; empty when it could not be read)
//   text     the data code of the panel's settings ("103")
//   image    sector 6 as saved: copy of memory 2 (16 KiB), copy of memory 1 (32 KiB)
//   image    sector 6 as written back: BootCopy (16 KiB), memory 2, memory 1 (48 KiB)
//   image    the memories as read: memory 1 (32 KiB), memory 2 (16 KiB)
//   image    the memories as written: memory 1, memory 2
// From format 2 on, what binds the record to its panel and what earlier runs left:
//   u8       the questions answered Yes for this panel and this file (AnsweredQuestion bits)
//   list     texts: the version records of files that earlier runs on this record may have
//            written (each 5 characters and the language)
//   image    the panel's check values of the settings copies (0x64000..0x6FFFF, 96 blocks of
//            512 bytes: u16 sum, u8 xor, u8 rot each) before the first change
//   list     images: sector 6 as earlier runs with another file wrote it back
//   list     images: the memories as earlier runs with another file wrote them
//   32 bytes SHA-256 of every byte before it
//
// A record of format 1 reads without the format-2 fields. It carries nothing of the panel's
// own data taken before the first change, so it cannot prove which panel it belongs to: it
// is listed, and kept, but never applied to a panel.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "firmware/Sha256.h"

namespace tavrino::state {

inline constexpr uint16_t kRecordFormat = 2;
// The first format, without the fields that bind a record to its panel.
inline constexpr uint16_t kRecordFormatUnbound = 1;
inline constexpr size_t kMemory1Bytes = 0x8000;
inline constexpr size_t kMemory2Bytes = 0x4000;
inline constexpr size_t kBootCopyBytes = 0x4000;
inline constexpr size_t kSector6SavedBytes = kMemory2Bytes + kMemory1Bytes;
inline constexpr size_t kSector6WrittenBytes = kBootCopyBytes + kMemory2Bytes + kMemory1Bytes;
inline constexpr size_t kMemoriesBytes = kMemory1Bytes + kMemory2Bytes;
// The check values of the settings copies: 96 blocks of 512 bytes, 4 bytes each.
inline constexpr size_t kCopyCheckBlocks = 96;
inline constexpr size_t kCopyChecksBytes = kCopyCheckBlocks * 4;
// Images of what earlier runs wrote: one per format the settings can have been written in.
inline constexpr size_t kEarlierImagesMax = 4;
// Far above any record; a larger file is not read at all.
inline constexpr size_t kRecordMaxBytes = 1 << 20;

// A Starter update changes sector 0 only (the program's first sector, then the Starter),
// never the version record or the settings: its record names the panel and the file, binds
// to the panel by its version record and the check values of its settings copies, carries
// no images, and its phase stays Read.
//
// A restore writes a backup's settings into a panel: its record names the backup file (as
// the firmware file of an update), holds the panel's settings as read before it changed
// anything (the memories, and the copies where it writes them) and what it writes, and
// binds to the panel by those and its copies' check values. Its phase is Memories.
enum class RecordKind : uint8_t { Update = 1, Backup = 2, StarterUpdate = 3, Restore = 4 };

// Each phase is written before the panel is changed in that way, so it names the most the
// panel may have been changed. Later phases keep what the earlier ones saved.
enum class RecordPhase : uint8_t {
  Read = 0,         // nothing changed (a backup)
  Programming = 1,  // the program sectors may be erased or partly written
  Sector6 = 2,      // sector 6 may be erased or partly written back
  Memories = 3,     // the settings memories may be partly converted
  // The update is complete and the panel whole: the record is a settings backup, left in
  // recovery/ only when backups/ could not take it.
  Finished = 4,
};

// Questions of the run that the technician answered Yes, kept so that a run finishing the
// update for the same panel and file need not ask them again.
enum AnsweredQuestion : uint8_t {
  kAnsweredDataFormat = 1,  // the data format warning
  kAnsweredOlder = 2,       // "Selected program is older than panel program."
  kAnsweredContinue = 4,    // "Continue ?"
  kAnsweredAll = 7,
};

struct RecoveryRecord {
  // As read; a record is always written in this tool's format, unless it came from a file
  // of the first one.
  uint16_t format = kRecordFormat;
  RecordKind kind = RecordKind::Update;
  RecordPhase phase = RecordPhase::Read;
  uint64_t writtenAt = 0;
  std::string port;
  std::string filePath;
  uint64_t fileSize = 0;
  Sha256::Digest fileHash{};
  std::string fileVersionRecord;
  uint8_t flashType = 0;
  uint8_t starterVersion = 0;
  uint8_t starterLanguage = 0;
  bool secondHalf = false;
  std::string panelVersionRecord;
  std::string dataCode;
  std::vector<uint8_t> sector6Saved;
  std::vector<uint8_t> sector6Written;
  std::vector<uint8_t> memoriesRead;
  std::vector<uint8_t> memoriesWritten;
  // Format 2.
  uint8_t answered = 0;
  std::vector<std::string> earlierFileVersions;
  std::vector<uint8_t> copyChecks;
  std::vector<std::vector<uint8_t>> earlierSector6Written;
  std::vector<std::vector<uint8_t>> earlierMemoriesWritten;

  // Whether the record carries the panel's own data taken before the first change.
  bool Bound() const { return format >= kRecordFormat; }

  bool operator==(const RecoveryRecord&) const = default;
};

enum class RecordProblem {
  None,
  NotARecord,     // the file does not begin as a record does
  UnknownFormat,  // a format version this tool does not know
  CutShort,       // the file ends before the record does
  ChecksumWrong,  // the bytes are not the ones written
  Malformed,      // checked good, yet a field is out of its range
};

// Why a record is refused, for one status line ("checksum wrong").
std::string ProblemText(RecordProblem problem);

std::vector<uint8_t> EncodeRecord(const RecoveryRecord& record);
// A pure function over the file's bytes: either the record, or why there is none. Never
// reads past the bytes given, whatever they hold.
RecordProblem DecodeRecord(std::span<const uint8_t> bytes, RecoveryRecord& record);

}  // namespace tavrino::state
