// SPDX-License-Identifier: GPL-2.0-or-later
// Serial devices as Linux lists them: /sys/class/tty/<name>/device for the hardware behind
// each node, its driver, the USB device above it, and the stable names udev makes under
// /dev/serial/by-id. Read from files only, so that a fixture folder can stand in for both.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>

#include "serial/PortDiscovery.h"

namespace tavrino {
namespace {

namespace fs = std::filesystem;

// How far up from a tty's device the USB device may sit (port, interface, device).
constexpr int kUsbLevelsUp = 6;

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string value;
  std::getline(in, value);
  while (!value.empty() && (value.back() == '\n' || value.back() == ' ' || value.back() == '\r'))
    value.pop_back();
  return value;
}

fs::path Resolved(const fs::path& p) {
  std::error_code ec;
  fs::path r = fs::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : r;
}

// A board UART the kernel registered but found no chip for reports type 0.
bool UartWithoutChip(const fs::path& ttyDir) {
  std::error_code ec;
  if (!fs::exists(ttyDir / "type", ec)) return false;
  return ReadAttribute(ttyDir / "type") == "0";
}

void ReadUsb(const fs::path& deviceDir, SerialDeviceInfo& info) {
  fs::path at = Resolved(deviceDir);
  std::error_code ec;
  for (int level = 0; level <= kUsbLevelsUp && !at.empty() && at != at.root_path(); ++level) {
    if (fs::exists(at / "idVendor", ec)) {
      info.usbVendor = ReadAttribute(at / "idVendor");
      info.usbProduct = ReadAttribute(at / "idProduct");
      info.usbSerial = ReadAttribute(at / "serial");
      const std::string maker = ReadAttribute(at / "manufacturer");
      const std::string product = ReadAttribute(at / "product");
      info.usbName = maker.empty() ? product : product.empty() ? maker : maker + " " + product;
      return;
    }
    at = at.parent_path();
  }
}

// The driver of the hardware: newer kernels put a generic serial port and controller
// (bus serial-base) between the tty and the driver that knows the chip.
std::string DriverOf(const fs::path& deviceDir) {
  fs::path at = Resolved(deviceDir);
  std::error_code ec;
  for (int level = 0; level <= kUsbLevelsUp && !at.empty() && at != at.root_path(); ++level) {
    if (fs::is_symlink(at / "driver", ec)) {
      const fs::path target = fs::read_symlink(at / "driver", ec);
      if (!ec && target.string().find("/serial-base/") == std::string::npos) {
        return target.filename().string();
      }
    }
    at = at.parent_path();
  }
  return {};
}

void ReadSysfs(const fs::path& ttyDir, SerialDeviceInfo& info) {
  const fs::path device = ttyDir / "device";
  info.driver = DriverOf(device);
  ReadUsb(device, info);
}

std::string StableName(const fs::path& devRoot, const fs::path& node) {
  std::error_code ec;
  const fs::path byId = devRoot / "serial" / "by-id";
  const fs::path want = Resolved(node);
  std::vector<std::string> names;
  for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_symlink(ec)) continue;
    fs::path target = fs::read_symlink(it->path(), ec);
    if (ec) continue;
    if (target.is_relative()) target = it->path().parent_path() / target;
    if (Resolved(target) == want) names.push_back(it->path().string());
  }
  if (names.empty()) return {};
  std::sort(names.begin(), names.end());
  return names.front();
}

std::string GroupOf(const struct stat& st) {
  if (const group* g = getgrgid(st.st_gid)) return g->gr_name;
  return std::to_string(st.st_gid);
}

// Exists, may be opened, and is held: found by opening without changing the line's settings
// and asking for the lock the backend keeps while it works. A lock that is free is let go at
// once. A node the system does not list as a tty (checkTerminal) is only opened when it is
// a character device, and counts only when it is a terminal, as the backend requires.
void ProbeNode(const fs::path& node, SerialDeviceInfo& info, bool checkTerminal) {
  struct stat st {};
  if (stat(node.c_str(), &st) != 0) {
    info.present = false;
    return;
  }
  // A group is worth joining only when it may read and write the device, and root's never.
  constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
  if ((st.st_mode & kGroupReadWrite) == kGroupReadWrite && st.st_gid != 0) info.group = GroupOf(st);
  if (checkTerminal && !S_ISCHR(st.st_mode)) {
    // A FIFO, a file or a folder: not opened at all (a FIFO must not be touched).
    info.serialPort = false;
    return;
  }
  info.mayOpen = access(node.c_str(), R_OK | W_OK) == 0 ? Answer::Yes : Answer::No;
  if (info.mayOpen == Answer::No) return;  // whether another program holds it is not known
  const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case EBUSY:  // opened exclusively by another program
        info.held = Answer::Yes;
        break;
      case ENXIO:
      case ENODEV:
      case EIO:
      case ENOENT:
        info.present = false;
        break;
      case EACCES:
      case EPERM:
        info.mayOpen = Answer::No;
        break;
      default:
        break;
    }
    return;
  }
  if (checkTerminal && isatty(fd) != 1) {
    info.serialPort = false;  // /dev/zero, /dev/null and the like
    ::close(fd);
    return;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    info.held = Answer::No;
    flock(fd, LOCK_UN);
  } else if (errno == EWOULDBLOCK) {
    info.held = Answer::Yes;
  }
  ::close(fd);
}

SerialDeviceInfo Describe(const fs::path& ttyDir, const fs::path& node, const fs::path& devRoot) {
  SerialDeviceInfo info;
  info.device = node.string();
  info.present = !UartWithoutChip(ttyDir);
  ReadSysfs(ttyDir, info);
  info.stableName = StableName(devRoot, node);
  if (info.present) ProbeNode(node, info, false);
  return info;
}

}  // namespace

std::vector<SerialDeviceInfo> DiscoverSerialDevices(const DiscoveryRoots& roots) {
  std::vector<SerialDeviceInfo> found;
  std::error_code ec;
  const fs::path classDir = roots.sys / "class" / "tty";
  for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code own;
    // Virtual terminals, consoles and pseudo-terminals have no hardware behind them.
    if (!fs::exists(it->path() / "device", own)) continue;
    const fs::path node = roots.dev / it->path().filename();
    SerialDeviceInfo info = Describe(it->path(), node, roots.dev);
    if (!info.present) continue;
    found.push_back(std::move(info));
  }
  std::sort(found.begin(), found.end(), [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) {
    return a.device < b.device;
  });
  return found;
}

SerialDeviceInfo ProbeSerialDevice(const std::string& device, const DiscoveryRoots& roots) {
  const fs::path node = Resolved(device);
  std::error_code ec;
  const fs::path ttyDir = roots.sys / "class" / "tty" / node.filename();
  if (node.parent_path() == Resolved(roots.dev) && fs::exists(ttyDir / "device", ec)) {
    SerialDeviceInfo info = Describe(ttyDir, node, roots.dev);
    info.device = device;
    return info;
  }
  SerialDeviceInfo info;
  info.device = device;
  info.present = true;
  info.stableName = StableName(roots.dev, node);
  ProbeNode(node, info, true);
  return info;
}

}  // namespace tavrino
