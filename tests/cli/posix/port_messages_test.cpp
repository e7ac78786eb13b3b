// SPDX-License-Identifier: GPL-2.0-or-later
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "run/CommandSession.h"

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

TEST(PortOpenMessage, NoAccessNamesAGroupOnlyWhereJoiningItHelps) {
  // A device that is gone gets the usual serial group.
  EXPECT_TRUE(Has(PortOpenMessage(1, OpenError::NoAccess, "/nonexistent/ttyS0"),
                  "Join the group 'dialout' (sudo usermod -aG dialout $USER)"));

  char path[] = "/tmp/tavrino-fake-tty-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  // For its owner alone (mkstemp's 0600): no group to join, whatever group it has.
  EXPECT_TRUE(Has(PortOpenMessage(1, OpenError::NoAccess, path), "No group of users may open it"))
      << PortOpenMessage(1, OpenError::NoAccess, path);
  ASSERT_EQ(fchmod(fd, 0660), 0);
  // Open to its group: that group, unless it is root's.
  const group* tty = getgrnam("tty");
  if (getegid() == 0 && tty != nullptr) {
    ASSERT_EQ(fchown(fd, 0, tty->gr_gid), 0);
  }
  struct stat st {};
  ASSERT_EQ(fstat(fd, &st), 0);
  close(fd);
  const std::string message = PortOpenMessage(1, OpenError::NoAccess, path);
  if (st.st_gid == 0) {
    EXPECT_TRUE(Has(message, "No group of users may open it")) << message;
  } else {
    const group* own = getgrgid(st.st_gid);
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(Has(message, "Join the group '" + std::string(own->gr_name) + "'")) << message;
  }
  unlink(path);
}

}  // namespace
}  // namespace tavrino::cli
