// SPDX-License-Identifier: GPL-2.0-or-later
#include "Processes.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tavrino::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The environment of this process with the given variables set.
std::vector<std::string> Environment(const Env& env) {
  std::vector<std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string var = *e;
    if (env.count(var.substr(0, var.find('='))) == 0) vars.push_back(var);
  }
  for (const auto& [name, value] : env) vars.push_back(name + "=" + value);
  return vars;
}

// Runs in the child after fork: replaces it with the program.
[[noreturn]] void Exec(const std::vector<std::string>& argv, const std::vector<std::string>& vars) {
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const auto& v : vars) envp.push_back(const_cast<char*>(v.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);
  execve(args[0], args.data(), envp.data());
  _exit(127);
}

int Status(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

// Waits for the child; kills it when the seconds pass. Sleeps between looks.
int WaitForExit(pid_t pid, int limitSeconds) {
  const auto end = Clock::now() + std::chrono::seconds(limitSeconds);
  for (;;) {
    int raw = 0;
    const pid_t r = waitpid(pid, &raw, WNOHANG);
    if (r == pid) return Status(raw);
    if (r < 0) return -1;
    if (Clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &raw, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string TempFile(const char* stem) {
  std::string path = std::string("/tmp/tavrino-e2e-") + stem + "-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd >= 0) close(fd);
  return path;
}

}  // namespace

Finished RunProgram(const std::vector<std::string>& argv, const Env& env, int limitSeconds) {
  const std::string outPath = TempFile("out");
  const std::string errPath = TempFile("err");
  const auto vars = Environment(env);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_TRUNC);
    const int err = open(errPath.c_str(), O_WRONLY | O_TRUNC);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    Exec(argv, vars);
  }
  Finished f;
  f.status = pid > 0 ? WaitForExit(pid, limitSeconds) : -1;
  f.out = Slurp(outPath);
  f.err = Slurp(errPath);
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  return f;
}

TerminalSession::TerminalSession(const std::vector<std::string>& argv, const Env& env) {
  const auto vars = Environment(env);
  pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
  if (pid_ == 0) {
    // As a terminal starts it, even when the tests run under nohup.
    signal(SIGHUP, SIG_DFL);
    Exec(argv, vars);
  }
  if (pid_ > 0) slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

TerminalSession::~TerminalSession() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

bool TerminalSession::ReadSome(int timeoutMs) {
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return true;  // nothing yet; the terminal is still there
  char buf[4096];
  const ssize_t n = read(master_, buf, sizeof buf);
  if (n > 0) {
    shown_.append(buf, static_cast<size_t>(n));
    return true;
  }
  if (n < 0 && errno == EINTR) return true;
  return false;  // the program has closed the terminal (EIO)
}

bool TerminalSession::WaitFor(const std::string& text, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (shown_.find(text) == std::string::npos) {
    if (Clock::now() > end) return false;
    if (!ReadSome(100)) return shown_.find(text) != std::string::npos;
  }
  return true;
}

void TerminalSession::Type(const std::string& keys) {
  (void)!write(master_, keys.data(), keys.size());
}

void TerminalSession::Signal(int signo) {
  kill(pid_, signo);
}

void TerminalSession::HangUp() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}

Finished TerminalSession::Finish(int limitSeconds) {
  if (master_ < 0) {
    Finished f;
    f.status = WaitForExit(pid_, limitSeconds);
    pid_ = -1;
    f.out = shown_;
    return f;
  }
  const auto end = Clock::now() + std::chrono::seconds(limitSeconds);
  int raw = 0;
  bool exited = false;
  while (Clock::now() < end) {
    if (!exited && waitpid(pid_, &raw, WNOHANG) == pid_) exited = true;
    const size_t before = shown_.size();
    if (!ReadSome(exited ? 200 : 100)) break;
    // Gone, and nothing more came for a while: its last output has been read.
    if (exited && shown_.size() == before) break;
  }
  Finished f;
  f.status = exited ? Status(raw) : WaitForExit(pid_, 5);
  pid_ = -1;
  f.out = shown_;
  return f;
}

Panel::Panel(const std::string& link, const std::vector<std::string>& options) {
  std::vector<std::string> argv = {TAVRINO_PANEL_PATH, "--link", link};
  argv.insert(argv.end(), options.begin(), options.end());
  const auto vars = Environment({});
  pid_ = fork();
  if (pid_ == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    Exec(argv, vars);
  }
  const auto end = Clock::now() + std::chrono::seconds(10);
  struct stat st {};
  while (Clock::now() < end && pid_ > 0) {
    if (lstat(link.c_str(), &st) == 0) {
      started_ = true;
      break;
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

Panel::~Panel() {
  if (pid_ > 0) Stop();
}

int Panel::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  const int status = WaitForExit(pid_, 20);
  pid_ = -1;
  return status;
}

}  // namespace tavrino::e2e
