// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "cli/FrameNames.h"
#include "cli/FrameWatchers.h"
#include "frontend/Clock.h"

namespace tavrino::cli {
namespace {

TEST(DescribeRequest, NamesEveryCommandOfTheStarter) {
  struct Case {
    std::vector<uint8_t> payload;
    std::string name;
  };
  std::vector<uint8_t> write = {0x65, 0x20, 0x01};
  write.resize(259, 0xAB);
  std::vector<uint8_t> dataWrite = {0x81, 0x00, 0x80};
  dataWrite.resize(259, 0x00);
  const std::vector<Case> cases = {
      {{0x62, 0xF9, 0x1F, 0x07, 0x01}, "read flash 0x071FF9, 1 byte"},
      {{0x62, 0x00, 0x01, 0x07, 0x00}, "read flash 0x070100, 256 bytes"},
      {{0x64, 0x00, 0x02, 0x00, 0x00, 0x02, 0x00}, "checksum flash 0x000200, 512 bytes"},
      {write, "write flash 0x012000, 256 bytes"},
      {{0x66, 0x05, 0x66, 0x66}, "erase sector 5"},
      {{0x61, 0x61, 0x61, 0x61}, "identify"},
      {{0x1B, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, "sync (first variant)"},
      {{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}, "sync (second variant)"},
      {{0x14, 0x55, 0xAA, 0x41}, "speed request"},
      {{0x67, 0x68, 0x69, 0x6A}, "restart"},
      {{0x21, 0x02, 0x72, 0x66}, "text: clear the keypad display"},
      {{0x71, 0x00, 0x81, 0xFF}, "data read memory 1 0x8100"},
      {dataWrite, "data write memory 1 0x8000, 256 bytes"},
      {{0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, "updater handshake"},
      {{0x33, 0x00, 0x00, 0x00}, "unknown command 0x33"},
      {{0x21, 0x11}, "text (too short)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeRequest(c.payload.data(), static_cast<uint16_t>(c.payload.size())), c.name);
  }
}

std::vector<uint8_t> TextRequest(std::vector<uint8_t> head, const std::string& texts) {
  head.insert(head.end(), texts.begin(), texts.end());
  return head;
}

TEST(DecodeKeypadRequest, TakesTheLinesOfEachKind) {
  const auto banner = TextRequest({0x21, 0x22, 0x73, 0xFF}, "Tavrino v4.06   Express mode    ");
  const auto lower = TextRequest({0x21, 0x11, 0x7D}, "Erasing      42%");
  const auto upper = TextRequest({0x21, 0x11, 0x7C}, "Error   @0x12345");

  auto t = DecodeKeypadRequest(banner.data(), static_cast<uint16_t>(banner.size()));
  ASSERT_TRUE(t && t->upper && t->lower);
  EXPECT_EQ(*t->upper, "Tavrino v4.06   ");
  EXPECT_EQ(*t->lower, "Express mode    ");
  EXPECT_TRUE(t->banner);

  t = DecodeKeypadRequest(lower.data(), static_cast<uint16_t>(lower.size()));
  ASSERT_TRUE(t && t->lower);
  EXPECT_FALSE(t->upper);
  EXPECT_EQ(*t->lower, "Erasing      42%");

  t = DecodeKeypadRequest(upper.data(), static_cast<uint16_t>(upper.size()));
  ASSERT_TRUE(t && t->upper);
  EXPECT_FALSE(t->lower);

  const uint8_t read[] = {0x62, 0, 0, 0, 1};
  EXPECT_FALSE(DecodeKeypadRequest(read, 5));
}

TEST(FrameTraceWriter, WritesTimeNameAndBytesOfEachFrame) {
  FakeClock clock(5000);
  std::ostringstream out;
  FrameTraceWriter trace(out, clock);
  const uint8_t restart[] = {0x67, 0x68, 0x69, 0x6A};
  const uint8_t wire[] = {0xFF, 0xFF, 0x01, 0x67, 0x68, 0x69, 0x6A, 0x35, 0x74};
  clock.Advance(12);
  trace.RequestSent(restart, 4, wire, 9);
  const uint8_t ack[] = {0x01, 0x91, 0x00, 0x24, 0xE9};
  clock.Advance(3);
  trace.AnswerReceived(ack, 5, true);
  clock.Advance(3000);
  trace.AnswerReceived(nullptr, 0, false);
  trace.AnswerReceived(ack, 3, false);
  trace.StaleDropped(ack, 5);

  const std::string text = out.str();
  EXPECT_NE(text.find("       12 -> restart\n"), std::string::npos) << text;
  EXPECT_NE(text.find("data 67 68 69 6A\n"), std::string::npos) << text;
  EXPECT_NE(text.find("wire FF FF 01 67 68 69 6A 35 74\n"), std::string::npos) << text;
  EXPECT_NE(text.find("       15 <- ack (0x91), 5 bytes\n"), std::string::npos) << text;
  EXPECT_NE(text.find("wire 01 91 00 24 E9\n"), std::string::npos) << text;
  EXPECT_NE(text.find("     3015 <- no answer\n"), std::string::npos) << text;
  EXPECT_NE(text.find("<- bad answer (incomplete or wrong check bytes), ack (0x91), 3 bytes"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("     3015 <- dropped, answering no request, 5 bytes\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("     3015 <- dropped, answering no request, 5 bytes\n"), std::string::npos)
      << text;
}

TEST(FrameTraceWriter, WrapsLongFramesIntoRowsOf32Bytes) {
  FakeClock clock;
  std::ostringstream out;
  FrameTraceWriter trace(out, clock);
  std::vector<uint8_t> answer(260, 0xA7);
  answer[0] = 0x00;
  answer[1] = 0x92;
  trace.AnswerReceived(answer.data(), static_cast<uint16_t>(answer.size()), true);
  const std::string text = out.str();
  // 260 bytes: 8 full rows and one of 4 bytes, every byte shown once.
  size_t shown = 0;
  for (size_t p = text.find("A7"); p != std::string::npos; p = text.find("A7", p + 2)) ++shown;
  EXPECT_EQ(shown, 258u);
  EXPECT_NE(text.find("wire 00 92 A7"), std::string::npos) << text;
  EXPECT_NE(text.find("\n" + std::string(16, ' ') + "A7 A7 A7 A7\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace tavrino::cli
