#pragma once
// A simulated QZ-17 panel: a stand-in for the hardware, for tests, benchmarks and the demo.
// It decodes requests and builds answers with its own code, from the panel's side; it
// shares nothing with the tool but the serial backend interface.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tavrino::sim {

inline constexpr uint32_t kFlashSize = 0x80000;

struct PanelConfig {
  uint8_t flashType = 2;          // 1..6, or any other code to see the tool refuse it
  uint8_t starterVersion = 0x31;  // high nibble major, low nibble minor
  uint8_t starterLanguage = 1;    // byte at 0x71FF9 (1 = eng)
  bool board24MHz = false;        // handshake flags bit 1
  bool badFlashVersion = false;   // handshake flags bit 2
  bool firstHandshakeVariant = false;  // older Starters: answer sync pattern 1 with 0x91
  uint32_t listenBaud = 9600;     // the speed the Starter listens at after power-on
  uint8_t speedAnswer = 1;        // data byte 0 of the answer to the speed request
  bool updaterOnly9600 = false;   // the updater answers its handshake only at 9600
  uint32_t ctsDelayMs = 2000;     // CTS comes on this long after the program starts
};

// Faults the panel can be told to show.
struct Faults {
  std::set<uint8_t> silentCommands;        // command codes that get no answer
  std::optional<uint32_t> silentAfterFrames;  // answer nothing after this many requests
  std::optional<uint32_t> dieAfterFrames;  // the line goes dead after this many requests
  std::set<uint8_t> refuseCommands;        // answer with errorCode instead
  uint8_t errorCode = 0x93;                // 0x93 or 0x94
  uint32_t corruptNextAnswers = 0;         // flip a byte in the next N answers
  uint32_t wrongLengthNextAnswers = 0;     // wrong length byte in the next N answers
  uint32_t strayBytesAfterNextAnswers = 0; // stray bytes after the next N answers
  uint32_t answerDelayMs = 0;              // wait this long before every answer
  uint32_t silentNextFrames = 0;           // ignore the next N requests
};

struct TranscriptEntry {
  uint64_t startUs;  // when the first byte was on the line
  uint64_t endUs;    // when the last byte was on the line
  bool fromTool;     // request (true) or answer (false)
  std::vector<uint8_t> raw;
  std::string decoded;  // a person-readable description
};

class SimulatedPanel {
 public:
  explicit SimulatedPanel(const PanelConfig& config = {});

  // --- Contents ---
  std::vector<uint8_t>& Flash() { return flash_; }            // 512 KiB
  std::vector<uint8_t>& Memory1() { return memory1_; }        // index = address - 0x8000, 32 KiB
  std::vector<uint8_t>& Memory2() { return memory2_; }        // index = address - 0x8000, 16 KiB
  PanelConfig& Config() { return config_; }
  Faults& FaultSettings() { return faults_; }

  // Writes a generated Starter (version, language, valid checksum) into sector 7.
  void InstallStarter(uint8_t version, uint8_t language);
  // The program 0x00000..0x5FFFF from a raw image (0x5FFFC or 0x60000 bytes), with BootCopy.
  void LoadProgram(const std::vector<uint8_t>& program);
  // A synthetic program of the given version ("1.03.05"), language, and record form,
  // with BootCopy and the settings copies in sector 6.
  void SynthesizeProgram(const std::string& version, uint8_t language, bool signature = false);
  // Fills both settings memories (and their sector 6 copies) with a plausible image of the
  // format 103 or 104, with valid page sums.
  void FillSettings(int format);
  bool StarterChecksumGood() const;

  // --- The line ---
  // The bit rate the tool's side of the line is set to; bytes at another rate are lost.
  void SetLineBaud(uint32_t baud);
  // Bytes from the tool, arriving at time nowUs.
  void FromTool(const uint8_t* bytes, size_t n, uint64_t nowUs);
  // Bytes for the tool that are on the line by nowUs (taken out).
  std::vector<uint8_t> ToTool(uint64_t nowUs);
  // When the next answer byte will be ready, if any is pending.
  std::optional<uint64_t> NextByteAtUs() const;
  bool Cts(uint64_t nowUs) const;
  bool LineDead() const { return dead_; }

  // --- What the panel saw ---
  const std::vector<TranscriptEntry>& Transcript() const { return transcript_; }
  // Keypad display lines as the keypad shows them, and every text request received.
  const std::string& KeypadUpper() const { return keypadUpper_; }
  const std::string& KeypadLower() const { return keypadLower_; }
  const std::vector<std::string>& KeypadHistory() const { return keypadHistory_; }
  enum class Mode { Starter, Updater, Program };
  Mode CurrentMode() const { return mode_; }
  uint32_t RequestCount() const { return requestCount_; }
  // Count of requests per command code.
  uint32_t CommandCount(uint8_t code) const;

  // --- State file ---
  bool SaveState(const std::string& path) const;
  bool LoadState(const std::string& path);

 private:
  PanelConfig config_;
  Faults faults_;
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> memory1_;
  std::vector<uint8_t> memory2_;
  std::vector<TranscriptEntry> transcript_;
  std::string keypadUpper_, keypadLower_;
  std::vector<std::string> keypadHistory_;
  Mode mode_ = Mode::Starter;
  bool dead_ = false;
  uint32_t requestCount_ = 0;
  // The implementation adds what it needs (receive state machine, pending answer, ...).
};

}  // namespace tavrino::sim
