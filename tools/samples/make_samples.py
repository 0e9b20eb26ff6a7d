#!/usr/bin/env python3
"""Writes the sample images beside this script: one ZARN image for each type
code's name tag and one DSP file, so the tool can be tried against
zarn-stb-sim without a real STB. The bodies are a fixed pseudo-random
sequence, so running this again gives the same bytes.

ZARN image: a 64-byte header (a title at 0, BodySize big-endian at 16, the
NameTag at 32 ended by 0x00), then the body.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# (file name, NameTag, body length): sizes chosen so that uploads show one,
# two and several packets of 8188 bytes.
ZARN_SAMPLES = [
    ("sample_dat.DAT", "DAT", 1000),
    ("sample_ser.ZARN", "SER", 8188 + 100),
    ("sample_app.ZARN", "APP", 20000),
    ("sample_force.ZFL", "FORCE", 5000),
    ("sample_full.ZFL", "FULL", 30000),
    ("sample_logo.LOGO", "zarnlogo.logo", 4096),
]
DSP_SAMPLE = ("sample.DSP", 5000)


def body(length, seed):
    """A linear congruential sequence: different per sample, stable over runs."""
    out = bytearray(length)
    state = seed
    for i in range(length):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = (state >> 16) & 0xFF
    return bytes(out)


def header(title, name_tag, body_size):
    block = bytearray(64)
    block[0:16] = title.encode("ascii")[:16].ljust(16, b"\0")
    block[16:20] = struct.pack(">I", body_size)
    tag = name_tag.encode("ascii")
    assert len(tag) < 32
    block[32:32 + len(tag)] = tag
    return bytes(block)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as out:
        out.write(data)
    print(f"{name}: {len(data)} bytes")


def main():
    for seed, (name, tag, length) in enumerate(ZARN_SAMPLES, start=1):
        write(name, header("ZARN SAMPLE", tag, length) + body(length, seed))
    name, length = DSP_SAMPLE
    write(name, body(length, 99))


if __name__ == "__main__":
    main()
