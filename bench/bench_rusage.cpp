// SPDX-License-Identifier: GPL-2.0-or-later
// Runs one command and reports what it cost: wall time, CPU time (user and system) and
// peak memory (max RSS), from the kernel's accounting of the child rather than from
// anything the command says about itself.
//
//   bench_rusage RESULT_FILE COMMAND [ARGUMENT ...]
//
// RESULT_FILE gets "key=value" lines: exit, wall_s, user_s, sys_s, cpu_s, max_rss_kb.
// The command's own output goes where this program's goes. The exit status is the
// command's (128 + signal when a signal ended it; 127 when it could not be started).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_rusage RESULT_FILE COMMAND [ARGUMENT ...]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {
    std::fprintf(stderr, "bench_rusage: fork: %s\n", std::strerror(errno));
    return 2;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    std::fprintf(stderr, "bench_rusage: cannot run %s: %s\n", argv[2], std::strerror(errno));
    _exit(127);
  }

  int status = 0;
  rusage usage{};
  pid_t waited;
  do {
    waited = wait4(child, &status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  if (waited < 0) {
    std::fprintf(stderr, "bench_rusage: wait4: %s\n", std::strerror(errno));
    return 2;
  }

  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::fprintf(stderr, "bench_rusage: cannot write %s: %s\n", argv[1], std::strerror(errno));
    return 2;
  }
  const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const double user = Seconds(usage.ru_utime);
  const double sys = Seconds(usage.ru_stime);
  std::fprintf(out, "exit=%d\nwall_s=%.3f\nuser_s=%.3f\nsys_s=%.3f\ncpu_s=%.3f\nmax_rss_kb=%ld\n",
               exitStatus, wall.count(), user, sys, user + sys, usage.ru_maxrss);
  std::fclose(out);
  return exitStatus;
}
