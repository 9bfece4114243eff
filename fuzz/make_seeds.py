"""Writes a few well-formed raster layer files as the fuzzer's starting corpus."""

import os
import struct
import sys

SIZES = {1: 1, 3: 2, 7: 4, 8: 8, 9: 8, 14: 4}


def fresh(w, h, typ, preview):
    p = w * h * SIZES[typ]
    out = bytearray(b"RDPR" + struct.pack("<2i", 3, 0))
    out += struct.pack("<5i", 0, 32, 0, 1, 0)
    out += struct.pack("<3i", 0, 44, 68) + struct.pack("<6i", 24, w, h, typ, 0, 1)
    out += struct.pack("<3i", 1, 80, 0) + struct.pack("<i", p + 4)
    out += bytes((i * 37) & 0xFF for i in range(p)) + bytes(4)

    def add(tag, payload):
        last = 68
        while struct.unpack_from("<i", out, last + 8)[0]:
            last = struct.unpack_from("<i", out, last + 8)[0]
        struct.pack_into("<i", out, last + 8, len(out))
        out.extend(struct.pack("<3i", tag, len(out) + 12, 0) + payload)

    add(2, struct.pack("<i", 1064) + bytes(1060))
    if typ >= 9:
        add(3, struct.pack("<i", 1064) + bytes(1060))
    if preview:
        n = 80004 if typ >= 9 else 40004
        add(4, struct.pack("<i", n) + bytes(n - 4))
    add(300, struct.pack("<2i", 16, 1) + b"userdata")
    return bytes(out)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for typ in SIZES:
        with open(os.path.join(folder, "seed%d.rdp" % typ), "wb") as f:
            f.write(fresh(3, 2, typ, False))
    with open(os.path.join(folder, "seed_preview.rdp"), "wb") as f:
        f.write(fresh(5, 4, 1, True))


if __name__ == "__main__":
    main()
