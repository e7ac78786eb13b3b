#pragma once
#include <cstdint>
#include <string>

#include "firmware/FirmwareFile.h"
#include "frontend/Host.h"
#include "frontend/Outcome.h"
#include "link/FlashChip.h"
#include "link/Starter.h"
#include "link/StarterUpdate.h"
#include "settings/SettingsAreas.h"

namespace tavrino {

// One whole conversation with the panel for Program, Test or the unattended run.
class UpdateRun {
 public:
  UpdateRun(Host& host, FirmwareFile& file, FirmwareImage& image, SerialPort& port,
            PortChoice& ports, Link& link, Starter& starter, StarterUpdate& starterUpdate,
            SettingsAreas& settings)
      : host_(host),
        file_(file),
        image_(image),
        port_(port),
        ports_(ports),
        link_(link),
        starter_(starter),
        starterUpdate_(starterUpdate),
        settings_(settings) {}

  // The whole run; the status log tells the person, the result tells the caller.
  Outcome QZ17universal(bool unattended);

  // Run switches set by the caller: all true for Program and the unattended run,
  // all false for Test.
  bool ComparePrograms = false;
  bool WriteFlash = false;
  bool ShowProgrammingError = false;

  // Run state; lives between runs.
  bool Unattended = false;
  bool PortOpened = false;
  bool ForceProgram = false;
  bool SameProgram = false;
  bool FileIsNewer = false;
  bool RecoverData = false;
  uint8_t FlashType = 0;
  uint8_t StarterVersion = 0;
  uint8_t StarterLanguage = 0;
  std::string PanelVersion;
  std::string PanelVersionText;
  uint8_t PanelLanguage = 0;

 private:
  // The road of one run. Every phase returns true to go on; a phase that ends the run
  // has written its status and left the outcome in end_.
  Outcome Road();

  // Opening the file and the port, connecting, identifying, the keypad greeting.
  bool OpenFileAndPort();
  bool Connecting();
  bool Identification();
  // One pass of the identification loop; returns the new failure count, or kRunEnds.
  static constexpr int kRunEnds = -1;
  int IdentifyOnce(int failures);
  // Returns the failure count the identification loop goes on with, or kRunEnds.
  int StarterChecking();
  // The panel refused or is not supported: status on the current line, the run ends.
  int EndIdentification(const std::string& status);
  bool ReadStarterHeader(uint32_t& stored, uint8_t digits[2]);
  void GreetKeypad();
  void RefreshFileVersion();

  // Which program the panel holds, whether the file may and must be written.
  bool ProgramsComparison();
  bool ProgramInPanel();
  void ReadPanelVersionRecord(uint32_t address, std::string& chars, uint8_t& language);
  bool SupportedRange();
  bool DataFormatQuestion();
  bool CompareBlocks();
  bool CompareBootCopy();
  bool AskContinue();

  // Changing the panel.
  bool Erasing();
  bool Programming();
  bool WriteProgramBlock(uint32_t flashAddress, int32_t programOffset, bool skipErased);
  bool DataRecovering();
  bool DataConversion();
  // Memory 1 for writing back: converted into area 2 where the format changes, else copied.
  bool PrepareMemory1(bool refreshSumsFirst);
  // A settings memory to or from a work area, block by block; progress (span·n+span)/blocks
  // + base.
  bool ReadMemoryInto(uint8_t memory, uint32_t blocks, uint8_t area, uint16_t areaOffset,
                      int32_t span, int32_t base);
  bool WriteMemoryFrom(uint8_t memory, uint32_t blocks, uint8_t area, uint16_t areaOffset,
                       int32_t span, int32_t base);
  bool ConversionDue() const;

  // Proving the result and ending.
  bool Verification();
  bool VerificationFailed(const std::string& status, const std::string& keypad);
  bool LocateBadByte(uint32_t block, uint32_t& address);
  Outcome Restarting();
  Outcome ComparisonEnd();

  // Status display, keypad and endings shared by the phases.
  void Add(const std::string& label);
  void Status(const std::string& text);
  void Progress(int32_t value, int32_t total = 0);
  void KeypadProgress(const std::string& label, int32_t percent, int32_t& nextStep,
                      int32_t stepSize);
  void Keypad(const std::string& lower, bool banner = false);
  bool Ask(const std::string& question);
  // Closes the current line with status and ends the run with outcome; always false.
  bool End(Outcome outcome, const std::string& status);
  bool EndQuietly(Outcome outcome);
  // Ends the run on a flash command that did not get done; true when it was.
  bool FlashResult(FlashStatus result);
  // A loop left early by Stop ends the run with status (never "  ok").
  bool EndIfStopped(const std::string& status);
  bool SettingsFailed();
  bool StoreSettings(uint8_t area, uint16_t offset, const uint8_t* block256);
  bool LoadSettings(uint8_t area, uint16_t offset, uint8_t* block256);
  bool FileBlockMatches(uint32_t offset, uint32_t panelAddress, bool& matches);
  bool FlashBlocksMatch(uint32_t a, uint32_t b, bool& matches);
  // What the panel's chip asks of the run (no chip, no rule: the run ends on an unknown one).
  bool HasBootCopyRules() const {
    const FlashChip* chip = FindFlashChip(FlashType);
    return chip != nullptr && chip->bootCopyRules;
  }
  bool ErasesSector6() const {
    const FlashChip* chip = FindFlashChip(FlashType);
    return chip != nullptr && chip->erasesSector6;
  }

  Host& host_;
  FirmwareFile& file_;
  FirmwareImage& image_;
  SerialPort& port_;
  PortChoice& ports_;
  Link& link_;
  Starter& starter_;
  StarterUpdate& starterUpdate_;
  SettingsAreas& settings_;

  Outcome end_ = Outcome::InternalError;
  // A run replaces the Starter at most once: a Starter that still checks bad after its
  // update would otherwise make the run update it again and again.
  bool starterUpdated_ = false;
};

}  // namespace tavrino
