// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Starter updater images. They are the panel maker's code, not ours: the tool ships none,
// loads the one for the panel's chip from a file, and checks it before a byte of it goes
// into a panel, because a wrong image written at flash address 0 leaves a panel that never
// starts again.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrino {

inline constexpr size_t kUpdaterImageSize = 8448;  // 33 blocks of 256 bytes from address 0

// The updater's text banner: two CR LF pairs at this offset, then one line that names the
// updater and the chip it programs.
inline constexpr size_t kUpdaterBannerAt = 52;
// Test images (made by tavrino-pack --test-updaters) carry this in their banner line.
inline constexpr std::string_view kTestImageMark = "TEST IMAGE";

inline constexpr const char* kUpdatersVariable = "TAVRINO_UPDATERS";
inline constexpr const char* kAllowTestUpdatersVariable = "TAVRINO_ALLOW_TEST_UPDATERS";
inline constexpr const char* kUpdaterSumsFile = "SHA256SUMS";

// Why the image may not be written into a panel with the chip; empty when it may. Looks
// at the bytes alone: size, the long jump at the start, the 0xFF fill after the code, the
// banner naming the chip, and the test-image mark.
std::string CheckUpdaterImage(std::span<const uint8_t> image, std::string_view chip,
                              bool allowTestImages);

// Why the image does not match its line in a list of SHA-256 sums as sha256sum writes it
// ("<64 hex digits>  <file name>"); empty when it does. A file missing from the list
// does not match.
std::string CheckListedSum(std::span<const uint8_t> image, std::string_view sums,
                           std::string_view fileName);

// The file of the chip's image: "AM29F040B.bin".
std::string UpdaterFileName(std::string_view chip);
// The files of every chip that has an updater, as a reader is told them:
// "AT29C040A.bin, AM29F040B.bin, ... or A29040B.bin".
std::string UpdaterFileNames();

// Where the images are looked for: the folder given (tavrino-cli --updaters DIR), else the
// value of $TAVRINO_UPDATERS (null when unset), else the installed data folder.
std::filesystem::path UpdaterFolder(const std::filesystem::path& given, const char* variable);

// share/tavrino/updaters under the prefix the running program is installed in (found from
// the program's own place: <prefix>/bin/../share/tavrino/updaters), or beside the program
// on Windows; the configured folder when the program's place is not known.
std::filesystem::path InstalledUpdaterFolder();

// TAVRINO_ALLOW_TEST_UPDATERS=1: the tests, the demo and the simulated panel only.
bool TestUpdatersAllowed();

struct UpdaterImage {
  std::vector<uint8_t> bytes;  // the checked image; empty when there is none to use
  // Otherwise why not, in one status line that names the file by its name: with the folder
  // ("No updater AM29F040B.bin in /usr/share/tavrino/updaters"), and without it for a line
  // too narrow to hold the folder whole. A name or a path is never cut in the middle.
  std::string line;
  std::string lineWithoutFolder;
  std::string inFull;   // the line with the whole path (run report, standard error)
  std::string details;  // and for the information box: the whole path, what to do
  bool Usable() const { return !bytes.empty(); }
};

// Reads the chip's image from the folder and checks it, and its sum where the folder
// holds a SHA256SUMS list. chipName: the chip as the log names it ("AMD Am29F040"), for the
// information box; empty: chip.
UpdaterImage LoadUpdaterImage(std::string_view chip, const std::filesystem::path& folder,
                              bool allowTestImages, std::string_view chipName = {});

}  // namespace tavrino
