// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A simulated QZ-17 panel: a stand-in for the hardware, for tests, benchmarks and the demo.
// It decodes requests and builds answers with its own code, from the panel's side; it
// shares nothing with the tool but the serial backend interface.
//
// The panel runs one of three things: its Starter (the boot loader that obeys the tool's
// commands), the Starter updater (when the flash begins with one and the panel restarts),
// or its program (after a restart; it ignores everything but a sync frame, which brings
// the Starter back). It hears only bytes sent at the speed it listens at, and it answers
// at that speed.
#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/PanelWire.h"

namespace tavrino::sim {

inline constexpr uint32_t kFlashSize = 0x80000;

struct PanelConfig {
  uint8_t flashType = 2;               // 1..6, or any other code to see the tool refuse it
  uint8_t starterVersion = 0x31;       // high nibble major, low nibble minor
  uint8_t starterLanguage = 1;         // byte at 0x71FF9 (1 = eng)
  bool board24MHz = false;             // handshake flags bit 1
  bool badFlashVersion = false;        // handshake flags bit 2
  bool firstHandshakeVariant = false;  // older Starters: answer sync pattern 1 with 0x91
  uint32_t listenBaud = 9600;          // the speed the Starter listens at after power-on
  uint8_t speedAnswer = 1;             // data byte 0 of the answer to the speed request
  bool updaterOnly9600 = false;        // the updater answers its handshake only at 9600
  uint32_t ctsDelayMs = 2000;          // CTS comes on this long after the program starts
};

// How long things take on the line. By default the panel answers at once; with pace set it
// sends bytes at the real line rate (10 bits a byte), holds each request until its last
// byte would have arrived, and adds its own working times.
struct PanelTiming {
  bool pace = false;
  // With pace: hold each request until its last byte would have arrived. Off, the panel
  // takes a request as soon as it is there, which is what a tool sees on a real line when
  // it waits for its output to drain before it starts its answer time-out (a
  // pseudo-terminal drains at once, so it cannot show that wait).
  bool holdRequests = true;
  uint32_t pageWriteUs = 4000;          // one 256-byte flash page
  uint32_t sectorEraseUs = 700000;      // one 64 KiB sector
  uint32_t checksumUs = 2500;           // check values over 512 bytes
  uint32_t settingsWriteUs = 3000;      // one 256-byte settings block
  uint32_t updaterInstallUs = 1500000;  // the updater writing the new Starter
};

// Faults the panel can be told to show. A request that is silenced or refused is not
// carried out: a silenced one is as if it never arrived.
struct Faults {
  std::set<uint8_t> silentCommands;           // command codes that get no answer
  std::optional<uint32_t> silentAfterFrames;  // answer nothing after this many requests
  std::optional<uint32_t> dieAfterFrames;     // the line goes dead after this many requests
  std::set<uint8_t> refuseCommands;           // answer with errorCode instead
  uint8_t errorCode = 0x93;                   // 0x93 or 0x94
  uint32_t corruptNextAnswers = 0;            // flip a byte in the next N answers
  uint32_t wrongLengthNextAnswers = 0;        // one data byte too many (too few for 256) in
                                              // the next N answers, check bytes valid
  uint32_t strayBytesAfterNextAnswers = 0;    // one stray byte after each of the next N answers
  uint32_t answerDelayMs = 0;                 // wait this long before every answer
  // The next N answers reach the tool lateByMs late while the panel already listens
  // again, as when a line adapter holds bytes back: a copy of the request sent after the
  // tool's time-out is then taken and answered too.
  uint32_t lateNextAnswers = 0;
  uint32_t lateByMs = 100;
  uint32_t silentNextFrames = 0;  // ignore the next N requests
  // The line goes dead once this request (1 = the first) has been carried out: the panel
  // did the work, its answer never reaches the tool. The cut that leaves the tool most in
  // doubt, as when the cable is pulled while the answer is on its way.
  std::optional<uint32_t> cutAfterFrame;
  // A cell that does not keep what is written into it: after each of the next `times`
  // writes that cover it, the byte at `address` of settings memory 1 or 2 (memory 0: the
  // flash) holds the written value with its lowest bit turned over. The write is answered
  // as done, as a worn cell's would be.
  struct SpoiledByte {
    uint8_t memory = 0;
    uint32_t address = 0;
    uint32_t times = 0;  // kAlways: every write
  };
  static constexpr uint32_t kAlways = UINT32_MAX;
  SpoiledByte spoil;
};

struct TranscriptEntry {
  uint64_t startUs;  // when the first byte was on the line
  uint64_t endUs;    // when the last byte was on the line
  bool fromTool;     // request (true) or answer (false)
  std::vector<uint8_t> raw;
  std::string decoded;  // a person-readable description
  // Bytes from the tool that the panel could not take (wrong speed, bad check bytes,
  // panel busy): they got no answer.
  bool dropped = false;
};

// One transcript line: startUs, endUs, kind ("req", "ans" or "lost"), the raw bytes as
// upper-case hex pairs separated by spaces, the description; fields separated by tabs.
// Times are microseconds on the panel's clock.
std::string TranscriptLine(const TranscriptEntry& entry);

class SimulatedPanel {
 public:
  enum class Mode { Starter, Updater, Program };

  explicit SimulatedPanel(const PanelConfig& config = {});

  // --- Contents ---
  std::vector<uint8_t>& Flash() { return flash_; }      // 512 KiB
  std::vector<uint8_t>& Memory1() { return memory1_; }  // index = address - 0x8000, 32 KiB
  std::vector<uint8_t>& Memory2() { return memory2_; }  // index = address - 0x8000, 16 KiB
  // Identify reports Config().flashType and starterVersion as they stand; listenBaud is
  // taken up at the next PowerOn() or restart.
  PanelConfig& Config() { return config_; }
  Faults& FaultSettings() { return faults_; }
  PanelTiming& Timing() { return timing_; }

  // Writes a generated Starter (version, language, valid checksum) into sector 7, and
  // makes the identification report that version.
  void InstallStarter(uint8_t version, uint8_t language);
  // The program 0x00000..0x5FFFF from a raw image (0x5FFFC or 0x60000 bytes), with BootCopy.
  // A 0x5FFFC-byte image gets its check trailer at 0x5FFFC, as the packed file carries it.
  // False (nothing changed) for any other size.
  bool LoadProgram(const std::vector<uint8_t>& program);
  // A synthetic program of the given version ("1.03.05"), language, and record form,
  // with BootCopy and the settings copies in sector 6.
  void SynthesizeProgram(const std::string& version, uint8_t language, bool signature = false);
  // The 0x60000 bytes SynthesizeProgram writes (trailer included), for building a file
  // that holds the same program.
  static std::vector<uint8_t> SyntheticProgram(const std::string& version, uint8_t language,
                                               bool signature = false);
  // Fills both settings memories (and their sector 6 copies) with a plausible image of the
  // format 103 or 104, with valid page sums.
  void FillSettings(int format);
  bool StarterChecksumGood() const;

  // --- The line ---
  // The bit rate the tool's side of the line is set to (0: nobody listens); bytes at
  // another rate are lost.
  void SetLineBaud(uint32_t baud);
  uint32_t LineBaud() const { return lineBaud_; }
  // The speed the panel listens and answers at right now.
  uint32_t ListenBaud() const { return listenBaud_; }
  // Bytes from the tool, arriving at time nowUs.
  void FromTool(const uint8_t* bytes, size_t n, uint64_t nowUs);
  // Bytes for the tool that are on the line by nowUs (taken out).
  std::vector<uint8_t> ToTool(uint64_t nowUs);
  // When the next answer byte will be ready, if any is pending.
  std::optional<uint64_t> NextByteAtUs() const;
  bool Cts(uint64_t nowUs) const;
  bool LineDead() const { return dead_; }
  // Switches the panel on afresh: its Starter runs and listens at config listenBaud.
  void PowerOn();
  // Switches the panel off at nowUs and on again. Work already due by then is done (a
  // restart, an installation); everything still on its way is lost (answers, a pending
  // restart or speed change). The line is whole again and its faults are cleared, as when
  // the technician plugs the cable back; the contents stay as they are.
  void PowerCycle(uint64_t nowUs);
  // Lets the panel's own time pass: a restart or an installation that is due happens.
  void Advance(uint64_t nowUs);

  // --- What the panel saw ---
  const std::vector<TranscriptEntry>& Transcript() const { return transcript_; }
  // Keypad display lines as the keypad shows them, and every text request received:
  // "clear", "upper:" + 16 characters, "lower:" + 16 characters, or "banner:" / "text:"
  // + the 16 upper characters + "|" + the 16 lower characters.
  const std::string& KeypadUpper() const { return keypadUpper_; }
  const std::string& KeypadLower() const { return keypadLower_; }
  const std::vector<std::string>& KeypadHistory() const { return keypadHistory_; }
  Mode CurrentMode() const { return mode_; }
  uint32_t RequestCount() const { return requestCount_; }
  // Count of requests per command code (valid frames, whether answered or not).
  uint32_t CommandCount(uint8_t code) const;
  // How many restarts the panel went through.
  uint32_t RestartCount() const { return restartCount_; }

  // --- State file ---
  bool SaveState(const std::string& path) const;
  bool LoadState(const std::string& path);
  // Why the last SaveState or LoadState failed.
  const std::string& StateError() const { return stateError_; }

  // Internal to the simulator: what it makes of one request, and what follows an answer.
  struct Reply;
  enum class After { None, SwitchBaud, Restart, FinishInstall };

 private:
  void TakeByte(uint8_t byte, uint64_t arrivedUs, uint64_t byteUs);
  void HandleFrame(const std::vector<uint8_t>& raw, const std::vector<uint8_t>& payload,
                   uint64_t startUs, uint64_t endUs);
  Reply Execute(const std::vector<uint8_t>& p);
  Reply ExecuteStarter(const std::vector<uint8_t>& p);
  Reply ExecuteFlash(const std::vector<uint8_t>& p);
  Reply ExecuteSettings(const std::vector<uint8_t>& p);
  Reply ExecuteText(const std::vector<uint8_t>& p);
  Reply ExecuteSync(const std::vector<uint8_t>& p);
  std::vector<uint8_t> ShapeAnswer(uint8_t code, const std::vector<uint8_t>& data,
                                   std::string& note);
  void RunAfter(After after, uint32_t baud, uint64_t atUs);
  // The spoiled-byte fault on a write of 256 bytes at `address` of memory (0: the flash)
  // into store (indexed from `base`); what it did, for the transcript.
  std::string SpoilWrite(uint8_t memory, uint32_t address, std::vector<uint8_t>& store,
                         uint32_t base);
  void Restart(uint64_t atUs);
  void NoteLost(uint8_t byte, uint64_t startUs, uint64_t endUs, const std::string& why);
  void FlushLost();
  uint64_t ByteUs(uint32_t baud) const;

  PanelConfig config_;
  Faults faults_;
  PanelTiming timing_;
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> memory1_;
  std::vector<uint8_t> memory2_;
  std::vector<TranscriptEntry> transcript_;
  std::string keypadUpper_, keypadLower_;
  std::vector<std::string> keypadHistory_;
  Mode mode_ = Mode::Starter;
  bool dead_ = false;
  uint32_t requestCount_ = 0;
  uint32_t restartCount_ = 0;
  std::array<uint32_t, 256> commandCounts_{};

  // The line, from the panel's side.
  struct OutByte {
    uint64_t atUs;  // when the byte has fully arrived at the tool
    uint32_t baud;  // the speed it was sent at
    uint8_t value;
  };
  uint32_t lineBaud_ = 0;
  uint32_t listenBaud_ = 9600;
  RequestDecoder decoder_;
  uint64_t frameStartUs_ = 0;    // when the first byte of the current frame began
  uint64_t toolLineFreeUs_ = 0;  // pace: when the tool's last byte has arrived
  uint64_t busyUntilUs_ = 0;     // bytes before this are lost: the panel is working
  std::vector<OutByte> out_;     // bytes on their way to the tool, in time order
  size_t outHead_ = 0;
  After after_ = After::None;  // what happens once the current answer has gone out
  uint64_t afterAtUs_ = 0;
  uint32_t afterBaud_ = 0;
  uint64_t programStartUs_ = 0;
  // Bytes lost in a row, reported as one transcript entry.
  std::vector<uint8_t> lost_;
  uint64_t lostStartUs_ = 0, lostEndUs_ = 0;
  std::string lostWhy_;
  mutable std::string stateError_;
};

}  // namespace tavrino::sim
