"""Seeds for fuzz_ceos: each a first byte (0 the data file, 1 the leader alone), a
2-byte little-endian data file length, the data file
(a product of tests/convert/ceos_world.py, cut short after a few records except for
RADARSAT, whose records lie past a 16252-byte header) and the product's leader.

  make_ceos_seeds.py DIR
"""
import os
import struct
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "convert"))
import ceos_world  # noqa: E402
import numpy as np  # noqa: E402


def main(out):
    os.makedirs(out, exist_ok=True)
    rng = np.random.default_rng(7)
    with tempfile.TemporaryDirectory() as tmp:
        for mission in ceos_world.MISSIONS:
            path = os.path.join(tmp, mission)
            header, prefix, reclen = ceos_world.data_file(mission, path, rng)
            data = open(path, "rb").read()
            if mission != "radarsat":
                data = data[:header + 4 * reclen]
            lea = ceos_world.leader(mission)
            with open(os.path.join(out, "seed_" + mission), "wb") as f:
                f.write(struct.pack("<BH", 0, len(data)) + data + lea)
            # The descriptor with the leader's first records.
            with open(os.path.join(out, "seed_%s_short" % mission), "wb") as f:
                f.write(struct.pack("<BH", 0, 720) + data[:720] + lea[:720 + 1900])
            # The leader alone.
            with open(os.path.join(out, "seed_%s_leader" % mission), "wb") as f:
                f.write(struct.pack("<BH", 1, 0) + lea)


if __name__ == "__main__":
    main(sys.argv[1])
