// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The recovery record: what the host keeps of one panel while an update changes it, so that
// a run cut short (Stop, a dead line, a power cut, a crash) can be finished by the next run
// from the truth, and what stays afterwards as the technician's settings backup.
//
// File layout (all numbers little-endian; a "text" is a 16-bit length and its bytes, an
// "image" a 32-bit length and its bytes, the length 0 or the image's exact size):
//   8 bytes  "TAVREC\r\n"
//   u16      format version (1)
//   u8       kind: 1 update (unfinished in recovery/, finished in backups/), 2 backup,
//            3 Starter update (in recovery/ while it may have left sector 0 changed)
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
//   32 bytes SHA-256 of every byte before it
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "firmware/Sha256.h"

namespace tavrino::state {

inline constexpr uint16_t kRecordFormat = 1;
inline constexpr size_t kMemory1Bytes = 0x8000;
inline constexpr size_t kMemory2Bytes = 0x4000;
inline constexpr size_t kBootCopyBytes = 0x4000;
inline constexpr size_t kSector6SavedBytes = kMemory2Bytes + kMemory1Bytes;
inline constexpr size_t kSector6WrittenBytes = kBootCopyBytes + kMemory2Bytes + kMemory1Bytes;
inline constexpr size_t kMemoriesBytes = kMemory1Bytes + kMemory2Bytes;
// Far above any record; a larger file is not read at all.
inline constexpr size_t kRecordMaxBytes = 1 << 20;

// A Starter update changes sector 0 only (the program's first sector, then the Starter),
// never the version record or the settings: its record names the panel and the file and
// carries no images, and its phase stays Read.
enum class RecordKind : uint8_t { Update = 1, Backup = 2, StarterUpdate = 3 };

// Each phase is written before the panel is changed in that way, so it names the most the
// panel may have been changed. Later phases keep what the earlier ones saved.
enum class RecordPhase : uint8_t {
  Read = 0,         // nothing changed (a backup)
  Programming = 1,  // the program sectors may be erased or partly written
  Sector6 = 2,      // sector 6 may be erased or partly written back
  Memories = 3,     // the settings memories may be partly converted
};

struct RecoveryRecord {
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
