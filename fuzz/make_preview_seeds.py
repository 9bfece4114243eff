"""Writes raster layer files with previews and palettes for the file dialog's preview target."""

import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_seeds import fresh  # noqa: E402


def add_tag(data, tag, payload):
    out = bytearray(data)
    last = 68
    while struct.unpack_from("<i", out, last + 8)[0]:
        last = struct.unpack_from("<i", out, last + 8)[0]
    struct.pack_into("<i", out, last + 8, len(out))
    out.extend(struct.pack("<3i", tag, len(out) + 12, 0) + payload)
    return bytes(out)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    palette = struct.pack("<2i", 776, 1) + bytes((i * 3 + c) & 0xFF for i in range(256) for c in range(3))
    seeds = {
        "amplitude.rdp": fresh(5, 4, 1, True),
        "amplitude_palette.rdp": add_tag(fresh(5, 4, 1, True), 201, palette),
        "complex_palette.rdp": add_tag(fresh(3, 2, 9, True), 201, palette),
        "short_palette.rdp": add_tag(fresh(5, 4, 1, True), 201, palette[:100]),
        "no_preview.rdp": add_tag(fresh(3, 2, 8, False), 201, palette),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
