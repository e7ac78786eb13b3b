// SPDX-License-Identifier: GPL-2.0-or-later
// The simulated panel's request decoder against any bytes off the line: every frame it
// takes is 4 to 259 payload bytes, and encoding its payload again gives its wire bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/PanelWire.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The request frame as the tool sends it, written here from the rules, not from the
// tool's code: preamble, length, the first three bytes, the rest last first, the sums,
// everything after the length stuffed.
Bytes Encode(const Bytes& payload) {
  Bytes wire{0xFF, 0xFF, static_cast<uint8_t>(payload.size() - 3)};
  Bytes body(payload.begin(), payload.begin() + 3);
  for (size_t i = payload.size(); i > 3; --i) body.push_back(payload[i - 1]);
  body.push_back(tavrino::sim::FrameSum(payload.data(), payload.size()));
  body.push_back(tavrino::sim::FrameXor(payload.data(), payload.size()));
  for (uint8_t b : body) {
    wire.push_back(b);
    if (b == 0xFF) wire.push_back(0x00);
  }
  return wire;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavrino::sim::RequestDecoder decoder;
  for (size_t i = 0; i < size; ++i) {
    const auto event = decoder.Feed(data[i]);
    if (event != tavrino::sim::RequestDecoder::Event::Frame) continue;
    const Bytes& payload = decoder.Payload();
    if (payload.size() < 4 || payload.size() > 259) std::abort();
    if (Encode(payload) != decoder.Raw()) std::abort();
  }
  return 0;
}
