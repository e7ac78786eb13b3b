#pragma once
#include <cstdint>
#include <string>

#include "firmware/FirmwareFile.h"
#include "frontend/Host.h"
#include "frontend/Outcome.h"
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
      : host_(host), file_(file), image_(image), port_(port), ports_(ports), link_(link),
        starter_(starter), starterUpdate_(starterUpdate), settings_(settings) {}

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
  Host& host_;
  FirmwareFile& file_;
  FirmwareImage& image_;
  SerialPort& port_;
  PortChoice& ports_;
  Link& link_;
  Starter& starter_;
  StarterUpdate& starterUpdate_;
  SettingsAreas& settings_;
};

}  // namespace tavrino
