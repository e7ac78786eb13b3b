// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/Console.h"

#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace tavrino::os {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

std::atomic<bool>* g_stopFlag = nullptr;
volatile sig_atomic_t g_signalsSeen = 0;
volatile sig_atomic_t g_hungUp = 0;
// Started under nohup: SIGHUP was ignored before us and stays ignored.
bool g_hangUpIgnored = false;

extern "C" void OnStopSignal(int signo) {
  if (g_signalsSeen != 0) _exit(128 + signo);
  g_signalsSeen = 1;
  if (signo == SIGHUP) g_hungUp = 1;
  if (g_stopFlag != nullptr) g_stopFlag->store(true, std::memory_order_relaxed);
}

void SetHandler(int signo, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a read waiting for an answer must see the stop
  sigaction(signo, &sa, nullptr);
}

// The group whose members may read and write the device, or empty when there is none to
// join: a device for its owner alone, or for root's group. Serial ports belong to dialout
// on Debian, which stands in when the device cannot be looked at.
std::string DeviceGroup(const std::string& device) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0) return "dialout";
  constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
  if ((st.st_mode & kGroupReadWrite) != kGroupReadWrite || st.st_gid == 0) return {};
  if (const group* g = getgrgid(st.st_gid)) return g->gr_name;
  return std::to_string(st.st_gid);
}

}  // namespace

void PrepareConsole() {
  // A reader of our output that goes away (| head) must not end an update half-written:
  // output is then lost, but the conversation with the panel runs to its end.
  std::signal(SIGPIPE, SIG_IGN);
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

bool StdoutIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

int TerminalColumns() {
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0) return 0;
  return ws.ws_col;
}

InputRead ReadInputByte(int fd, char& c) {
  const ssize_t n = read(fd, &c, 1);
  if (n == 1) return InputRead::Byte;
  if (n < 0 && errno == EINTR) return InputRead::Interrupted;
  return InputRead::End;
}

void InstallStopSignals(std::atomic<bool>& stopFlag) {
  g_stopFlag = &stopFlag;
  g_signalsSeen = 0;
  g_hungUp = 0;
  SetHandler(SIGINT, OnStopSignal);
  SetHandler(SIGTERM, OnStopSignal);
  struct sigaction before {};
  sigaction(SIGHUP, nullptr, &before);
  g_hangUpIgnored = before.sa_handler == SIG_IGN;
  if (!g_hangUpIgnored) SetHandler(SIGHUP, OnStopSignal);
  SetHandler(SIGPIPE, SIG_IGN);
}

bool ConsoleHungUp() {
  return g_hungUp != 0;
}

void RestoreDefaultSignals() {
  SetHandler(SIGINT, SIG_DFL);
  SetHandler(SIGTERM, SIG_DFL);
  SetHandler(SIGHUP, g_hangUpIgnored ? SIG_IGN : SIG_DFL);
  SetHandler(SIGPIPE, SIG_DFL);
  g_stopFlag = nullptr;
}

std::string NoAccessAdvice(const std::string& device) {
  const std::string group = DeviceGroup(device);
  if (group.empty()) {
    return "No group of users may open it: ask the computer's administrator for access (for "
           "a USB adapter, a udev rule can give it to the group dialout).";
  }
  return "Join the group '" + group + "' (sudo usermod -aG " + group +
         " $USER), then log in again.";
}

std::string MappingExample(const std::string& variable) {
  return variable + "=/dev/ttyUSB0 tavrino-cli ...";
}

}  // namespace tavrino::os
