// SPDX-License-Identifier: GPL-2.0-or-later
// The floor under every turnaround the whole-run benchmark sees: two processes passing a
// small frame back and forth over a pseudo-terminal, the other end echoing at once with no
// work of its own. The panel writes an answer, the tool wakes and reads it and writes its
// next request, the panel wakes and reads that: the same round trip, minus the tool.
//
//   bench_pty_echo [ROUNDS]   (default 2000)
//
// Prints "key=value" lines: echo_rounds, echo_bytes, echo_median_us, echo_p99_us,
// echo_mean_us.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr size_t kFrameBytes = 10;  // about a checksum request or its answer
constexpr int kWaitMs = 1000;       // a lost byte ends the bench instead of hanging it

// The echoing end: every byte that comes goes straight back. Ends when the line closes.
[[noreturn]] void Echo(int fd) {
  uint8_t buf[256];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kWaitMs) <= 0) _exit(0);
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0 || write(fd, buf, static_cast<size_t>(n)) != n) _exit(0);
  }
}

// Reads until n bytes have come back; false when they do not.
bool ReadBack(int fd, size_t n) {
  uint8_t buf[256];
  size_t got = 0;
  while (got < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kWaitMs) <= 0) return false;
    const ssize_t r = read(fd, buf, sizeof buf);
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

double Percentile(const std::vector<double>& sorted, double p) {
  const auto rank = std::clamp<size_t>(
      static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size()))), 1, sorted.size());
  return sorted[rank - 1];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("bench_pty_echo: pseudo-terminal");
    return 2;
  }
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  termios tio{};
  if (slave < 0 || tcgetattr(slave, &tio) != 0) {
    std::perror("bench_pty_echo: the terminal's other end");
    return 2;
  }
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);

  const pid_t child = fork();
  if (child < 0) {
    std::perror("bench_pty_echo: fork");
    return 2;
  }
  if (child == 0) {
    close(master);
    Echo(slave);
  }
  close(slave);

  const uint8_t frame[kFrameBytes] = {0xFF, 0xFF, 0x01, 0x64, 0x00, 0x02, 0x00, 0x00, 0x12, 0x34};
  std::vector<double> us;
  us.reserve(static_cast<size_t>(rounds));
  bool good = true;
  for (int i = 0; good && i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    good = write(master, frame, sizeof frame) == static_cast<ssize_t>(sizeof frame) &&
           ReadBack(master, sizeof frame);
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  close(master);
  if (!good) {
    std::fprintf(stderr, "bench_pty_echo: the echo stopped coming back\n");
    return 1;
  }

  std::sort(us.begin(), us.end());
  double sum = 0;
  for (double u : us) sum += u;
  std::printf(
      "echo_rounds=%d\necho_bytes=%zu\necho_median_us=%.0f\necho_p99_us=%.0f\n"
      "echo_mean_us=%.0f\n",
      rounds, kFrameBytes, Percentile(us, 0.5), Percentile(us, 0.99), sum / rounds);
  return 0;
}
