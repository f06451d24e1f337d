#!/usr/bin/python3
"""Writes seeded random BC7 and BC6H blocks of every mode (the reserved ones
too) with the RGBA8888 texels Pillow decodes from them, to the file named.
Records: kind (0 BC7, 1 BC6H, 2 signed BC6H), 16 block bytes, 64 texel bytes.
Exits 77 when Pillow is missing."""
import random
import sys

try:
    from PIL import Image
except ImportError:
    sys.exit(77)

BLOCKS = 256
rng = random.Random(20240607)

# The signed BC6H modes whose later endpoints are deltas from the first, their
# headers after the mode bits: a field (red, green, blue of endpoints w, x, y,
# z) and its bits per run. Pillow does not sign-extend an endpoint made from a
# delta, so their blocks are drawn with those endpoints non-negative.
DELTA_MODES = {
    0x00: "gy4 by4 bz4 rw0-9 gw0-9 bw0-9 rx0-4 gz4 gy0-3 gx0-4 bz0 gz0-3 bx0-4 bz1 by0-3 ry0-4 bz2 rz0-4 bz3",
    0x01: "gy5 gz4 gz5 rw0-6 bz0 bz1 by4 gw0-6 by5 bz2 gy4 bw0-6 bz3 bz5 bz4 rx0-5 gy0-3 gx0-5 gz0-3 bx0-5 by0-3"
          " ry0-5 rz0-5",
    0x02: "rw0-9 gw0-9 bw0-9 rx0-4 rw10 gy0-3 gx0-3 gw10 bz0 gz0-3 bx0-3 bw10 bz1 by0-3 ry0-4 bz2 rz0-4 bz3",
    0x06: "rw0-9 gw0-9 bw0-9 rx0-3 rw10 gz4 gy0-3 gx0-4 gw10 gz0-3 bx0-3 bw10 bz1 by0-3 ry0-3 bz0 bz2 rz0-3 gy4 bz3",
    0x0A: "rw0-9 gw0-9 bw0-9 rx0-3 rw10 by4 gy0-3 gx0-3 gw10 bz0 gz0-3 bx0-4 bw10 by0-3 ry0-3 bz1 bz2 rz0-3 bz4 bz3",
    0x0E: "rw0-8 by4 gw0-8 gy4 bw0-8 bz4 rx0-4 gz4 gy0-3 gx0-4 bz0 gz0-3 bx0-4 bz1 by0-3 ry0-4 bz2 rz0-4 bz3",
    0x12: "rw0-7 gz4 by4 gw0-7 bz2 gy4 bw0-7 bz3 bz4 rx0-5 gy0-3 gx0-4 bz0 gz0-3 bx0-4 bz1 by0-3 ry0-5 rz0-5",
    0x16: "rw0-7 bz0 by4 gw0-7 gy5 gy4 bw0-7 gz5 bz4 rx0-4 gz4 gy0-3 gx0-5 gz0-3 bx0-4 bz1 by0-3 ry0-4 bz2 rz0-4 bz3",
    0x1A: "rw0-7 bz1 by4 gw0-7 by5 gy4 bw0-7 bz5 bz4 rx0-4 gz4 gy0-3 gx0-4 bz0 gz0-3 bx0-5 by0-3 ry0-4 bz2 rz0-4 bz3",
    0x07: "rw0-9 gw0-9 bw0-9 rx0-8 rw10 gx0-8 gw10 bx0-8 bw10",
    0x0B: "rw0-9 gw0-9 bw0-9 rx0-7 rw11 rw10 gx0-7 gw11 gw10 bx0-7 bw11 bw10",
}


def block(low_bits, width, fields=()):
    """Random 128 bits whose lowest width bits are low_bits, with each
    (first bit, count, value) of fields put in place."""
    bits = rng.getrandbits(128) & ~((1 << width) - 1) | low_bits
    for first, count, value in fields:
        bits = bits & ~(((1 << count) - 1) << first) | value << first
    return bits.to_bytes(16, "little")


def delta_header(code):
    """A header of a DELTA_MODES mode, and its width."""
    runs = [(r[:2], int(r[2:].split("-")[0]), int(r[2:].split("-")[-1])) for r in DELTA_MODES[code].split()]
    width = {name: max(high + 1 for n, _, high in runs if n == name) for name, _, _ in runs}
    value = {}
    for channel in "rgb":
        deltas = [name for name in width if name[0] == channel and name[1] != "w"]
        while True:
            value.update((name, rng.getrandbits(width[name])) for name in [channel + "w"] + deltas)
            made = [value[channel + "w"] + value[d] - (value[d] >> (width[d] - 1) << width[d]) for d in deltas]
            if not any(endpoint >> (width["rw"] - 1) & 1 for endpoint in made):
                break
    header, at = code, 2 if code < 2 else 5
    for name, low, high in runs:
        header |= (value[name] >> low & ((1 << (high - low + 1)) - 1)) << at
        at += high - low + 1
    return header, at


def texels(data, args):
    picture = Image.frombytes("RGBA" if args == 7 else "RGB", (4, 4), data, "bcn", args)
    return picture.convert("RGBA").tobytes()


records = []
# BC7: modes 0..7 as 1 << mode over mode + 1 bits, every partition in turn;
# mode 8 is a zero byte first.
partition_bits = [4, 6, 6, 6, 0, 0, 0, 6]
for mode in range(9):
    for i in range(BLOCKS):
        if mode == 8:
            data = block(0, 8)
        else:
            width = partition_bits[mode]
            data = block(1 << mode, mode + 1, [(mode + 1, width, i % (1 << width))])
        expected = texels(data, 7)
        if mode == 8:
            # Pillow gives opaque black for the reserved mode, Direct3D all
            # four channels zero, as we do.
            assert expected == bytes([0, 0, 0, 255]) * 16
            expected = bytes(64)
        records.append(bytes([0]) + data + expected)

# BC6H: the fourteen modes and the four reserved codes, every shape in turn
# in the modes of two regions (its 5 bits end the 82-bit header).
codes = [0x00, 0x01, 0x02, 0x06, 0x0A, 0x0E, 0x12, 0x16, 0x1A, 0x1E,
         0x03, 0x07, 0x0B, 0x0F, 0x13, 0x17, 0x1B, 0x1F]
for kind, pixel_format in ((1, "BC6H"), (2, "BC6HS")):
    for code in codes:
        for i in range(BLOCKS // 2):
            header, width = code, 2 if code < 2 else 5
            if kind == 2 and code in DELTA_MODES:
                header, width = delta_header(code)
            shape = [(77, 5, i % 32)] if code < 0x03 or (code & 3) == 2 else []
            data = block(header, width, shape)
            records.append(bytes([kind]) + data + texels(data, (6, pixel_format)))

with open(sys.argv[1], "wb") as out:
    out.write(b"".join(records))
