// SPDX-License-Identifier: GPL-2.0-or-later
// The answer decoder against any bytes: it must never write past the frame, and a whole
// answer must stay exactly as it was whatever comes after it.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "link/AnswerDecoder.h"

using tavrino::AnswerDecoder;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::array<uint8_t, tavrino::kAnswerFrameSize> frame{};
  AnswerDecoder decoder(frame);
  size_t taken = 0;  // bytes of the answer under way
  for (size_t i = 0; i < size; ++i) {
    const auto before = frame;
    const bool wasWhole = decoder.Whole();
    decoder.Feed(data[i]);
    if (wasWhole) {
      // Bytes after a whole answer are not taken.
      if (before != frame || !decoder.Whole()) std::abort();
      decoder.Reset();
      taken = 0;
      continue;
    }
    ++taken;
    // An answer is whole after exactly D + 4 bytes, D being 1..256.
    const size_t count = frame[0] == 0 ? 256 : frame[0];
    if (decoder.Whole() != (taken >= 2 && taken == count + 4)) std::abort();
  }
  return 0;
}
