#!/usr/bin/python3
"""Reads a saved 3D project file on its own and prints what its blocks hold.

The frame: magic, two int32 version numbers, class path and name (int32
length + bytes each), then the description, module and class-table blocks and
the objects-header and objects blocks, each preceded by its int32 size. An
object record is three uint32 (class id, object id, size of the data) and the
data.
"""
import struct
import sys


class Reader:
    def __init__(self, data, at=0, end=None):
        self.data = data
        self.at = at
        self.end = len(data) if end is None else end

    def take(self, n):
        if n < 0 or self.at + n > self.end:
            raise ValueError("read past the block at %d" % self.at)
        chunk = self.data[self.at:self.at + n]
        self.at += n
        return chunk

    def int32(self):
        return struct.unpack("<i", self.take(4))[0]

    def uint32(self):
        return struct.unpack("<I", self.take(4))[0]

    def string(self):
        n = self.int32()
        if n < 0 or n > 65532:
            raise ValueError("bad string length %d" % n)
        return self.take(n).decode("utf-8")

    def block(self):
        size = self.int32()
        start = self.at
        self.take(size)
        return Reader(self.data, start, start + size)

    def record(self):
        """(class id, object id, reader over the record's data)"""
        class_id, object_id, size = self.uint32(), self.uint32(), self.uint32()
        start = self.at
        self.take(size)
        return class_id, object_id, Reader(self.data, start, start + size)


# What each scene list writes before its members: custom objects only their
# name; 3D lists the name, their frame's record and int32 flags; light lists
# also int32 CastsShadows.
LIST_PREFIX = ["name", "name frame flags", "name frame flags shadows", "name frame flags"]


def list_members(body, prefix):
    """Object ids of the members in a scene list record's data."""
    for field in prefix.split():
        if field == "name":
            body.string()
        elif field == "frame":
            body.record()
        else:
            body.int32()
    count = body.int32()
    ids = [body.record()[1] for _ in range(count)]
    if body.at != body.end:
        raise SystemExit("list record not used up")
    return ids


def main(path, record_size=None):
    data = open(path, "rb").read()
    r = Reader(data)
    if r.take(8) != b"HALCYTE\0":
        raise SystemExit("not a project file")
    r.int32(), r.int32()
    r.string(), r.string()
    r.block(), r.block(), r.block()  # description, modules, class table

    h = r.block()
    mode, stop, wait0, wait1, n = (h.int32() for _ in range(5))
    folders = [h.string() for _ in range(n)]
    if h.at != h.end:
        raise SystemExit("objects header block not used up")
    print("mode %d stop %d waits %d %d" % (mode, stop, wait0, wait1))
    print("folders %r" % folders)

    o = r.block()
    if r.at != len(data):
        raise SystemExit("bytes after the objects block")
    viewers = o.int32()
    camera_ids = []
    viewer_ids = set()
    for _ in range(viewers):
        viewer_ids.add(o.record()[1])
        camera_ids.append(o.uint32())
    lists = [list_members(o.record()[2], prefix) for prefix in LIST_PREFIX]
    cameras = set(lists[3])
    every = set(id for members in lists for id in members)
    print("viewers %d cameras-linked %s" % (viewers, all(c in cameras for c in camera_ids) and len(set(camera_ids)) == viewers))
    print("lists %s" % " ".join(str(len(m)) for m in lists))
    pairs = o.int32()
    object_ids = []
    stores = []
    for _ in range(pairs):
        body = o.record()[2]
        object_ids.append(o.uint32())
        if record_size is not None:
            stores.append((object_ids[-1], depository(body, record_size)))
    if o.at != o.end:
        raise SystemExit("objects block not used up")
    # Depositories edit viewers or members of the lists, one each.
    linked = len(set(object_ids)) == pairs and set(object_ids) <= (every | viewer_ids)
    print("depositories %d objects-linked %s" % (pairs, linked))
    for object_id, (construction, current, ordinary, special, records, entries) in stores:
        print("store construction-is-object %s current %d defaults %d %d" %
              (construction == object_id, current, ordinary, special))
        print("records %s" % " ".join("%s=%s" % (name, data.hex()) for name, data in records))
        print("entries %s" % " ".join("%s:%d:%d" % (entry in viewer_ids, s, o) for entry, s, o in entries))


def depository(body, record_size):
    """A parameter store's data: construction identity, current record, the
    default ordinary and special choices, the named records of record_size
    bytes, and the 12-byte entries (drawing system identity, special and
    ordinary choice)."""
    construction = body.uint32()
    current, ordinary, special, n = (body.int32() for _ in range(4))
    if n < 0:
        raise SystemExit("negative record count")
    records = [(body.string(), body.take(record_size)) for _ in range(n)]
    m = body.int32()
    if m < 0 or 12 * m != body.end - body.at:
        raise SystemExit("entries do not fill the record")
    entries = [(body.uint32(), body.int32(), body.int32()) for _ in range(m)]
    return construction, current, ordinary, special, records, entries


if __name__ == "__main__":
    # With a record size, each depository's data is read as a parameter store.
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else None)
