// SPDX-License-Identifier: GPL-2.0-or-later
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "cli/PortMessages.h"

namespace tavrino::cli {
namespace {

using OpenError = SerialBackend::OpenError;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(PortOpenMessage, SaysWhichDeviceWasTriedAndWhatToDo) {
  unsetenv("TAVRINO_COM2");
  struct Case {
    OpenError error;
    std::vector<std::string> parts;
  };
  const std::vector<Case> cases = {
      {OpenError::NotFound, {"COM2 (/dev/ttyS1) does not exist", "TAVRINO_COM2=/dev/ttyUSB0"}},
      {OpenError::Busy, {"COM2 (/dev/ttyS1) is in use by another program"}},
      {OpenError::NotATerminal, {"is not a serial port", "TAVRINO_COM2"}},
      {OpenError::Failed, {"COM2 (/dev/ttyS1) could not be opened."}},
  };
  for (const auto& c : cases) {
    const std::string message = PortOpenMessage(2, c.error, "/dev/ttyS1");
    for (const auto& part : c.parts) EXPECT_TRUE(Has(message, part)) << message;
  }
  setenv("TAVRINO_COM2", "/dev/ttyUSB7", 1);
  EXPECT_TRUE(Has(PortOpenMessage(2, OpenError::NotFound, "/dev/ttyUSB7"),
                  "COM2 (/dev/ttyUSB7, from TAVRINO_COM2) does not exist"));
  unsetenv("TAVRINO_COM2");
}

TEST(PortOpenMessage, NoAccessNamesTheGroupThatOwnsTheDevice) {
  // A device of the root group (or one that is gone) gets the usual serial group.
  EXPECT_TRUE(Has(PortOpenMessage(1, OpenError::NoAccess, "/nonexistent/ttyS0"),
                  "Join the group 'dialout' (sudo usermod -aG dialout $USER)"));

  const group* tty = getgrnam("tty");
  if (tty == nullptr || getuid() != 0) GTEST_SKIP() << "needs the tty group and root to chown";
  char path[] = "/tmp/tavrino-fake-tty-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fchown(fd, 0, tty->gr_gid), 0);
  close(fd);
  EXPECT_TRUE(Has(PortOpenMessage(1, OpenError::NoAccess, path), "Join the group 'tty'"));
  unlink(path);
}

}  // namespace
}  // namespace tavrino::cli
