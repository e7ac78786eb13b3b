// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/Console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

namespace tavrino::os {
namespace {

constexpr int kCtrlCStatus = 130;  // 128 + SIGINT, as a shell reports it
// Windows ends a process whose console is closed this long after the handler was called;
// the handler waits a little less for the command to wind down.
constexpr DWORD kCloseGraceMs = 4500;

std::atomic<bool>* g_stopFlag = nullptr;
std::atomic<int> g_stopsSeen{0};
std::atomic<bool> g_hungUp{false};
HANDLE g_finished = nullptr;  // set when the command has ended and the handler is removed

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (g_stopsSeen.fetch_add(1) > 0) ExitProcess(kCtrlCStatus);
  if (g_stopFlag != nullptr) g_stopFlag->store(true, std::memory_order_relaxed);
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    g_hungUp = true;
    // The process ends when this returns: give the command its next exchange to stop.
    if (g_finished != nullptr) WaitForSingleObject(g_finished, kCloseGraceMs);
  }
  return TRUE;
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

void PrepareConsole() {
  // Our bytes as they are: the log is UTF-8, and a line end is "\n" as on every system.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode) != 0)
    SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

// A console, not merely a character device: NUL is one too, and nobody answers there.
bool StdinIsTerminal() {
  return IsConsole(STD_INPUT_HANDLE);
}

bool StdoutIsTerminal() {
  return IsConsole(STD_OUTPUT_HANDLE);
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) == 0) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

InputRead ReadInputByte(int fd, char& c) {
  const int n = _read(fd, &c, 1);
  if (n == 1) return InputRead::Byte;
  if (n < 0 && errno == EINTR) return InputRead::Interrupted;
  return InputRead::End;
}

void InstallStopSignals(std::atomic<bool>& stopFlag) {
  g_stopFlag = &stopFlag;
  g_stopsSeen = 0;
  g_hungUp = false;
  if (g_finished == nullptr) g_finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_finished != nullptr) ResetEvent(g_finished);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool ConsoleHungUp() {
  return g_hungUp.load();
}

void RestoreDefaultSignals() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  g_stopFlag = nullptr;
  if (g_finished != nullptr) SetEvent(g_finished);
}

std::string NoAccessAdvice(const std::string&) {
  return "Ask the computer's administrator for access to the port.";
}

std::string MappingExample(const std::string& variable) {
  return "set " + variable + "=\\\\.\\COM7 (then run tavrino-cli again)";
}

}  // namespace tavrino::os
