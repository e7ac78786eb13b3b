// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include "firmware/FirmwareFile.h"
#include "frontend/Host.h"
#include "link/Link.h"
#include "link/Starter.h"
#include "link/StarterUpdate.h"
#include "run/FrontEndPortView.h"
#include "run/RunRequest.h"
#include "run/UpdateRun.h"
#include "serial/PortChoice.h"
#include "serial/SerialPort.h"
#include "settings/SettingsAreas.h"

namespace tavrino {

// All of the program's state, one object per subsystem, wired together over a serial
// backend, a clock, a front end and a status log. Only run/ and the tests see it: the front
// ends go through Core, which owns one.
struct Subsystems {
  Subsystems(SerialBackend& backend, Clock& clock, FrontEnd& ui, StatusLog& log)
      : host(clock, ui, log),
        port(backend),
        portView(ui),
        ports(port, portView),
        link(port, host),
        image(),
        file(image),
        starter(link, ports),
        starterUpdate(starter, host),
        settings(image),
        run(host, file, image, port, ports, link, starter, starterUpdate, settings) {}

  // The commands of the main window, without the window's busy/idle handling:
  // Program (unattended or not), Test and Restart. Each closes the port when it ends.
  Outcome Program(bool unattended);
  Outcome Test();
  Outcome Restart();
  // The panel's settings kept on the host (file, or a new file of backups/ when empty).
  Outcome Backup(const std::string& file, bool replace);
  // A settings backup written back into the panel.
  Outcome Restore(const std::string& file, bool unattended);
  // What a front end asks of the next command: the file, the port and its speed, the
  // updater images' folder.
  void Use(const RunRequest& request);
  // The line's state when the last command closed the port: LineGone when it went away.
  SerialError lineAtEnd = SerialError::None;
  // Whether the last command opened its port (for the run report's speed).
  bool portOpened = false;
  // Read the settings back after a run writes them: the person's preference, handed to
  // every Program and Test run.
  bool checkSettings = false;

  Host host;
  SerialPort port;
  FrontEndPortView portView;
  PortChoice ports;
  Link link;
  FirmwareImage image;
  FirmwareFile file;
  Starter starter;
  StarterUpdate starterUpdate;
  SettingsAreas settings;
  UpdateRun run;

 private:
  void EndWithPort();
  Outcome EndWithRun(Outcome outcome);
};

}  // namespace tavrino
