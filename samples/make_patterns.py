#!/usr/bin/python3
"""Writes PATTERNS.DAT for the sample payload: a few megabytes of weaving patterns in a made-up
binary form (record tables, repeated names, thread colours and some noise), so that the sample
behaves like a real payload: big enough for the progress window to be seen, compressible in
parts and not in others. Deterministic: the same bytes on every machine."""
import random
import struct
import sys

SIZE = 18 * 1024 * 1024  # packs to about 9 MB, the size of a real payload
NAMES = [b"twill", b"satin", b"plain", b"herringbone", b"basket", b"houndstooth", b"dobby", b"jacquard"]


def main(out_path: str) -> None:
    rng = random.Random(1964)
    out = bytearray(b"TARLOOM-PATTERNS\x00\x01")
    number = 0
    while len(out) < SIZE:
        number += 1
        name = rng.choice(NAMES) + b"-%05d" % number
        warp, weft = rng.randint(8, 64), rng.randint(8, 64)
        out += struct.pack("<IHH", number, warp, weft) + bytes([len(name)]) + name
        # Thread colours: a small palette, repeated with variations.
        palette = [rng.randrange(1 << 24) for _ in range(rng.randint(2, 6))]
        for _ in range(warp):
            out += struct.pack("<I", rng.choice(palette))[:3]
        # The lift plan: mostly regular rows, now and then a random one.
        row = bytes(rng.randrange(256) for _ in range(weft // 8 + 1))
        for i in range(weft):
            out += row if rng.random() < 0.8 else bytes(rng.randrange(256) for _ in range(len(row)))
        if number % 7 == 0:
            out += rng.randbytes(rng.randint(64, 512))  # embedded thumbnail: incompressible
    with open(out_path, "wb") as f:
        f.write(out[:SIZE])


if __name__ == "__main__":
    main(sys.argv[1])
