// SPDX-License-Identifier: GPL-2.0-or-later
// The recovery-record reader against any bytes: it never reads past them, and a record it
// takes is written back to the very same bytes. With the first input byte odd, the input
// gets a correct checksum appended, so that the fields themselves are tried, not only the
// checksum's refusal.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "firmware/Sha256.h"
#include "state/RecoveryRecord.h"

using namespace tavrino;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool sealed = (data[0] & 1) != 0;
  std::vector<uint8_t> bytes(data + 1, data + size);
  if (sealed) {
    const Sha256::Digest sum = Sha256::Of(bytes);
    bytes.insert(bytes.end(), sum.begin(), sum.end());
  }
  state::RecoveryRecord record;
  if (state::DecodeRecord(bytes, record) == state::RecordProblem::None) {
    if (state::EncodeRecord(record) != bytes) std::abort();
  }
  return 0;
}
