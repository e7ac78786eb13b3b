// SPDX-License-Identifier: GPL-2.0-or-later
// The contract every platform's serial backend keeps, as far as it can be checked without a
// device at the other end (the POSIX tests add a pseudo-terminal for the rest): what a
// name that is no port gives, the speeds, the mapping, and a closed port that still sleeps.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "serial/SystemSerial.h"
#include "support/Env.h"

namespace tavrino {
namespace {

namespace fs = std::filesystem;

TEST(SerialBackendContract, WhatIsNoPortOpensNothingAndSaysWhy) {
  const fs::path dir = fs::temp_directory_path() / "tavrino-contract";
  fs::create_directories(dir);
  const fs::path plain = dir / "plain-file";
  std::ofstream(plain) << "x";
  struct Case {
    std::string device;
    uint32_t baud;
    SerialError expected;
  };
  const Case cases[] = {
      {(dir / "missing").string(), 9600, SerialError::NotFound},
      {"", 9600, SerialError::NotFound},
      {plain.string(), 9600, SerialError::NotATerminal},
      {plain.string(), 12345, SerialError::Unsupported},
  };
  for (const auto& c : cases) {
    const auto port = MakeSystemSerialBackend();
    EXPECT_EQ(port->Open(c.device, c.baud), c.expected) << c.device << " " << c.baud;
    EXPECT_FALSE(port->IsOpen()) << c.device;
    EXPECT_EQ(port->BytesWaiting(), 0u);
    EXPECT_FALSE(port->Cts());
    EXPECT_EQ(port->LineState(), SerialError::None);
  }
  fs::remove_all(dir);
}

TEST(SerialBackendContract, AClosedPortRefusesWorkAndItsWaitsStillSleep) {
  const auto port = MakeSystemSerialBackend();
  const uint8_t bytes[] = {0x1B, 0xAA};
  EXPECT_EQ(port->Write(bytes, sizeof bytes), SerialError::Failed);
  EXPECT_EQ(port->SetSpeed(9600), SerialError::Failed);
  uint8_t b = 0;
  EXPECT_EQ(port->Read(&b, 1), 0u);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port->WaitReadable(30));
  // A sleep never ends early, however slow the machine.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(SerialBackendContract, TavrinoComNamesAnyDeviceForThePort) {
  const auto port = MakeSystemSerialBackend();
  test::UnsetEnv("TAVRINO_COM3");
  const std::string own = port->DeviceName(3);
  EXPECT_FALSE(own.empty());
  EXPECT_NE(own, port->DeviceName(2));
  test::SetEnv("TAVRINO_COM3", "adapter-7");
  EXPECT_EQ(port->DeviceName(3), "adapter-7");
  test::UnsetEnv("TAVRINO_COM3");
  EXPECT_EQ(port->DeviceName(3), own);
}

}  // namespace
}  // namespace tavrino
