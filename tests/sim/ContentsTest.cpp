// SPDX-License-Identifier: GPL-2.0-or-later
// What a simulated panel holds: programs with their version records, BootCopy, and the
// settings memories with their page sums and sector 6 copies, read over the line.
#include <gtest/gtest.h>

#include <string>

#include "SimTestSupport.h"

namespace tavrino::sim::test {
namespace {

std::string Text(const std::vector<uint8_t>& bytes, size_t at, size_t n) {
  return std::string(bytes.begin() + at, bytes.begin() + at + n);
}

// 16-bit sum of bytes, low byte first at sumAt: the page sum rule of both memories.
bool PageSumHolds(const std::vector<uint8_t>& memory, size_t from, size_t length, size_t sumAt) {
  uint16_t sum = 0;
  for (size_t i = from; i < from + length; ++i) sum = static_cast<uint16_t>(sum + memory[i]);
  return memory[sumAt] == (sum & 0xFF) && memory[sumAt + 1] == (sum >> 8);
}

TEST(PanelContents, SyntheticProgramCarriesItsVersionRecordInEitherForm) {
  SimulatedPanel plain;
  plain.SynthesizeProgram("1.03.05", 0);
  EXPECT_EQ(Text(plain.Flash(), 0x12000, 5), "10305");
  EXPECT_EQ(plain.Flash()[0x12005], 0);

  SimulatedPanel signed_;
  signed_.SynthesizeProgram("1.04.02", 1, true);
  EXPECT_EQ(Text(signed_.Flash(), 0x12000, 6), std::string("\0\0QZ17", 6));
  EXPECT_EQ(Text(signed_.Flash(), 0x12006, 5), "10402");
  EXPECT_EQ(signed_.Flash()[0x1200B], 1);
}

TEST(PanelContents, SyntheticProgramIsPlausibleAndRepeatable) {
  const Bytes program = SimulatedPanel::SyntheticProgram("1.04.01", 1);
  ASSERT_EQ(program.size(), 0x60000u);
  EXPECT_EQ(program, SimulatedPanel::SyntheticProgram("1.04.01", 1));
  EXPECT_NE(program, SimulatedPanel::SyntheticProgram("1.04.02", 1));
  size_t erasedPages = 0, partlyErased = 0;
  for (size_t page = 0; page < 0x5FF; ++page) {
    size_t ff = 0;
    for (size_t i = 0; i < 256; ++i) ff += program[page * 256 + i] == 0xFF;
    erasedPages += ff == 256;
    partlyErased += ff > 0 && ff < 256;
  }
  EXPECT_GE(erasedPages, 256u);    // the last 64 KiB and a few more
  EXPECT_LT(erasedPages, 0x300u);  // but mostly code
  EXPECT_EQ(partlyErased, 0u);     // code bytes are never 0xFF
  // The check trailer over the program bytes, as a packed file carries it.
  uint16_t sum = 0xB094;
  uint8_t x = 0x7A;
  for (size_t i = 0; i < 0x5FFFC; ++i) {
    sum = static_cast<uint16_t>(sum + program[i]);
    x ^= program[i];
  }
  EXPECT_EQ(program[0x5FFFC] | program[0x5FFFD] << 8, sum);
  EXPECT_EQ(program[0x5FFFE], x);
}

TEST(PanelContents, LoadedProgramsGetBootCopyAndATrailer) {
  SimulatedPanel panel;
  Bytes raw(0x5FFFC, 0x11);
  EXPECT_TRUE(panel.LoadProgram(raw));
  EXPECT_EQ(panel.Flash()[0x5FFFB], 0x11);
  EXPECT_NE(panel.Flash()[0x5FFFE], 0xFF);  // the trailer, not erased flash
  EXPECT_EQ(Bytes(panel.Flash().begin() + 0x60000, panel.Flash().begin() + 0x64000),
            Bytes(0x4000, 0x11));
  EXPECT_FALSE(panel.LoadProgram(Bytes(0x5FFFD, 0x22)));
  EXPECT_EQ(panel.Flash()[0], 0x11);
}

TEST(PanelContents, SettingsFormatsDifferRecognisablyAndCarryValidSums) {
  SimulatedPanel p103, p104;
  p103.FillSettings(103);
  p104.FillSettings(104);
  EXPECT_EQ(Text(p103.Memory1(), 0x01C0, 16), "Zone (MP) 01    ");
  EXPECT_EQ(Text(p104.Memory1(), 0x0000, 16), "Zone 01         ");
  EXPECT_EQ(Text(p104.Memory1(), 0x3C00, 16), "Schedule 1      ");
  EXPECT_EQ(Text(p104.Memory1(), 0x04D0, 16), "User   1        ");
  EXPECT_EQ(Text(p103.Memory1(), 0x7E60, 17), "2002-04-15 09:22:");
  EXPECT_NE(Text(p104.Memory1(), 0x7E60, 17), "2002-04-15 09:22:");
  for (SimulatedPanel* p : {&p103, &p104}) {
    const auto& m1 = p->Memory1();
    const auto& m2 = p->Memory2();
    for (size_t page = 0; page < 127; ++page)
      EXPECT_TRUE(PageSumHolds(m1, page * 256, page == 126 ? 0x60 : 256, 0x7F00 + 2 * page))
          << page;
    for (size_t page = 0; page < 64; ++page)
      EXPECT_TRUE(PageSumHolds(m2, page * 256, page == 63 ? 0x80 : 256, 0x3F80 + 2 * page)) << page;
    EXPECT_EQ(Bytes(p->Flash().begin() + 0x68000, p->Flash().begin() + 0x70000), m1);
    EXPECT_EQ(Bytes(p->Flash().begin() + 0x64000, p->Flash().begin() + 0x68000), m2);
  }
}

TEST(PanelContents, SettingsBlocksAreReadAndWrittenWithinEachMemory) {
  LineRig rig;
  rig.panel.FillSettings(104);
  Bytes block(256, 0x5A);
  Bytes write = Concat({0x82, 0x00, 0xBF}, block);
  EXPECT_EQ(rig.Exchange(write), EncodeAnswer(0x91, {0}));
  EXPECT_EQ(AnswerData(rig.Exchange({0x72, 0x00, 0xBF, 0xFF}), 0x92), block);
  EXPECT_EQ(AnswerData(rig.Exchange({0x71, 0x00, 0x80, 0xFF}), 0x92),
            Bytes(rig.panel.Memory1().begin(), rig.panel.Memory1().begin() + 256));
  EXPECT_EQ(AnswerData(rig.Exchange({0x71, 0x00, 0xFF, 0xFF}), 0x92).size(), 256u);
  // Memory 2 ends at 0xBFFF, memory 1 at 0xFFFF; there is no memory 3.
  for (const Bytes& request : {Bytes{0x72, 0x00, 0xC0, 0xFF}, Bytes{0x71, 0x01, 0xFF, 0xFF},
                               Bytes{0x71, 0x00, 0x7F, 0xFF}, Bytes{0x73, 0x00, 0x80, 0xFF}})
    EXPECT_EQ(rig.Exchange(request), EncodeAnswer(0x93, {0})) << HexBytes(request);
  EXPECT_EQ(rig.Exchange({0x71, 0x00, 0x80, 0x00})[1], 0x94);
}

TEST(PanelContents, KeypadShowsTheTextRequests) {
  LineRig rig;
  const std::string upper = "Tavrino v4.06   ", lower = "Programming  12%";
  Bytes both = {0x21, 0x22, 0x73, 0xFF};
  both.insert(both.end(), upper.begin(), upper.end());
  both.insert(both.end(), lower.begin(), lower.end());
  EXPECT_EQ(rig.Exchange(both), EncodeAnswer(0x91, {0}));
  EXPECT_EQ(rig.panel.KeypadUpper(), upper);
  EXPECT_EQ(rig.panel.KeypadLower(), lower);
  Bytes onlyLower = {0x21, 0x11, 0x7D};
  onlyLower.insert(onlyLower.end(), 16, 'x');
  EXPECT_EQ(rig.Exchange(onlyLower), EncodeAnswer(0x91, {0}));
  EXPECT_EQ(rig.panel.KeypadUpper(), upper);
  EXPECT_EQ(rig.Exchange({0x21, 0x02, 0x72, 0x66}), EncodeAnswer(0x91, {0}));
  EXPECT_EQ(rig.panel.KeypadUpper(), "");
  EXPECT_EQ(rig.panel.KeypadHistory(),
            (std::vector<std::string>{"banner:" + upper + "|" + lower,
                                      "lower:" + std::string(16, 'x'), "clear"}));
  EXPECT_EQ(rig.Exchange({0x21, 0x11, 0x7D, 'a'})[1], 0x94);  // too short for its kind
}

}  // namespace
}  // namespace tavrino::sim::test
