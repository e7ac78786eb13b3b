// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the text front end asks of the console it runs in: is it a terminal, how wide,
// reading an answer byte by byte, and Ctrl+C as a request to stop. One source per platform
// (os/posix/, os/win32/); the build picks one.
#include <atomic>
#include <string>

namespace tavrino::os {

// Standard input and output as the front end uses them.
inline constexpr int kStdinFd = 0;

// Makes standard output carry our bytes as they are (UTF-8, no line-end translation) and
// lets a closed output pipe fail a write instead of ending the process.
void PrepareConsole();
bool StdinIsTerminal();
bool StdoutIsTerminal();
// Columns of the terminal on standard output; 0 when not known.
int TerminalColumns();

enum class InputRead { Byte, End, Interrupted };
// Reads one byte from fd, waiting for it. Interrupted: a stop request (Ctrl+C) came while
// waiting; the caller looks at its stop flag and may read again.
InputRead ReadInputByte(int fd, char& c);

// Ctrl+C (and SIGTERM, SIGHUP when the terminal closes, or closing the console window) set
// the stop flag, and nothing more: the running command winds down by its own rules at its
// next exchange with the panel, so that a closed terminal leaves the same record, lines and
// run report as Ctrl+C. A second one ends the process at once with 128 + the signal number
// (130 for Ctrl+C). The handler interrupts a read waiting for an answer, so a question sees
// the stop too. SIGPIPE is ignored meanwhile, so a closed output pipe cannot end an update
// half-way. A program started with SIGHUP ignored (nohup) keeps it ignored: it was asked to
// outlive its terminal.
void InstallStopSignals(std::atomic<bool>& stopFlag);
// The stop came because the terminal went away (SIGHUP; on Windows the console window was
// closed). A command it cut short then ends with kHangUpStatus, as a shell reports a
// program ended by SIGHUP.
bool ConsoleHungUp();
inline constexpr int kHangUpStatus = 129;
// Gives Ctrl+C and the rest back their default action.
void RestoreDefaultSignals();

// What to do when the system refuses this user the device ("join the group dialout").
std::string NoAccessAdvice(const std::string& device);
// How to map a port with the variable on this system's shell ("VAR=/dev/ttyUSB0 ...").
std::string MappingExample(const std::string& variable);

}  // namespace tavrino::os
