// SPDX-License-Identifier: GPL-2.0-or-later
// The state file keeps a panel between runs and refuses a file that is not whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "SimTestSupport.h"

namespace tavrino::sim::test {
namespace {

struct TempFile {
  TempFile() {
    char name[] = "/tmp/panel-state-XXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    path = name;
  }
  ~TempFile() {
    std::remove(path.c_str());
    std::remove((path + ".tmp").c_str());
  }
  Bytes Read() const {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }
  void Write(const Bytes& bytes) const {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  }
  std::string path;
};

TEST(PanelState, SavesAndLoadsFlashMemoriesAndConfiguration) {
  PanelConfig config;
  config.flashType = 4;
  config.board24MHz = true;
  config.listenBaud = 38400;
  config.ctsDelayMs = 700;
  SimulatedPanel panel(config);
  panel.FillSettings(103);
  panel.SynthesizeProgram("1.03.05", 0, true);
  panel.InstallStarter(0x25, 0);
  panel.Memory2()[0x123] = 0x77;
  TempFile file;
  ASSERT_TRUE(panel.SaveState(file.path)) << panel.StateError();

  SimulatedPanel loaded;
  ASSERT_TRUE(loaded.LoadState(file.path)) << loaded.StateError();
  EXPECT_EQ(loaded.Flash(), panel.Flash());
  EXPECT_EQ(loaded.Memory1(), panel.Memory1());
  EXPECT_EQ(loaded.Memory2(), panel.Memory2());
  EXPECT_EQ(loaded.Config().flashType, 4);
  EXPECT_EQ(loaded.Config().starterVersion, 0x25);
  EXPECT_EQ(loaded.Config().starterLanguage, 0);
  EXPECT_TRUE(loaded.Config().board24MHz);
  EXPECT_EQ(loaded.Config().ctsDelayMs, 700u);
  EXPECT_EQ(loaded.ListenBaud(), 38400u);
}

TEST(PanelState, ADamagedFileIsRefusedAndThePanelStaysAsItWas) {
  TempFile file;
  SimulatedPanel original;
  original.SynthesizeProgram("1.04.01", 1);
  ASSERT_TRUE(original.SaveState(file.path));
  const Bytes good = file.Read();

  struct Case {
    const char* name;
    Bytes content;
  };
  Bytes flipped = good;
  flipped[good.size() / 2] ^= 0x40;
  Bytes badVersion = good;
  badVersion[8] = 9;
  const Case cases[] = {
      {"empty", {}},
      {"foreign", Bytes(good.size(), 'x')},
      {"truncated", Bytes(good.begin(), good.end() - 1)},
      {"longer", Concat(good, {0})},
      {"flipped byte", flipped},
      {"unknown format", badVersion},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    file.Write(c.content);
    SimulatedPanel panel;
    const Bytes before = panel.Flash();
    EXPECT_FALSE(panel.LoadState(file.path));
    EXPECT_NE(panel.StateError().find(file.path), std::string::npos);
    EXPECT_EQ(panel.Flash(), before);
  }
  SimulatedPanel panel;
  EXPECT_FALSE(panel.LoadState(file.path + "-missing"));
  EXPECT_FALSE(panel.SaveState("/nonexistent-dir/state"));
  EXPECT_FALSE(panel.StateError().empty());
}

}  // namespace
}  // namespace tavrino::sim::test
