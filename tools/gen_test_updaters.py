#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Writes tools/TestUpdaterData.cpp: the five Starter updater TEST images.

They are stand-ins for the panel maker's updaters, for the tests, the demo and the
simulated panel only: their banner says TEST IMAGE, and the tool refuses them unless
TAVRINO_ALLOW_TEST_UPDATERS=1. tavrino-pack --test-updaters DIR writes them as files.

Each image is 8051-like code laid out from flash address 0 and cut into segments, so that
the pieces the images share (the vectors, the updater, the Starter it installs, the keypad
texts) are kept once:

    0x0000  reset and interrupt vector jumps
    0x0034  banner naming the updater, the panel, the flash chip and the year, 0x00 up to
            the code origin 0x0080
    0x0080  updater code, its chip identification check, its flash programming routine
            a second banner naming the Starter it installs, then that Starter's code
            the keypad texts
            0xFF up to 8448 bytes (added when the image is assembled)

The code bytes are made by a small deterministic generator of plausible 8051 routines: no
panel could run them. Running this script again gives the same file byte for byte.

    python3 tools/gen_test_updaters.py > tools/TestUpdaterData.cpp
"""

import sys

IMAGE_SIZE = 8448
VECTOR_BYTES = 52
CODE_ORG = 0x0080

# Flash types with an updater image: (type, chip, manufacturer id, device id, routine, used).
# The two page-write chips share one programming routine; the three sector-erase chips
# each have their own, one byte apart in length.
CHIPS = [
    (1, "AT29C040A", 0x1F, 0xA4, "page", 6523),
    (2, "AM29F040B", 0x01, 0xA4, "am", 6908),
    (4, "W29C040", 0xDA, 0x46, "page", 6523),
    (5, "M29F040B", 0x20, 0xE2, "st", 6909),
    (6, "A29040B", 0x37, 0x86, "amic", 6910),
]

# The simulated panel knows an updater by the start of this line; the tool refuses the
# image for its TEST IMAGE mark.
UPDATER_BANNER = "\r\n\r\nTavrino Starter updater 3.1 ({chip}) TEST IMAGE, not for panels\r\n"
STARTER_BANNER = "\r\nQZ-17 Starter 3.1 eng (c) 2006 Tavrino\r\n"
KEYPAD_TEXTS = [
    "Starter update  ",
    "Do not switch   ",
    "the power off ! ",
    "Erasing...      ",
    "Programming...  ",
    "Starter 3.1 eng ",
    "Update ok       ",
    "Update error !  ",
]

UPDATER_LENGTH = 2990
STARTER_LENGTH = 2580

SFRS = [0x87, 0x88, 0x89, 0x8A, 0x8C, 0x8D, 0x98, 0x99, 0xA8, 0xB8, 0xD0, 0xE0]
BITS = [0x98, 0x99, 0x8C, 0x8E, 0xAF, 0xA9, 0xB0, 0xB1]


class Lcg:
    """A 32-bit linear congruential generator: the same seed gives the same code."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self, bound):
        self.state = (self.state * 1103515245 + 12345) & 0xFFFFFFFF
        return (self.state >> 16) % bound

    def pick(self, items):
        return items[self.next(len(items))]


def seed_of(name):
    value = 2166136261
    for ch in name.encode():
        value = ((value ^ ch) * 16777619) & 0xFFFFFFFF
    return value


def relative(rng):
    """A short relative jump distance, -60..+65, never 0."""
    distance = rng.next(0x7E) - 0x3C
    return (distance or 2) & 0xFF


def instruction(rng, origin):
    """One plausible 8051 instruction, as bytes; calls land in the first KiB from origin."""
    imm = lambda: rng.next(0xFE)
    target = origin + rng.next(0x400)
    choices = [
        lambda: [0x74, imm()],                          # MOV A,#imm
        lambda: [0x90, 0x55 + rng.next(3), imm()],      # MOV DPTR,#imm16
        lambda: [0xF0],                                 # MOVX @DPTR,A
        lambda: [0xE0],                                 # MOVX A,@DPTR
        lambda: [0xA3],                                 # INC DPTR
        lambda: [0x75, rng.pick(SFRS), imm()],          # MOV dir,#imm
        lambda: [0x12, target >> 8, target & 0xFF],     # LCALL
        lambda: [0x80, relative(rng)],                  # SJMP
        lambda: [0xB4, imm(), relative(rng)],           # CJNE A,#imm,rel
        lambda: [0xDF, relative(rng)],                  # DJNZ R7,rel
        lambda: [0xDE, relative(rng)],                  # DJNZ R6,rel
        lambda: [0x7F, imm()],                          # MOV R7,#imm
        lambda: [0x7E, imm()],                          # MOV R6,#imm
        lambda: [0xE5, rng.pick(SFRS)],                 # MOV A,dir
        lambda: [0xF5, rng.pick(SFRS)],                 # MOV dir,A
        lambda: [0x30, rng.pick(BITS), relative(rng)],  # JNB bit,rel
        lambda: [0xC2, rng.pick(BITS)],                 # CLR bit
        lambda: [0xD2, rng.pick(BITS)],                 # SETB bit
        lambda: [0x60, relative(rng)],                  # JZ rel
        lambda: [0x70, relative(rng)],                  # JNZ rel
        lambda: [0x25, 0x30 + rng.next(0x40)],          # ADD A,dir
        lambda: [0x65, 0x30 + rng.next(0x40)],          # XRL A,dir
        lambda: [0xC4],                                 # SWAP A
        lambda: [0x04],                                 # INC A
        lambda: [0x93],                                 # MOVC A,@A+DPTR
        lambda: [0xE4],                                 # CLR A
    ]
    return rng.pick(choices)()


def routines(name, origin, length, handlers=0):
    """length bytes of routines from address origin. With handlers, the first routine is
    the main loop (ending in SJMP $) and the next `handlers` are interrupt handlers (ending
    in RETI); the others end in RET. Returns the bytes and the routine entry points."""
    rng = Lcg(seed_of(name))
    code, entries = [], []
    while len(code) < length:
        entries.append(origin + len(code))
        k = len(entries) - 1
        if handlers and k == 0:
            ending = [0x80, 0xFE]
        elif k <= handlers:
            ending = [0x32]
        else:
            ending = [0x22]
        body = 12 + rng.next(40)
        start = len(code)
        while len(code) - start < body and length - len(code) > 3 + len(ending):
            code += instruction(rng, origin)
        # Too little room for another routine: NOPs up to the segment's end.
        if length - len(code) - len(ending) <= 4:
            code += [0x00] * (length - len(code) - len(ending))
        code += ending
    assert len(code) == length, (name, len(code), length)
    return code, entries


def ljmp(target):
    return [0x02, target >> 8, target & 0xFF]


def ajmp(target):
    assert target < 0x800, "AJMP reaches only the first 2 KiB page"
    return [((target >> 8) & 7) << 5 | 0x01, target & 0xFF]


def vectors(entries):
    """Reset at 0, then the six interrupt vectors of the 8051 every 8 bytes from 0x03."""
    table = [0x00] * VECTOR_BYTES
    table[0:3] = ljmp(CODE_ORG)
    jumps = [ljmp, ajmp, ljmp, ajmp, ljmp, ljmp]
    for k, jump in enumerate(jumps):
        offset = 0x03 + 8 * k
        bytes_ = jump(entries[k + 1])
        table[offset:offset + len(bytes_)] = bytes_
    return table


def chip_check(manufacturer, device):
    """Reads the chip's two identification bytes: carry clear when they match."""
    return [0xE0, 0xB4, manufacturer, 0x07,   # MOVX A,@DPTR; CJNE A,#mfr,bad
            0xA3, 0xE0, 0xB4, device, 0x02,   # INC DPTR; MOVX A,@DPTR; CJNE A,#dev,bad
            0xC3, 0x22,                       # CLR C; RET
            0xD3, 0x22]                       # bad: SETB C; RET


def text(s):
    return list(s.encode("ascii"))


def segments_and_images():
    segments = {}
    updater, entries = routines("updater", CODE_ORG, UPDATER_LENGTH, handlers=6)
    segments["kVectors"] = vectors(entries)
    segments["kUpdaterCode"] = updater
    check_at = CODE_ORG + UPDATER_LENGTH
    routine_at = check_at + len(chip_check(0, 0))
    fixed_tail = len(STARTER_BANNER) + STARTER_LENGTH + len(KEYPAD_TEXTS) * 16 + 1
    images = []
    for flash_type, chip, mfr, dev, routine, used in CHIPS:
        banner = text(UPDATER_BANNER.format(chip=chip))
        banner += [0x00] * (CODE_ORG - VECTOR_BYTES - len(banner))
        segments["kBanner" + chip] = banner
        segments["kCheck" + chip] = chip_check(mfr, dev)
        routine_name = "kFlashRoutine" + routine.capitalize()
        routine_length = used - routine_at - fixed_tail
        if routine_name not in segments:
            segments[routine_name], _ = routines("flash-" + routine, routine_at, routine_length)
        assert len(segments[routine_name]) == routine_length, chip
        images.append((flash_type, chip, used,
                       ["kVectors", "kBanner" + chip, "kUpdaterCode", "kCheck" + chip,
                        routine_name, "kStarterBanner", "kStarterCode", "kKeypadTexts"]))
    segments["kStarterBanner"] = text(STARTER_BANNER)
    # The Starter runs from its own sector: its calls stay in its own first KiB.
    segments["kStarterCode"], _ = routines("starter-3.1-eng", 0x0000, STARTER_LENGTH)
    segments["kKeypadTexts"] = text("".join(KEYPAD_TEXTS)) + [0x00]
    for _, chip, used, parts in images:
        assert sum(len(segments[p]) for p in parts) == used <= IMAGE_SIZE, chip
    return segments, images


def emit(out):
    segments, images = segments_and_images()
    out.write("// SPDX-License-Identifier: GPL-2.0-or-later\n")
    out.write("// Generated by tools/gen_test_updaters.py; edit the generator, not this file.\n")
    out.write("// The Starter updater test images, as the segments they are laid out from.\n")
    out.write('#include "tools/TestUpdaterData.h"\n\nnamespace tavrino::test_updaters {\n\n')
    out.write("namespace {\n\n// clang-format off\n")
    for name, data in segments.items():
        if name.startswith(("kBanner", "kStarterBanner", "kKeypad")):
            shown = bytes(data).rstrip(b"\0").decode("ascii")
            out.write(f"// {shown.encode('unicode_escape').decode('ascii')}".rstrip() + "\n")
        out.write(f"constexpr uint8_t {name}[{len(data)}] = {{\n")
        for i in range(0, len(data), 16):
            row = ", ".join(f"0x{b:02X}" for b in data[i:i + 16])
            out.write(f"    {row},\n")
        out.write("};\n\n")
    out.write("}  // namespace\n\n")
    out.write("const ImagePlan kImagePlans[kImageCount] = {\n")
    for flash_type, chip, used, parts in images:
        out.write(f'    {{{flash_type}, "{chip}", {used},\n')
        out.write(f"     {{{', '.join(parts[:4])},\n")
        out.write(f"      {', '.join(parts[4:])}}}}},\n")
    out.write("};\n// clang-format on\n\n}  // namespace tavrino::test_updaters\n")


if __name__ == "__main__":
    emit(sys.stdout)
