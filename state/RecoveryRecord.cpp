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
  void Texts(const std::vector<std::string>& texts) {
    Number(texts.size(), 1);
    for (const auto& t : texts) Text(t);
  }
  void Images(const std::vector<std::vector<uint8_t>>& images) {
    Number(images.size(), 1);
    for (const auto& image : images) Image(image);
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
  // A list of texts; each of them may be empty.
  std::vector<std::string> Texts(size_t maxLength) {
    std::vector<std::string> texts(static_cast<size_t>(Number(1)));
    for (auto& t : texts) t = Text(maxLength);
    return failed ? std::vector<std::string>{} : texts;
  }
  // A list of at most maxCount images, none of them empty.
  std::vector<std::vector<uint8_t>> Images(size_t exactSize, size_t maxCount) {
    const auto count = static_cast<size_t>(Number(1));
    if (count > maxCount) failed = true;
    std::vector<std::vector<uint8_t>> images;
    for (size_t i = 0; i < count && !failed; ++i) {
      images.push_back(Image(exactSize));
      if (images.back().empty()) failed = true;
    }
    return failed ? std::vector<std::vector<uint8_t>>{} : images;
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
  const bool bound = r.format >= kRecordFormat;
  w.Number(bound ? kRecordFormat : kRecordFormatUnbound, 2);
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
  if (bound) {
    w.Number(r.answered, 1);
    w.Texts(r.earlierFileVersions);
    w.Image(r.copyChecks);
    w.Images(r.earlierSector6Written);
    w.Images(r.earlierMemoriesWritten);
  }
  const Sha256::Digest sum = Sha256::Of(w.out);
  w.Bytes(sum.data(), sum.size());
  return w.out;
}

namespace {

// Reads every field after the header; false when the bytes run out or a field is out of
// its range.
bool ReadFields(Reader& in, RecoveryRecord& r, uint8_t& kind, uint8_t& phase,
                uint64_t& secondHalf) {
  const bool bound = r.format >= kRecordFormat;
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
  if (bound) {
    r.answered = static_cast<uint8_t>(in.Number(1));
    r.earlierFileVersions = in.Texts(6);
    r.copyChecks = in.Image(kCopyChecksBytes);
    r.earlierSector6Written = in.Images(kSector6WrittenBytes, kEarlierImagesMax);
    r.earlierMemoriesWritten = in.Images(kMemoriesBytes, kEarlierImagesMax);
  }
  return !in.failed;
}

// Checked good, yet a field out of its range or at odds with another, as a faulty writer
// could leave it: refused as well.
bool Consistent(const RecoveryRecord& r, uint8_t kind, uint8_t phase, uint64_t secondHalf) {
  const auto is = [](uint8_t value, auto name) { return value == static_cast<uint8_t>(name); };
  if (kind < static_cast<uint8_t>(RecordKind::Update) ||
      kind > static_cast<uint8_t>(RecordKind::Restore) || secondHalf > 1)
    return false;
  const bool bound = r.format >= kRecordFormat;
  // A restore always holds the memories as they were and as it writes them.
  if (is(kind, RecordKind::Restore) &&
      (!bound || !is(phase, RecordPhase::Memories) || r.memoriesWritten.empty()))
    return false;
  if (phase > static_cast<uint8_t>(bound ? RecordPhase::Finished : RecordPhase::Memories))
    return false;
  if (is(phase, RecordPhase::Finished) && !is(kind, RecordKind::Update)) return false;
  if (is(kind, RecordKind::StarterUpdate) &&
      (!is(phase, RecordPhase::Read) || !r.sector6Saved.empty() || !r.memoriesRead.empty()))
    return false;
  if (r.answered > kAnsweredAll) return false;
  // An update binds to its panel by data taken before it changed anything.
  if (bound && !is(kind, RecordKind::Backup) && r.copyChecks.empty()) return false;
  // What an update writes is kept only beside what was there before it, and what earlier
  // runs wrote only beside what this one writes.
  if ((r.sector6Saved.empty() && !r.sector6Written.empty()) ||
      (r.memoriesRead.empty() && !r.memoriesWritten.empty()) ||
      (r.sector6Written.empty() && !r.earlierSector6Written.empty()) ||
      (r.memoriesWritten.empty() && !r.earlierMemoriesWritten.empty()))
    return false;
  // A phase that may have changed sector 6 or the memories must carry their images.
  const bool changing =
      is(kind, RecordKind::Update) && phase <= static_cast<uint8_t>(RecordPhase::Memories);
  if (changing && phase >= static_cast<uint8_t>(RecordPhase::Sector6) && r.sector6Written.empty())
    return false;
  if (changing && is(phase, RecordPhase::Memories) && r.memoriesWritten.empty()) return false;
  return true;
}

}  // namespace

RecordProblem DecodeRecord(std::span<const uint8_t> bytes, RecoveryRecord& record) {
  record = RecoveryRecord{};
  const size_t header = sizeof kMagic + 2;
  if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    return RecordProblem::NotARecord;
  if (bytes.size() < header) return RecordProblem::CutShort;
  const auto format = static_cast<uint16_t>(bytes[sizeof kMagic] | bytes[sizeof kMagic + 1] << 8);
  if (format != kRecordFormat && format != kRecordFormatUnbound)
    return RecordProblem::UnknownFormat;

  RecoveryRecord r;
  r.format = format;
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

  if (!Consistent(r, kind, phase, secondHalf)) return RecordProblem::Malformed;
  r.kind = static_cast<RecordKind>(kind);
  r.phase = static_cast<RecordPhase>(phase);
  r.secondHalf = secondHalf == 1;
  record = std::move(r);
  return RecordProblem::None;
}

}  // namespace tavrino::state
