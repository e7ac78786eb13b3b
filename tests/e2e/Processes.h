// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Running the real programs for the end-to-end tests: with pipes, or on a pseudo-terminal
// as a person at a terminal would, and the simulated panel in the background.
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace tavrino::e2e {

struct Finished {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // standard output (on a pseudo-terminal: everything the terminal showed)
  std::string err;
};

using Env = std::map<std::string, std::string>;

// Runs a program with standard input empty and both outputs captured; waits at most
// limitSeconds, then kills it (and the test fails on the status).
Finished RunProgram(const std::vector<std::string>& argv, const Env& env, int limitSeconds);

// A program on a pseudo-terminal: its standard input, output and error are the terminal.
class TerminalSession {
 public:
  TerminalSession(const std::vector<std::string>& argv, const Env& env);
  ~TerminalSession();
  // Reads what the program shows until the text appears (true) or the seconds pass.
  bool WaitFor(const std::string& text, int seconds);
  void Type(const std::string& keys);
  void Signal(int signo);
  // Closes the terminal as a closed window does: the system hangs it up (SIGHUP to the
  // program), and nothing more it shows can be read.
  void HangUp();
  // Reads to the end and waits for the program; kills it after limitSeconds.
  Finished Finish(int limitSeconds);
  const std::string& Shown() const { return shown_; }

 private:
  bool ReadSome(int timeoutMs);

  pid_t pid_ = -1;
  int master_ = -1;
  // Our own hold on the terminal: with it the master never reports the end (EIO) before
  // the program's last output has been read, which Linux may otherwise do at its exit.
  int slave_ = -1;
  std::string shown_;
};

// The simulated panel on a pseudo-terminal linked at `link`, started with these options.
class Panel {
 public:
  Panel(const std::string& link, const std::vector<std::string>& options);
  ~Panel();
  bool Started() const { return started_; }
  // SIGTERM; the panel saves its state and exits. Returns its exit status.
  int Stop();

 private:
  pid_t pid_ = -1;
  bool started_ = false;
};

}  // namespace tavrino::e2e
