// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Which serial devices this machine has, which COMn each one is, and whether it can be used
// now: the answer to "which one is COM1?" that a technician needs before an update.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "serial/SerialBackend.h"

namespace tavrino {

class SerialPort;

enum class Answer { No, Yes, Unknown };

// What the system tells about one serial device.
struct SerialDeviceInfo {
  std::string device;                // "/dev/ttyUSB0"
  std::string stableName;            // "/dev/serial/by-id/usb-FTDI_..."; empty when there is none
  std::string driver;                // "ftdi_sio", "cdc_acm", "serial8250"; empty when unknown
  std::string usbVendor;             // "0403"; empty for a device that is not on USB
  std::string usbProduct;            // "6001"
  std::string usbSerial;             // the adapter's own serial number, when it has one
  std::string usbName;               // maker and product as the adapter names itself
  std::string group;                 // the group whose members may open it ("dialout"); empty
                                     // when none but root's may, or when not known
  bool present = false;              // the node exists and has hardware behind it
  Answer mayOpen = Answer::Unknown;  // this user may read and write it
  Answer held = Answer::Unknown;     // another program holds it (has the port locked)
  // A terminal device, as the serial backend takes it; false for a name that leads to
  // something else (/dev/zero, a FIFO, a file), which no --port or COMn can use.
  bool serialPort = true;
  bool IsUsb() const { return !usbVendor.empty(); }
};

// Where the system's device tree and device nodes are; tests point these at a small fixture.
struct DiscoveryRoots {
  std::filesystem::path sys = "/sys";
  std::filesystem::path dev = "/dev";
};

// Every serial device the system has, sorted by device name. Serial ports of the board that
// have no chip behind them (a ttyS node of a machine without the port) are left out.
std::vector<SerialDeviceInfo> DiscoverSerialDevices(const DiscoveryRoots& roots = {});

// The same facts for one device named by path: the device a COMn opens, which may be a
// pseudo-terminal, a link, or missing. Tells whether another program holds it by trying,
// without changing anything, the same exclusive lock the serial backend takes.
SerialDeviceInfo ProbeSerialDevice(const std::string& device, const DiscoveryRoots& roots = {});

// One row of the ports table: a device and the COMn that opens it (0 for none).
struct PortRow {
  uint16_t com = 0;
  SerialDeviceInfo info;
};

// Every discovered device with the COMn that opens it, plus every COM1..COM4 whose device
// was not among them (missing, or a device the system does not list, such as a
// pseudo-terminal), in the order COM1..COM4 first, then the devices of no port.
std::vector<PortRow> PortTable(const SerialPort& port, const DiscoveryRoots& roots = {});

// A USB serial adapter that is present and that no COMn opens, offered for an unmapped
// COMn that cannot be opened (com 0 and an empty device when there is nothing to offer).
struct AdapterOffer {
  uint16_t com = 0;
  std::string device;
  std::string name;  // how to show it: the stable name's last part, else the device
};
AdapterOffer OfferAdapter(const SerialPort& port, const std::array<bool, 4>& available,
                          const DiscoveryRoots& roots = {});

// Why a port cannot be used, in a few words: "missing", "not a serial port", "busy: held by
// another program", "no permission: join the group dialout" (or, with no group to join, "no
// permission: ask an administrator"), ... Empty when it opened.
std::string UnavailableReason(SerialBackend::OpenError error, const std::string& group);
// The same for a probed device; empty when it can be used (or nothing speaks against it).
std::string UnavailableReason(const SerialDeviceInfo& info);

// Same file or device: the paths compared once their links are resolved.
bool SameDevice(const std::string& a, const std::string& b);

}  // namespace tavrino
