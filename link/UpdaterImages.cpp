// SPDX-License-Identifier: GPL-2.0-or-later
#include "link/UpdaterImages.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "firmware/Sha256.h"
#include "link/FlashChip.h"
#include "os/HostOs.h"
#include "os/ProgramPath.h"

#if !defined(TAVRINO_UPDATERS_DIR) || !defined(TAVRINO_UPDATERS_FROM_PROGRAM)
#error "the build names the installed updater folder (TAVRINO_UPDATERS_DIR, ..._FROM_PROGRAM)"
#endif

namespace tavrino {

namespace {

constexpr uint8_t kLongJump = 0x02;  // LJMP hi lo: the processor starts at address 0
constexpr uint8_t kErased = 0xFF;
// The maker's updaters use under 7 KiB; what lies past this is the erased fill. A file with
// bytes there is not an updater, or not a whole one.
constexpr size_t kMaxUsed = 0x1D00;
// The banner line ends within the image's first block.
constexpr size_t kBannerLimit = 0x100;
constexpr std::string_view kBannerStart = "\r\n\r\n";
constexpr std::string_view kLineEnd = "\r\n";
// Bounds on what is read at all: an image is far smaller, a list of sums too.
constexpr size_t kMaxReadBytes = 1 << 20;
constexpr size_t kSha256HexDigits = 64;

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

char Upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Does the text name the word, in any case, standing on its own ("AM29F040B" is not
// "M29F040B")?
bool NamesWord(std::string_view text, std::string_view word) {
  if (word.empty() || text.size() < word.size()) return false;
  for (size_t at = 0; at + word.size() <= text.size(); ++at) {
    const bool same = std::equal(word.begin(), word.end(), text.begin() + at,
                                 [](char a, char b) { return Upper(a) == Upper(b); });
    const bool startsWord = at == 0 || !IsWordChar(text[at - 1]);
    const bool endsWord = at + word.size() == text.size() || !IsWordChar(text[at + word.size()]);
    if (same && startsWord && endsWord) return true;
  }
  return false;
}

// The banner's line (without its CR LF), or false when there is no banner.
bool BannerLine(std::span<const uint8_t> image, std::string& line) {
  const std::string_view head(reinterpret_cast<const char*>(image.data()),
                              std::min(image.size(), kBannerLimit));
  if (head.substr(kUpdaterBannerAt, kBannerStart.size()) != kBannerStart) return false;
  const size_t from = kUpdaterBannerAt + kBannerStart.size();
  const size_t end = head.find(kLineEnd, from);
  if (end == std::string_view::npos || end == from) return false;
  line = std::string(head.substr(from, end - from));
  return std::all_of(line.begin(), line.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; });
}

// Does the text hold the part anywhere, in any case?
bool HoldsInAnyCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char a, char b) { return Upper(a) == Upper(b); }) != text.end();
}

bool SameInAnyCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && HoldsInAnyCase(a, b);
}

// Another chip the banner names besides the panel's; empty when it names no other. An
// updater programs one chip: a banner that names two is not the maker's image for this one.
std::string OtherChipNamed(std::string_view banner, std::string_view chip) {
  for (const FlashChip& row : AllFlashChips()) {
    // The updater's chip name and the chip's own part number (the last word of its name).
    const std::string_view name = row.name;
    const std::string_view part = name.substr(name.rfind(' ') + 1);
    for (const std::string_view other :
         {std::string_view(row.updaterChip ? row.updaterChip : ""), part}) {
      if (other.empty() || SameInAnyCase(other, chip)) continue;
      if (NamesWord(banner, other)) return std::string(other);
    }
  }
  return {};
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// The system's words of a failure, without the path before them ("Permission denied").
std::string SystemWords(const os::Failure& failure) {
  const size_t colon = failure.rfind(": ");
  return colon == std::string::npos ? failure : failure.substr(colon + 2);
}

// Why a listed file cannot be used, for the refusal line ("refused: " + reason); the line
// names the file alone, inFull its whole path and, when given, the system's whole reason.
UpdaterImage Refused(const std::string& fileName, const std::filesystem::path& path,
                     std::string_view chipName, const std::string& reason,
                     const std::string& fullReason = {}) {
  UpdaterImage r;
  r.line = "Updater " + fileName + " refused: " + reason;
  r.lineWithoutFolder = r.line;
  r.inFull = "Updater " + path.string() + " refused: " + (fullReason.empty() ? reason : fullReason);
  r.details = "The Starter updater image for the " + std::string(chipName) + "\n" + path.string() +
              "\nis refused: " + reason +
              ".\n\nThe panel's Starter is not replaced; the run goes on with the old Starter.";
  return r;
}

}  // namespace

std::string CheckUpdaterImage(std::span<const uint8_t> image, std::string_view chip,
                              bool allowTestImages) {
  if (image.size() != kUpdaterImageSize) {
    return std::to_string(image.size()) + " bytes, not " + std::to_string(kUpdaterImageSize);
  }
  const auto lastUsed =
      std::find_if(image.rbegin(), image.rend(), [](uint8_t b) { return b != kErased; });
  const size_t used = static_cast<size_t>(image.rend() - lastUsed);
  if (used > kMaxUsed) return "not 0xFF after its code";
  if (image[0] != kLongJump) return "no long jump at its start";
  std::string banner;
  if (!BannerLine(image, banner)) return "no banner at offset 52";
  const size_t target = static_cast<size_t>(image[1]) << 8 | image[2];
  if (target < kUpdaterBannerAt || target >= used) return "jumps outside its code";
  if (!NamesWord(banner, chip)) return "not for the " + std::string(chip);
  if (const std::string other = OtherChipNamed(banner, chip); !other.empty())
    return "names the " + other + " too";
  // The mark counts however it is written: "Test Image" is a test image too.
  if (HoldsInAnyCase(banner, kTestImageMark) && !allowTestImages) {
    return "test image, not for panels";
  }
  return {};
}

std::string CheckListedSum(std::span<const uint8_t> image, std::string_view sums,
                           std::string_view fileName) {
  const std::string want = Sha256::Hex(Sha256::Of(image));
  std::string listed;  // the sum the list gives the file; empty while none was found
  size_t at = 0;
  while (at < sums.size()) {
    size_t end = sums.find('\n', at);
    if (end == std::string_view::npos) end = sums.size();
    std::string_view line = sums.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // "<sum>  <name>", or "<sum> *<name>" for a file read in binary mode.
    if (line.size() < kSha256HexDigits + 2 || line[kSha256HexDigits] != ' ') continue;
    if (line[kSha256HexDigits + 1] != ' ' && line[kSha256HexDigits + 1] != '*') continue;
    if (line.substr(kSha256HexDigits + 2) != fileName) continue;
    // Every line of the file counts: a list that gives it two sums vouches for neither.
    // (Short: the refusal line has room for no more beside the longest file name.)
    const std::string sum = Lower(line.substr(0, kSha256HexDigits));
    if (!listed.empty() && sum != listed) return "two sums in " + std::string(kUpdaterSumsFile);
    listed = sum;
  }
  if (listed.empty()) return "not listed in " + std::string(kUpdaterSumsFile);
  if (listed != want) return "SHA-256 not as in " + std::string(kUpdaterSumsFile);
  return {};
}

std::string UpdaterFileName(std::string_view chip) {
  return std::string(chip) + ".bin";
}

std::string UpdaterFileNames() {
  std::vector<std::string> names;
  for (const FlashChip& chip : AllFlashChips())
    if (chip.updaterChip != nullptr) names.push_back(UpdaterFileName(chip.updaterChip));
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
    list += names[i];
  }
  return list;
}

std::filesystem::path UpdaterFolder(const std::filesystem::path& given, const char* variable) {
  if (!given.empty()) return given;
  if (variable != nullptr && *variable != '\0') return variable;
  return InstalledUpdaterFolder();
}

std::filesystem::path InstalledUpdaterFolder() {
  const std::filesystem::path program = os::ProgramPath();
  if (program.empty()) return TAVRINO_UPDATERS_DIR;
  return (program.parent_path() / TAVRINO_UPDATERS_FROM_PROGRAM).lexically_normal();
}

bool TestUpdatersAllowed() {
  const char* allow = std::getenv(kAllowTestUpdatersVariable);
  return allow != nullptr && std::string_view(allow) == "1";
}

UpdaterImage LoadUpdaterImage(std::string_view chip, const std::filesystem::path& folder,
                              bool allowTestImages, std::string_view chipName) {
  if (chipName.empty()) chipName = chip;
  const std::string fileName = UpdaterFileName(chip);
  const std::filesystem::path path = folder / fileName;
  if (!Exists(path)) {
    UpdaterImage none;
    none.line = "No updater " + fileName + " in " + folder.string();
    none.lineWithoutFolder = "No updater " + fileName + " in the updaters folder";
    none.inFull = none.line;
    none.details = "No Starter updater image for the " + std::string(chipName) +
                   " is installed, so the panel's Starter cannot be replaced.\n\n"
                   "Put the file " +
                   fileName + " from the panel's maker into\n" + folder.string() +
                   "\n\nThe run goes on with the old Starter.";
    return none;
  }
  std::vector<uint8_t> bytes;
  if (const os::Failure failure = os::ReadWholeFile(path, kMaxReadBytes, bytes); !failure.empty()) {
    return Refused(fileName, path, chipName, SystemWords(failure), failure);
  }
  if (std::string why = CheckUpdaterImage(bytes, chip, allowTestImages); !why.empty()) {
    return Refused(fileName, path, chipName, why);
  }
  const std::filesystem::path sumsPath = folder / kUpdaterSumsFile;
  if (Exists(sumsPath)) {
    std::vector<uint8_t> sums;
    if (const os::Failure failure = os::ReadWholeFile(sumsPath, kMaxReadBytes, sums);
        !failure.empty()) {
      return Refused(fileName, path, chipName, std::string(kUpdaterSumsFile) + " unreadable",
                     failure);
    }
    const std::string_view list(reinterpret_cast<const char*>(sums.data()), sums.size());
    if (std::string why = CheckListedSum(bytes, list, fileName); !why.empty()) {
      return Refused(fileName, path, chipName, why);
    }
  }
  UpdaterImage image;
  image.bytes = std::move(bytes);
  return image;
}

}  // namespace tavrino
