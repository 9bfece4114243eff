#!/usr/bin/python3
"""Reads the navigators' state records out of a saved 3D project file on its own.

The objects block holds the viewers, then the four scene lists (custom objects,
objects, lights, cameras), each a record whose data is the list's own fields and
its members' records. A light or camera record's data starts with its name and
its frame's record; a navigator's is its name, then 32 bytes: master and slave
frame identities, convention, step exponent, flags, stacking order, left, top
(little-endian int32). Prints one line per navigator, naming each frame by the
member that owns it ("lights/0", "cameras/0", "none", or "unknown").
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from project_check import LIST_PREFIX, Reader  # noqa: E402

LIST_NAMES = ["custom", "objects", "lights", "cameras"]


def members(body, prefix):
    for field in prefix.split():
        if field == "name":
            body.string()
        elif field == "frame":
            body.record()
        else:
            body.int32()
    count = body.int32()
    found = [body.record() for _ in range(count)]
    if body.at != body.end:
        raise SystemExit("list record not used up")
    return found


def main(path):
    data = open(path, "rb").read()
    r = Reader(data)
    if r.take(8) != b"HALCYTE\0":
        raise SystemExit("not a project file")
    r.int32(), r.int32()
    r.string(), r.string()
    r.block(), r.block(), r.block()
    r.block()  # objects header
    o = r.block()
    for _ in range(o.int32()):
        o.record()
        o.uint32()
    lists = [members(o.record()[2], prefix) for prefix in LIST_PREFIX]

    frames = {0: "none"}
    for name, found in zip(LIST_NAMES[1:], lists[1:]):
        for index, (_, _, body) in enumerate(found):
            body.string()
            frames[body.record()[1]] = "%s/%d" % (name, index)

    for _, _, body in lists[0]:
        body.string()
        if body.end - body.at != 32:
            continue
        master, slave = struct.unpack("<II", body.take(8))
        fields = struct.unpack("<6i", body.take(24))
        print("navigator master %s slave %s convention %d step %d flags %d order %d left %d top %d" %
              ((frames.get(master, "unknown"), frames.get(slave, "unknown")) + fields))


if __name__ == "__main__":
    main(sys.argv[1])
