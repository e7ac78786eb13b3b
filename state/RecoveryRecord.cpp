// SPDX-License-Identifier: GPL-2.0-or-later
#include "state/RecoveryRecord.h"

#include <cstring>

namespace tavrino::state {

namespace {

constexpr char kMagic[8] = {'T', 'A', 'V', 'R', 'E', 'C', '\r', '\n'};
constexpr size_t kHashBytes = 32;

class Writer {
 public:
  void Bytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + n);
  }
  void Number(uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  void Text(const std::string& s) {
    Number(s.size(), 2);
    Bytes(s.data(), s.size());
  }
  void Image(const std::vector<uint8_t>& image) {
    Number(image.size(), 4);
    Bytes(image.data(), image.size());
  }
  std::vector<uint8_t> out;
};

// Reads fields off the checked bytes; any read past the end sets failed and yields zeros.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool failed = false;

  uint64_t Number(int bytes) {
    if (!Have(static_cast<size_t>(bytes))) return 0;
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(bytes_[at_ + i]) << (8 * i);
    at_ += static_cast<size_t>(bytes);
    return value;
  }
  void Bytes(uint8_t* out, size_t n) {
    if (!Have(n)) return;
    std::memcpy(out, bytes_.data() + at_, n);
    at_ += n;
  }
  std::string Text(size_t maxLength) {
    const auto length = static_cast<size_t>(Number(2));
    if (failed || length > maxLength) return Fail();
    if (!Have(length)) return {};
    std::string s(reinterpret_cast<const char*>(bytes_.data() + at_), length);
    at_ += length;
    return s;
  }
  std::vector<uint8_t> Image(size_t exactSize) {
    const auto length = static_cast<size_t>(Number(4));
    if (failed || (length != 0 && length != exactSize)) {
      failed = true;
      return {};
    }
    if (!Have(length)) return {};
    std::vector<uint8_t> image(bytes_.begin() + static_cast<long>(at_),
                               bytes_.begin() + static_cast<long>(at_ + length));
    at_ += length;
    return image;
  }
  size_t Position() const { return at_; }
  bool RanOut() const { return ranOut_; }

 private:
  bool Have(size_t n) {
    if (failed) return false;
    if (n <= bytes_.size() - at_) return true;
    failed = ranOut_ = true;
    return false;
  }
  std::string Fail() {
    failed = true;
    return {};
  }
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
  bool ranOut_ = false;
};

constexpr size_t kMaxText = 4096;

}  // namespace

std::string ProblemText(RecordProblem problem) {
  switch (problem) {
    case RecordProblem::None:
      return "good";
    case RecordProblem::NotARecord:
      return "not a record";
    case RecordProblem::UnknownFormat:
      return "unknown format";
    case RecordProblem::CutShort:
      return "file cut short";
    case RecordProblem::ChecksumWrong:
      return "checksum wrong";
    case RecordProblem::Malformed:
      return "damaged";
  }
  return "damaged";
}

std::vector<uint8_t> EncodeRecord(const RecoveryRecord& r) {
  Writer w;
  w.Bytes(kMagic, sizeof kMagic);
  w.Number(kRecordFormat, 2);
  w.Number(static_cast<uint8_t>(r.kind), 1);
  w.Number(static_cast<uint8_t>(r.phase), 1);
  w.Number(r.writtenAt, 8);
  w.Text(r.port);
  w.Text(r.filePath);
  w.Number(r.fileSize, 8);
  w.Bytes(r.fileHash.data(), r.fileHash.size());
  w.Text(r.fileVersionRecord);
  w.Number(r.flashType, 1);
  w.Number(r.starterVersion, 1);
  w.Number(r.starterLanguage, 1);
  w.Number(r.secondHalf ? 1 : 0, 1);
  w.Text(r.panelVersionRecord);
  w.Text(r.dataCode);
  w.Image(r.sector6Saved);
  w.Image(r.sector6Written);
  w.Image(r.memoriesRead);
  w.Image(r.memoriesWritten);
  const Sha256::Digest sum = Sha256::Of(w.out);
  w.Bytes(sum.data(), sum.size());
  return w.out;
}

namespace {

// Reads every field after the header; false when the bytes run out or a field is out of
// its range.
bool ReadFields(Reader& in, RecoveryRecord& r, uint8_t& kind, uint8_t& phase,
                uint64_t& secondHalf) {
  kind = static_cast<uint8_t>(in.Number(1));
  phase = static_cast<uint8_t>(in.Number(1));
  r.writtenAt = in.Number(8);
  r.port = in.Text(kMaxText);
  r.filePath = in.Text(kMaxText);
  r.fileSize = in.Number(8);
  in.Bytes(r.fileHash.data(), r.fileHash.size());
  r.fileVersionRecord = in.Text(6);
  r.flashType = static_cast<uint8_t>(in.Number(1));
  r.starterVersion = static_cast<uint8_t>(in.Number(1));
  r.starterLanguage = static_cast<uint8_t>(in.Number(1));
  secondHalf = in.Number(1);
  r.panelVersionRecord = in.Text(6);
  r.dataCode = in.Text(3);
  r.sector6Saved = in.Image(kSector6SavedBytes);
  r.sector6Written = in.Image(kSector6WrittenBytes);
  r.memoriesRead = in.Image(kMemoriesBytes);
  r.memoriesWritten = in.Image(kMemoriesBytes);
  return !in.failed;
}

}  // namespace

RecordProblem DecodeRecord(std::span<const uint8_t> bytes, RecoveryRecord& record) {
  record = RecoveryRecord{};
  const size_t header = sizeof kMagic + 2;
  if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    return RecordProblem::NotARecord;
  if (bytes.size() < header) return RecordProblem::CutShort;
  if ((bytes[sizeof kMagic] | bytes[sizeof kMagic + 1] << 8) != kRecordFormat)
    return RecordProblem::UnknownFormat;

  RecoveryRecord r;
  uint8_t kind = 0, phase = 0;
  uint64_t secondHalf = 0;
  Reader in(bytes.subspan(header));
  const bool fieldsRead = ReadFields(in, r, kind, phase, secondHalf);
  const size_t bodySize = header + in.Position();
  // A file that ends inside its fields was cut short (a write that never finished, a copy
  // broken off); one whose bytes changed fails its checksum.
  if (!fieldsRead && in.RanOut()) return RecordProblem::CutShort;
  if (fieldsRead && bytes.size() < bodySize + kHashBytes) return RecordProblem::CutShort;
  if (bytes.size() < header + kHashBytes) return RecordProblem::CutShort;
  const auto body = bytes.first(bytes.size() - kHashBytes);
  const Sha256::Digest sum = Sha256::Of(body);
  if (std::memcmp(sum.data(), bytes.data() + body.size(), kHashBytes) != 0)
    return RecordProblem::ChecksumWrong;
  if (!fieldsRead || body.size() != bodySize) return RecordProblem::Malformed;

  if (kind < static_cast<uint8_t>(RecordKind::Update) ||
      kind > static_cast<uint8_t>(RecordKind::StarterUpdate))
    return RecordProblem::Malformed;
  if (kind == static_cast<uint8_t>(RecordKind::StarterUpdate) &&
      (phase != static_cast<uint8_t>(RecordPhase::Read) || !r.sector6Saved.empty() ||
       !r.memoriesRead.empty()))
    return RecordProblem::Malformed;
  if (phase > static_cast<uint8_t>(RecordPhase::Memories) || secondHalf > 1)
    return RecordProblem::Malformed;
  // What an update writes is kept only beside what was there before it; and a phase that
  // may have changed sector 6 or the memories must carry their images.
  if ((r.sector6Saved.empty() && !r.sector6Written.empty()) ||
      (r.memoriesRead.empty() && !r.memoriesWritten.empty()))
    return RecordProblem::Malformed;
  const bool updatePhase = kind == static_cast<uint8_t>(RecordKind::Update);
  if (updatePhase && phase >= static_cast<uint8_t>(RecordPhase::Sector6) &&
      r.sector6Written.empty())
    return RecordProblem::Malformed;
  if (updatePhase && phase >= static_cast<uint8_t>(RecordPhase::Memories) &&
      r.memoriesWritten.empty())
    return RecordProblem::Malformed;
  r.kind = static_cast<RecordKind>(kind);
  r.phase = static_cast<RecordPhase>(phase);
  r.secondHalf = secondHalf == 1;
  record = std::move(r);
  return RecordProblem::None;
}

}  // namespace tavrino::state
