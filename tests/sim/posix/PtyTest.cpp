// SPDX-License-Identifier: GPL-2.0-or-later
// tavrino-panel on a pseudo-terminal: the real executable, talked to through its link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "sim/SimTestSupport.h"

namespace tavrino::sim::test {
namespace {

// Generous limits: they bound a broken run, they do not measure speed.
constexpr int kWaitMs = 10000;

class PanelProcess {
 public:
  // Starts tavrino-panel with the arguments; stdout and stderr come back through pipes.
  explicit PanelProcess(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      std::vector<char*> argv{const_cast<char*>(TAVRINO_PANEL_BIN)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~PanelProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }

  std::string ReadLine() {
    std::string line;
    char c;
    while (Readable(out_, kWaitMs) && read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  // Sends the signal (if any) and waits for the exit status; -1 when it does not end.
  int Wait(int signal = 0) {
    if (signal) kill(pid_, signal);
    for (int waited = 0; waited < kWaitMs; waited += 10) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(10000);
    }
    return -1;
  }
  std::string Errors() {
    std::string text;
    char buf[256];
    ssize_t n;
    while (Readable(err_, 0) && (n = read(err_, buf, sizeof buf)) > 0) text.append(buf, size_t(n));
    return text;
  }
  static bool Readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  bool exited_ = false;
};

// The tool's side: the link opened raw at a speed.
int OpenLine(const std::string& path, speed_t speed) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

Bytes Ask(int fd, const Bytes& payload, size_t answerSize) {
  const Bytes wire = Request(payload);
  EXPECT_EQ(write(fd, wire.data(), wire.size()), ssize_t(wire.size()));
  Bytes got;
  uint8_t buf[512];
  while (got.size() < answerSize && PanelProcess::Readable(fd, kWaitMs)) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

struct TempDir {
  TempDir() {
    char name[] = "/tmp/panel-pty-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string path;
};

TEST(PanelPty, AnswersASyncAtItsSpeedAndKeepsItsStateBetweenRuns) {
  TempDir dir;
  const std::string link = dir.path + "/panel", state = dir.path + "/state",
                    transcript = dir.path + "/transcript";
  {
    PanelProcess panel({"--link", link, "--state", state, "--transcript", transcript});
    ASSERT_EQ(panel.ReadLine(), link);
    const int fd = OpenLine(link, B9600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Ask(fd, kSync2, 5), (Bytes{0x01, 0x92, 0x00, 0x25, 0xEA}));
    EXPECT_EQ(Ask(fd, Erase(1), 5), EncodeAnswer(0x91, {0}));
    EXPECT_EQ(Ask(fd, WritePage(0x10000, Bytes(256, 0x3C)), 5), EncodeAnswer(0x92, {0}));
    close(fd);
    EXPECT_EQ(panel.Wait(SIGTERM), 0) << panel.Errors();
  }
  struct stat st {};
  EXPECT_NE(lstat(link.c_str(), &st), 0);  // the link is gone
  std::ifstream lines(transcript);
  std::string first;
  std::getline(lines, first);
  EXPECT_EQ(first.substr(first.find('\t', first.find('\t') + 1)),
            "\treq\tFF FF 04 0D FF 00 EE AA BB CC DD 9B 64\tSync2");

  PanelProcess again({"--link", link, "--state", state});
  ASSERT_EQ(again.ReadLine(), link);
  const int fd = OpenLine(link, B9600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Ask(fd, ReadFlash(0x100FF, 1), 5), EncodeAnswer(0x92, {0x3C}));
  close(fd);
  EXPECT_EQ(again.Wait(SIGINT), 0);
}

TEST(PanelPty, BadOptionsAndDamagedStateEndWithAMessage) {
  TempDir dir;
  PanelProcess bad({"--link", dir.path + "/panel", "--board", "16"});
  EXPECT_EQ(bad.Wait(), 2);
  EXPECT_NE(bad.Errors().find("--board"), std::string::npos);

  const std::string state = dir.path + "/state";
  std::ofstream(state) << "not a panel";
  PanelProcess damaged({"--link", dir.path + "/panel", "--state", state});
  EXPECT_EQ(damaged.Wait(), 1);
  EXPECT_NE(damaged.Errors().find("state"), std::string::npos);

  // A file that is not a link is never replaced.
  const std::string occupied = dir.path + "/occupied";
  std::ofstream(occupied) << "keep me";
  PanelProcess refused({"--link", occupied});
  EXPECT_EQ(refused.Wait(), 1);
  std::ifstream kept(occupied);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "keep me");
}

}  // namespace
}  // namespace tavrino::sim::test
