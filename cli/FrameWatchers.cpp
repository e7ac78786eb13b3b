// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/FrameWatchers.h"

#include <algorithm>
#include <cstdio>

#include "cli/FrameNames.h"
#include "frontend/Cp1250.h"

namespace tavrino::cli {
namespace {

constexpr size_t kBytesPerRow = 32;
constexpr const char* kIndent = "           ";

}  // namespace

FrameTraceWriter::FrameTraceWriter(std::ostream& out, Clock& clock)
    : out_(out), clock_(clock), startMs_(clock.NowMs()) {
  out_ << "# tavrino-cli frame trace: ms since start, -> request / <- answer, what it is;\n"
          "# then the bytes in hex: a request's payload in order and as it went on the wire,\n"
          "# an answer as it arrived (length, code, data, check bytes)\n";
  Flush();
}

void FrameTraceWriter::Flush() {
  if (failed_) return;
  out_.flush();
  if (out_) return;
  failed_ = true;
}

void FrameTraceWriter::Stamp(const char* direction) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%9u %s ", clock_.NowMs() - startMs_, direction);
  out_ << buf;
}

void FrameTraceWriter::Bytes(const char* what, const uint8_t* bytes, size_t n) {
  for (size_t row = 0; row < n || row == 0; row += kBytesPerRow) {
    out_ << kIndent << (row == 0 ? what : "    ") << ' '
         << HexBytes(bytes + row, std::min(kBytesPerRow, n - row)) << '\n';
    if (n == 0) break;
  }
}

void FrameTraceWriter::RequestSent(const uint8_t* payload, uint16_t n, const uint8_t* wire,
                                   uint16_t wireCount) {
  if (failed_) return;
  Stamp("->");
  out_ << DescribeRequest(payload, n) << '\n';
  Bytes("data", payload, n);
  Bytes("wire", wire, wireCount);
  Flush();
}

void FrameTraceWriter::AnswerReceived(const uint8_t* bytes, uint16_t count, bool ok) {
  if (failed_) return;
  Stamp("<-");
  if (count == 0) {
    out_ << "no answer\n";
  } else {
    if (ok) {
      out_ << AnswerCodeName(bytes[1]);
    } else {
      out_ << "bad answer (incomplete or wrong check bytes)";
      if (count >= 2) out_ << ", " << AnswerCodeName(bytes[1]);
    }
    out_ << ", " << count << " bytes\n";
    Bytes("wire", bytes, count);
  }
  Flush();
}

void FrameTraceWriter::StaleDropped(const uint8_t* bytes, uint16_t count) {
  if (failed_) return;
  Stamp("<-");
  out_ << "dropped, answering no request, " << count << " bytes\n";
  Bytes("wire", bytes, count);
  Flush();
}

void KeypadEcho::RequestSent(const uint8_t* payload, uint16_t n, const uint8_t*, uint16_t) {
  const auto text = DecodeKeypadRequest(payload, n);
  if (!text || (!text->upper && !text->lower)) return;  // a clear carries no text
  std::string s = "Keypad:";
  if (text->upper) s += " upper [" + Cp1250ToUtf8(*text->upper) + "]";
  if (text->lower) s += " lower [" + Cp1250ToUtf8(*text->lower) + "]";
  term_.PrintMessage(s);
}

}  // namespace tavrino::cli
