"""Checks a bitmap file written by the 3D engine against what the test expects.

    bmp_check.py FILE.bmp EXPECTED FORMAT

EXPECTED holds int32 width, height, three int32 channel bit counts, then per
pixel (top row first) three uint16 channel values. FORMAT is the pixel format
0..6 of the bitmap. The file's headers are read with struct; its pixels are
decoded here from the raw bytes and read by ImageMagick; both must give the
expected channel values. Prints "ok" or what differs.
"""
import struct
import subprocess
import sys

FORMATS = {  # bits, compression, info bytes saved, masks
    1: (8, 0, 1064, None),
    2: (16, 0, 44, None),
    3: (16, 3, 56, (0xF800, 0x07E0, 0x001F)),
    4: (24, 0, 44, None),
    5: (32, 3, 56, (0xFF0000, 0xFF00, 0xFF)),
    6: (32, 3, 56, (0xFFE00000, 0x1FFC00, 0x3FF)),
}


def fail(text):
    print(text)
    sys.exit(1)


def shift_and_bits(mask):
    shift = (mask & -mask).bit_length() - 1
    return shift, bin(mask).count("1")


def main():
    path, expected_path, fmt = sys.argv[1], sys.argv[2], int(sys.argv[3])
    data = open(path, "rb").read()
    exp = open(expected_path, "rb").read()
    width, height, br, bg, bb = struct.unpack_from("<5i", exp, 0)
    want = struct.unpack_from("<%dH" % (3 * width * height), exp, 20)

    bits, compression, info_bytes, masks = FORMATS[fmt]
    magic, size, r1, r2, offset = struct.unpack_from("<2sIHHI", data, 0)
    if magic != b"BM" or r1 or r2:
        fail("file header %r %d %d" % (magic, r1, r2))
    if size != len(data):
        fail("file size field %d, file %d" % (size, len(data)))
    if offset != 14 + info_bytes:
        fail("pixel offset %d, expected %d" % (offset, 14 + info_bytes))
    (hsize, w, h, planes, bpp, comp, size_image, xp, yp, used, important) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    if (hsize, w, h, planes, bpp, comp) != (40, width, height, 1, bits, compression):
        fail("info header %r" % ((hsize, w, h, planes, bpp, comp),))
    row_bytes = (bits // 8 * width + 3) // 4 * 4
    if size != offset + row_bytes * height:
        fail("size %d for %d rows of %d bytes" % (size, height, row_bytes))
    if masks is not None:
        got = struct.unpack_from("<4I", data, 54)
        if got != masks + (0,):
            fail("masks %r" % (got,))
    elif fmt != 1 and struct.unpack_from("<I", data, 54)[0] != 0:
        fail("value after the header is not 0")
    palette = None
    if fmt == 1:
        palette = [struct.unpack_from("<4B", data, 54 + 4 * i) for i in range(256)]
    if fmt == 2:
        masks = (0x7C00, 0x03E0, 0x001F)

    # Our own decode of the raw rows (bottom-up).
    for y in range(height):
        row = offset + (height - 1 - y) * row_bytes
        for x in range(width):
            at = row + x * bits // 8
            if fmt == 1:
                b, g, r, _ = palette[data[at]]
                px = (r, g, b)
            elif fmt == 4:
                b, g, r = data[at:at + 3]
                px = (r, g, b)
            else:
                value = int.from_bytes(data[at:at + bits // 8], "little")
                px = tuple((value & m) >> shift_and_bits(m)[0] for m in masks)
            if px != tuple(want[3 * (y * width + x):3 * (y * width + x) + 3]):
                fail("raw pixel %d,%d is %r" % (x, y, px))

    # ImageMagick at 16 bits per channel: any scaling keeps the source value in
    # the top bits.
    out = subprocess.run(["/usr/bin/convert", path, "-depth", "16", "txt:-"], capture_output=True, text=True)
    if out.returncode != 0:
        fail("convert: " + out.stderr)
    seen = 0
    for line in out.stdout.splitlines():
        if line.startswith("#"):
            continue
        where, rest = line.split(":", 1)
        x, y = (int(v) for v in where.split(","))
        channels = [int(float(v)) for v in rest.split("(", 1)[1].split(")", 1)[0].split(",")[:3]]
        got = tuple(c >> (16 - n) for c, n in zip(channels, (br, bg, bb)))
        if got != tuple(want[3 * (y * width + x):3 * (y * width + x) + 3]):
            fail("ImageMagick pixel %d,%d is %r (%s)" % (x, y, got, line))
        seen += 1
    if seen != width * height:
        fail("ImageMagick gave %d pixels" % seen)
    print("ok")


main()
