"""Writes the payloads of tags 301, 303, 305 and a short 300 into a folder and prints,
for each tag, the values the View Parameters dialog must show, one row a line:
<tag> TAB <value>. Headings have empty values."""
import struct
import sys

folder = sys.argv[1]
rows = []


def save(tag, payload):
    with open("%s/%d.bin" % (folder, tag), "wb") as f:
        f.write(payload)


def i16(payload, off):
    return " %d " % struct.unpack_from("<h", payload, off)[0]


# 301: length, copy flag, then four corners of latitude and longitude.
corners = [55.75, 37.5, 55.7625, 38.125, -10.0625, 37.25, 54.5, -0.001]
p = struct.pack("<ii8d", 72, 1, *corners)
save(301, p)
rows += [(301, i16(p, 0)), (301, i16(p, 4))]
for k in range(4):
    rows += [(301, ""), (301, " %f " % corners[2 * k]), (301, " %f " % corners[2 * k + 1])]

# 303: frame size and window offset.
p = struct.pack("<6i", 24, 1, 4096, 3000, -12, 77)
save(303, p)
rows += [(303, i16(p, 0)), (303, i16(p, 4))] + [(303, " %d " % v) for v in (4096, 3000, -12, 77)]

# 305: three times, three doubles, two ints, then zeros to 264 bytes.
times = [(730120, 3600.25), (730120, 3610.5), (-3, 0.125)]
p = struct.pack("<ii", 264, 1)
for day, sec in times:
    p += struct.pack("<id", day, sec)
doubles = [0.0055, 18962468.0, 0.056565]
p += struct.pack("<3d2i", *doubles, 1280, -1)
p += bytes(264 - len(p))
save(305, p)
rows += [(305, i16(p, 0)), (305, i16(p, 4))]
rows += [(305, " days: %d seconds: %f" % t) for t in times]
rows += [(305, " %f " % v) for v in doubles] + [(305, " %d " % v) for v in (1280, -1)]

# 300: the leader record cut after 900 bytes; texts of fields that end inside it.
length = 900
p = bytearray(b" " * length)
struct.pack_into("<ii", p, 0, length, 1)
texts = {748: b"   E2-SCENE-7 ", 764: "  Северный".encode("cp1251"), 796: b"1999082312000000", 828: b"DESCENDING\0junk",
         844: b"  55.7", 860: b"37.6  ", 876: b"\t190.5"}
for off, t in texts.items():
    p[off:off + len(t)] = t
save(300, bytes(p))
fields = [(748, 16), (764, 32), (796, 32), (828, 16), (844, 16), (860, 16), (876, 16), (892, 16)]
rows += [(300, i16(p, 0)), (300, i16(p, 4))]
for off, n in fields:
    if off + n > length:
        rows.append((300, ""))
        continue
    raw = bytes(p[off:off + n]).split(b"\0")[0]
    rows.append((300, raw.decode("cp1251").lstrip(" \t\r\n\v\f")))

sys.stdout.buffer.write("".join("%d\t%s\n" % r for r in rows).encode("utf-8"))
