"""The ASC trace that `tarnwick -o` writes for the example log, read back by python-can.

usage: asc_peer_test.py <tarnwick> <make_examples> <examples dir> <work dir>

Regenerates the example data into the work dir (it must equal the checked-in files),
writes the trace and compares every frame python-can reads with the generator's list.
"""
import filecmp
import os
import subprocess
import sys

import can


def main():
    tarnwick, make_examples, examples, work = sys.argv[1:5]
    os.makedirs(work, exist_ok=True)
    expected_path = os.path.join(work, "frames.txt")
    subprocess.run([make_examples, work, expected_path], check=True)
    for name in ("drive.dbc", "drive.lz4"):
        assert filecmp.cmp(os.path.join(work, name), os.path.join(examples, name), shallow=False), \
            f"examples/{name} differs from the generator's output: regenerate it"

    env = dict(os.environ, HOME=work, LC_ALL="C")
    trace_path = os.path.join(work, "drive.asc")
    with open(trace_path, "wb") as trace:
        subprocess.run([tarnwick, "-o", os.path.join(work, "drive.lz4")], stdout=trace, env=env, check=True)

    expected = []
    with open(expected_path) as f:
        for line in f:
            ms, ident, ext, length, *data = line.split()
            expected.append((int(ms), int(ident, 16), ext == "1", int(length), bytes(int(b, 16) for b in data)))
    assert len(expected) > 1000, len(expected)

    with open(trace_path) as f:
        head = [f.readline() for _ in range(3)]
    assert head[0].startswith("date "), head[0]
    assert head[1] == "base hex  timestamps absolute\n", head[1]
    assert head[2] == "no internal events logged\n", head[2]

    # Every frame: python-can takes the line after the "base" line for part of the header.
    read = list(can.ASCReader(trace_path))
    assert len(read) == len(expected), (len(read), len(expected))
    base_ms, first = expected[0][0], read[0]
    for i, (msg, want) in enumerate(zip(read, expected)):
        ms, ident, ext, length, data = want
        got = (round((msg.timestamp - first.timestamp) * 1000), msg.arbitration_id, msg.is_extended_id,
               msg.dlc, bytes(msg.data))
        assert got == (ms - base_ms, ident, ext, length, data), (i, got, want)
    print(f"{len(read)} frames read back equal")


if __name__ == "__main__":
    main()
