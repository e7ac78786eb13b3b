// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/PanelImages.h"

#include <algorithm>
#include <cstring>

#include "sim/PanelFlash.h"

namespace tavrino::sim {
namespace {

// A small deterministic generator, so that the same arguments give the same image.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<uint8_t>(state_ >> 11);
  }
  // Code-like bytes: never 0xFF, so that a page of them is never mistaken for erased flash.
  uint8_t NextCode() {
    const uint8_t b = Next();
    return b == 0xFF ? 0x7F : b;
  }

 private:
  uint32_t state_;
};

uint32_t Seed(const std::string& text, uint32_t salt) {
  uint32_t h = 2166136261u ^ salt;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

void Put(std::vector<uint8_t>& image, uint32_t at, const std::string& text) {
  std::memcpy(image.data() + at, text.data(), text.size());
}

// A name padded with spaces to 16 characters.
std::string Name16(const std::string& name) {
  std::string s = name.substr(0, 16);
  s.resize(16, ' ');
  return s;
}

std::string TwoDigits(int n) {
  return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

// Writes count names "<prefix><number>" of 16 characters each from a memory address.
void PutNames(std::vector<uint8_t>& memory, uint32_t address, int count, const std::string& prefix,
              bool twoDigits) {
  for (int i = 1; i <= count; ++i) {
    const std::string number = twoDigits ? TwoDigits(i) : std::to_string(i);
    Put(memory, address - kMemoryBase + static_cast<uint32_t>(i - 1) * 16, Name16(prefix + number));
  }
}

uint16_t PageSum(const std::vector<uint8_t>& memory, uint32_t from, uint32_t length) {
  uint16_t sum = 0;
  for (uint32_t i = 0; i < length; ++i) sum = static_cast<uint16_t>(sum + memory[from + i]);
  return sum;
}

// Memory 1: pages 0..125 of 256 bytes, page 126 of 96 bytes; sums at 0xFF00.
// Memory 2: pages 0..62 of 256 bytes, page 63 of 128 bytes; sums at 0xBF80.
struct SumLayout {
  uint32_t pages;
  uint32_t lastPageLength;
  uint32_t sumsAt;  // memory address
};
constexpr SumLayout kMemory1Sums{127, 0x60, 0xFF00};
constexpr SumLayout kMemory2Sums{64, 0x80, 0xBF80};

uint32_t PageLength(const SumLayout& layout, uint32_t page) {
  return page + 1 == layout.pages ? layout.lastPageLength : 0x100;
}

void RefreshSums(std::vector<uint8_t>& memory, const SumLayout& layout) {
  for (uint32_t p = 0; p < layout.pages; ++p) {
    const uint16_t sum = PageSum(memory, p * 0x100, PageLength(layout, p));
    const uint32_t at = layout.sumsAt - kMemoryBase + 2 * p;
    memory[at] = static_cast<uint8_t>(sum & 0xFF);
    memory[at + 1] = static_cast<uint8_t>(sum >> 8);
  }
}

bool SumsGood(const std::vector<uint8_t>& memory, const SumLayout& layout) {
  for (uint32_t p = 0; p < layout.pages; ++p) {
    const uint16_t sum = PageSum(memory, p * 0x100, PageLength(layout, p));
    const uint32_t at = layout.sumsAt - kMemoryBase + 2 * p;
    if (memory[at] != (sum & 0xFF) || memory[at + 1] != (sum >> 8)) return false;
  }
  return true;
}

// A block of option bytes that both formats hold (at different addresses).
void PutOptions(std::vector<uint8_t>& memory, uint32_t address, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i)
    memory[address - kMemoryBase + i] = static_cast<uint8_t>((i * 7 + i / 16) % 13);
}

}  // namespace

std::optional<std::string> VersionChars(const std::string& version) {
  std::string chars;
  if (version.size() == 7 && version[1] == '.' && version[4] == '.') {
    chars = version.substr(0, 1) + version.substr(2, 2) + version.substr(5, 2);
  } else if (version.size() == 5) {
    chars = version;
  } else {
    return std::nullopt;
  }
  for (char c : chars)
    if (c < '0' || c > '9') return std::nullopt;
  return chars;
}

void WriteStarter(std::vector<uint8_t>& flash, uint8_t version, uint8_t language) {
  Noise noise(0x5747 + version * 131u + language);
  uint8_t* area = flash.data() + kStarterBase;
  std::fill(area, area + kSectorSize, 0xFF);
  // Reset vector and interrupt jumps, then code up to the version bytes at the end of the
  // first 8 KiB; a small table further up so that the area is not mostly erased.
  const uint8_t vectors[] = {0x02, 0x00, 0x40, 0xFF, 0x02, 0x07, 0x10};
  std::copy(std::begin(vectors), std::end(vectors), area);
  for (uint32_t i = 0x40; i < 0x1F00; ++i) area[i] = noise.NextCode();
  const std::string major(1, static_cast<char>('0' + (version >> 4)));
  const std::string minor(1, static_cast<char>('0' + (version & 0x0F)));
  const std::string banner = "QZ-17 Starter " + major + "." + minor;
  std::copy(banner.begin(), banner.end(), area + 0x1F00);
  for (uint32_t i = 0x8000; i < 0x8400; ++i) area[i] = noise.NextCode();
  flash[kStarterLanguageAt] = language;
  flash[kStarterDigitsAt] = static_cast<uint8_t>(major[0]);
  flash[kStarterDigitsAt + 1] = static_cast<uint8_t>(minor[0]);
  const uint32_t sum = ComputeStarterChecksum(flash);
  for (int i = 0; i < 4; ++i) flash[kStarterChecksumAt + i] = static_cast<uint8_t>(sum >> (8 * i));
}

std::vector<uint8_t> SyntheticProgramImage(const std::string& versionChars, uint8_t language,
                                           bool signature) {
  std::vector<uint8_t> program(kProgramSize, 0xFF);
  Noise noise(Seed(versionChars, language));
  for (uint32_t i = 0; i < kProgramBytes; ++i) program[i] = noise.NextCode();
  // Reset vector, a text banner where programs keep theirs, and erased regions that a
  // writer must skip: one page, a run of pages, and the whole last 64 KiB.
  const uint8_t vectors[] = {0x02, 0x01, 0x00};
  std::copy(std::begin(vectors), std::end(vectors), program.begin());
  Put(program, kUpdaterBannerAt, "\r\n\r\nQZ-17 program " + versionChars + "\r\n");
  std::fill(program.begin() + 0x0F00, program.begin() + 0x1000, 0xFF);
  std::fill(program.begin() + 0x30000, program.begin() + 0x30800, 0xFF);
  std::fill(program.begin() + 0x50000, program.begin() + kProgramBytes, 0xFF);
  std::string record = versionChars.substr(0, 5);
  record.resize(5, '0');
  uint32_t at = kVersionRecordAt;
  if (signature) {
    Put(program, at, std::string("\0\0QZ17", 6));
    at += 6;
  }
  Put(program, at, record);
  program[at + 5] = language;
  WriteProgramTrailer(program);
  return program;
}

void WriteProgramTrailer(std::vector<uint8_t>& program) {
  const BlockCheck c = ComputeBlockCheck(program.data(), kProgramBytes);
  program[kProgramBytes] = static_cast<uint8_t>(c.sum & 0xFF);
  program[kProgramBytes + 1] = static_cast<uint8_t>(c.sum >> 8);
  program[kProgramBytes + 2] = c.xorValue;
  program[kProgramBytes + 3] = c.rot;
}

bool HoldsUpdater(const std::vector<uint8_t>& flash) {
  const size_t n = sizeof(kUpdaterBanner) - 1;
  return std::memcmp(flash.data() + kUpdaterBannerAt, kUpdaterBanner, n) == 0;
}

std::vector<uint8_t> Memory1Image(int format) {
  std::vector<uint8_t> m(kMemory1Size, 0x00);
  const bool f104 = format == 104;
  // The same settings in the two layouts; the names differ the way the two program
  // generations name them, so a glance tells the formats apart.
  PutNames(m, f104 ? 0x8000 : 0x81C0, 64, f104 ? "Zone " : "Zone (MP) ", true);
  PutNames(m, f104 ? 0x8400 : 0x8650, 8, "Partition ", true);
  PutNames(m, f104 ? 0x8480 : 0x8180, 4, "Timer ", true);
  Put(m, (f104 ? 0x84C0 : 0x8000) - kMemoryBase, Name16("Master user 1"));
  for (int i = 1; i <= 23; ++i) {  // "User   1": the number right-aligned in three places
    const std::string n = std::to_string(i);
    Put(m, (f104 ? 0x84D0 : 0x8010) - kMemoryBase + static_cast<uint32_t>(i - 1) * 16,
        Name16("User " + std::string(3 - n.size(), ' ') + n));
  }
  PutNames(m, f104 ? 0x8700 : 0x86E0, 64, f104 ? "Output " : "Output (MP) ", true);
  PutNames(m, f104 ? 0x8BC0 : 0xAC00, 16, "Expander ", true);
  PutNames(m, f104 ? 0xB4C0 : 0x8C40, 16, "Tel. number ", true);
  PutNames(m, f104 ? 0xBD60 : 0xA800, 8, f104 ? "LCD keypad " : "Keypad ", false);
  PutOptions(m, f104 ? 0xD000 : 0x9100, 1664);
  if (f104) {
    PutNames(m, 0xBC00, 8, "Schedule ", false);
    PutNames(m, 0xBCC0, 4, "Outputs group ", false);
    const uint8_t pattern[] = {0x62, 0x3F, 0x45, 0x65, 0x50, 0x41, 0x70, 0x61, 0x61, 0xF9, 0xFA};
    for (uint32_t k = 0; k < 18; ++k)
      std::copy(std::begin(pattern), std::end(pattern), m.begin() + 0xDA2C - kMemoryBase + k * 11);
  } else {
    const uint8_t pattern[] = {0x62, 0x3F, 0x65, 0x45, 0x61, 0xFA};
    for (uint32_t k = 0; k < 18; ++k)
      std::copy(std::begin(pattern), std::end(pattern), m.begin() + 0xE050 - kMemoryBase + k * 6);
  }
  Put(m, 0xFE60 - kMemoryBase, f104 ? "2004-06-21 14:05:" : "2002-04-15 09:22:");
  std::fill(m.begin() + (0xFE80 - kMemoryBase), m.begin() + (0xFF00 - kMemoryBase), 0xFF);
  RefreshMemory1Sums(m);
  return m;
}

std::vector<uint8_t> Memory2Image(int format) {
  std::vector<uint8_t> m(kMemory2Size, 0x00);
  // An event log: a header, then 8-byte entries with a running number and a code.
  Put(m, 0, format == 104 ? "EVENTS 104" : "EVENTS 103");
  Noise noise(static_cast<uint32_t>(format) * 977u);
  for (uint32_t e = 0; e < 400; ++e) {
    const uint32_t at = 0x100 + e * 8;
    m[at] = static_cast<uint8_t>(e);
    m[at + 1] = static_cast<uint8_t>(e >> 8);
    for (uint32_t k = 2; k < 8; ++k) m[at + k] = noise.Next() % 0x60;
  }
  RefreshMemory2Sums(m);
  return m;
}

void RefreshMemory1Sums(std::vector<uint8_t>& memory1) {
  RefreshSums(memory1, kMemory1Sums);
}
void RefreshMemory2Sums(std::vector<uint8_t>& memory2) {
  RefreshSums(memory2, kMemory2Sums);
}
bool Memory1SumsGood(const std::vector<uint8_t>& memory1) {
  return SumsGood(memory1, kMemory1Sums);
}
bool Memory2SumsGood(const std::vector<uint8_t>& memory2) {
  return SumsGood(memory2, kMemory2Sums);
}

}  // namespace tavrino::sim
