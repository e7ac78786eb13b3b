# SPDX-License-Identifier: GPL-2.0-or-later
# Shared by the scripts that run the tool end to end (sourced from the repository's root).

# A heading between the steps of a script.
say() { printf '\n== %s\n' "$*"; }

# write_sample_program FILE: the program bytes of the sample firmware file, 0x5FFFC bytes of a
# fixed pseudo-random sequence with the last 64 KiB left erased (0xFF), the same on every
# machine, so that runs and their results can be compared byte for byte.
write_sample_program() {
  LC_ALL=C awk 'BEGIN {
    s = 12345
    for (i = 0; i < 393212; i++) {
      if (i >= 327680) { printf "%c", 255; continue }
      s = (s * 69069 + 1) % 4294967296
      printf "%c", int(s / 65536) % 256
    }
  }' > "$1"
}
