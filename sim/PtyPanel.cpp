// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/PtyPanel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace tavrino::sim {
namespace {

constexpr int kIdleWaitMs = 250;

uint64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000ull + static_cast<uint64_t>(ts.tv_nsec);
}

uint32_t BitRate(speed_t speed) {
  switch (speed) {
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    default:
      return 0;
  }
}

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

PtyPanel::~PtyPanel() {
  Close();
}

bool PtyPanel::Open(const std::string& linkPath, std::string& error) {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) {
    error = Errno("posix_openpt");
    return false;
  }
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    error = Errno("cannot prepare the pseudo-terminal");
    CloseTerminal();
    return false;
  }
  slavePath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY);
  termios tio{};
  if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) {
    error = Errno("cannot open " + slavePath_);
    CloseTerminal();
    return false;
  }
  cfmakeraw(&tio);
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  tcsetattr(slave_, TCSANOW, &tio);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

  struct stat st {};
  if (lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = linkPath + " exists and is not a link; not replacing it";
      CloseTerminal();
      return false;
    }
    unlink(linkPath.c_str());  // a link left by an earlier panel
  }
  if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
    error = Errno("cannot link " + linkPath);
    CloseTerminal();
    return false;
  }
  linkPath_ = linkPath;
  startNs_ = MonotonicNs();
  return true;
}

uint64_t PtyPanel::NowUs() const {
  return (MonotonicNs() - startNs_) / 1000;
}

// The speed the tool set its side to: the slave's settings, read before every frame.
uint32_t PtyPanel::ToolSpeed() const {
  termios tio{};
  if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) return 0;
  const speed_t out = cfgetospeed(&tio);
  return BitRate(out != B0 ? out : cfgetispeed(&tio));
}

size_t PtyPanel::Receive(uint64_t nowUs) {
  uint8_t buf[1024];
  size_t total = 0;
  for (;;) {
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return total;  // EAGAIN: all taken
    total += static_cast<size_t>(n);
    panel_.SetLineBaud(ToolSpeed());
    panel_.FromTool(buf, static_cast<size_t>(n), nowUs);
    if (panel_.LineDead()) return total;
  }
}

void PtyPanel::Send(uint64_t nowUs) {
  panel_.SetLineBaud(ToolSpeed());
  const std::vector<uint8_t> due = panel_.ToTool(nowUs);
  unsent_.insert(unsent_.end(), due.begin(), due.end());
  while (!unsent_.empty()) {
    const ssize_t n = write(master_, unsent_.data(), unsent_.size());
    if (n <= 0) return;  // the terminal is full: try again when it can take more
    unsent_.erase(unsent_.begin(), unsent_.begin() + n);
  }
}

int PtyPanel::WaitMs(uint64_t nowUs) const {
  const auto next = panel_.NextByteAtUs();
  if (!next) return kIdleWaitMs;
  if (*next <= nowUs) return 0;
  const uint64_t ms = (*next - nowUs + 999) / 1000;
  return ms < kIdleWaitMs ? static_cast<int>(ms) : kIdleWaitMs;
}

void PtyPanel::Serve(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask,
                     std::FILE* transcript) {
  while (!stop) {
    if (master_ >= 0) Send(NowUs());
    if (master_ >= 0 && panel_.LineDead()) CloseTerminal();  // the tool sees the line vanish
    if (transcript) {
      const auto& entries = panel_.Transcript();
      for (; transcriptWritten_ < entries.size(); ++transcriptWritten_)
        std::fprintf(transcript, "%s\n", TranscriptLine(entries[transcriptWritten_]).c_str());
      std::fflush(transcript);
    }
    pollfd pfd{master_, static_cast<short>(POLLIN | (unsent_.empty() ? 0 : POLLOUT)), 0};
    const int waitMs = master_ < 0 ? kIdleWaitMs : WaitMs(NowUs());
    const timespec timeout{waitMs / 1000, (waitMs % 1000) * 1'000'000L};
    const int ready =
        ppoll(master_ >= 0 ? &pfd : nullptr, master_ >= 0 ? 1 : 0, &timeout, &waitMask);
    const bool woken = ready > 0 && (pfd.revents & (POLLIN | POLLHUP | POLLERR));
    if (woken && Receive(NowUs()) == 0) {
      // A hang-up or an error with nothing to read (not expected while the slave is held
      // open): sleep instead of spinning.
      const timespec pause{0, kIdleWaitMs * 1'000'000L};
      nanosleep(&pause, nullptr);
    }
  }
}

void PtyPanel::CloseTerminal() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
  unsent_.clear();
}

void PtyPanel::Close() {
  CloseTerminal();
  if (!linkPath_.empty()) {
    // Remove the link only if it still points at this panel's terminal.
    char target[256];
    const ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == slavePath_)
      unlink(linkPath_.c_str());
    linkPath_.clear();
  }
}

}  // namespace tavrino::sim
