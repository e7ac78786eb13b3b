// SPDX-License-Identifier: GPL-2.0-or-later
// What the phases of one run share. Each part names the one phase that sets it; a later
// phase only reads it. The recovery record is not here: it is the record keeper's own
// business, asked at the phases' boundaries.
#pragma once
#include <cstdint>
#include <string>

namespace tavrino {

// What the caller decides before the run starts; no phase changes them.
struct RunSwitches {
  // Compare the file's program with the panel's (Program, the unattended run).
  bool compare = false;
  // Write the file's program and carry the settings over (Program, the unattended run).
  bool write = false;
  // A failed verification adds "Programming error !!!" and "Try again.".
  bool showProgrammingError = false;
  // Read the settings back after writing them (the person's preference).
  bool checkSettings = false;
  // No questions and no keypad progress: the run decides as the person would say Yes.
  bool unattended = false;

  // Program and the unattended run: compare, write, and show a programming error.
  static RunSwitches Program(bool unattended, bool checkSettings) {
    return {true, true, true, checkSettings, unattended};
  }
  // Test: identify and compare the panel's program block by block, change nothing.
  static RunSwitches Test(bool checkSettings) {
    return {false, false, false, checkSettings, false};
  }
  // Backup and restore: the settings commands, which keep their own road.
  static RunSwitches Settings(bool unattended) { return {false, false, false, false, unattended}; }
};

// The panel as the run identified it.
struct PanelIdentity {
  // Set by the identification (run/Connection.cpp), again after a Starter update.
  uint8_t flashType = 0;
  uint8_t starterVersion = 0;
  uint8_t starterLanguage = 0;
  // Set by "Program in panel:" (run/Comparison.cpp), which reads the panel's version record.
  // The record as read (5 characters and the language), before any change.
  std::string versionRecord;
  // The program as it is judged: its data code ("103"), text and language. A blank panel is
  // judged as the file's version, a panel with an unfinished update as its record says.
  std::string versionCode;
  std::string versionText;
  uint8_t language = 0;
  // The program as the status line showed it ("???" for an erased one): what the run report
  // names, whatever the run then judged the panel by.
  std::string versionShown;
};

// What the comparison found, and what the later phases do because of it.
struct ProgramVerdict {
  // Set by the comparison (run/Comparison.cpp): the panel holds the file's program already
  // (nothing to write), the file's program is newer.
  bool sameProgram = false;
  bool fileIsNewer = false;
  // Set by the comparison when the person wants an older program written anyway, and by the
  // Starter update (an updated Starter needs the program written again): no more questions.
  bool forceProgram = false;
  // Set by the programming (run/Programming.cpp): sector 6 is to be written back with the
  // settings, so the settings recovery runs.
  bool recoverData = false;
};

struct RunContext {
  RunSwitches switches;
  // Set by the opening of the port (or the settings commands' own opening).
  bool portOpened = false;
  PanelIdentity panel;
  ProgramVerdict verdict;
};

}  // namespace tavrino
