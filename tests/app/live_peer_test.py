"""`tarnwick -o -n 127.0.0.1 -p PORT [-y KEY]` against a logger written here from the wire
format alone (LZ4 blocks of frame records; AES-128-CBC chained over the connection with
an HMAC-SHA1 per sealed block), with Debian's python3-lz4 and python3-cryptography.

usage: live_peer_test.py <tarnwick> <work dir>
       live_peer_test.py --serve <port> [<key>]

Each case serves one connection on an ephemeral loopback port, answers each command byte
with the next prepared reply, and compares the ASC lines tarnwick prints (interface,
identifier, length, data, and time differences) with the frames it sent.

With --serve it is a logger to try the live connection with: on 127.0.0.1:<port>, one
connection after another, it sends a simulated engine in real time (EngineData.EngineSpeed
of examples/drive.dbc, a frame every 10 ms), sealed with <key> when one is given.
"""
import hashlib
import hmac
import math
import os
import random
import socket
import struct
import subprocess
import sys
import threading
import time

import lz4.block
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

MAGIC_V1 = 0x2018124C
EXTENDED = 0x80000000


def record(frame):
    ts, word, data, iface = frame
    return struct.pack("<IIB8sB", ts & 0xFFFFFFFF, word, len(data), bytes(data).ljust(8, b"\0"), iface)


def block(frames):
    raw = b"".join(record(f) for f in frames)
    assert len(raw) <= 18000
    packed = lz4.block.compress(raw, store_size=False)
    return struct.pack("<II", MAGIC_V1, len(packed)) + packed


def make_frames(rng, count, start_ts):
    frames, ts = [], start_ts
    for _ in range(count):
        ts += rng.randint(0, 40)
        if rng.random() < 0.5:
            word = rng.randint(0, 0x1FFFFFFF) | EXTENDED
        else:
            word = rng.randint(0, 0x7FF)
        data = bytes(rng.randint(0, 255) for _ in range(rng.randint(0, 8)))
        frames.append((ts, word, data, rng.randint(0, 3)))
    return frames


class Sealer:
    """The logger's side of sealed mode: one CBC chain per connection."""

    def __init__(self, passphrase):
        self.iv = os.urandom(16)
        self.key = hashlib.sha1(self.iv + bytes(16) + passphrase.encode()).digest()[:16]
        self.encryptor = Cipher(algorithms.AES(self.key), modes.CBC(self.iv)).encryptor()
        self.first = True

    def seal(self, plain):
        assert len(plain) % 16 == 0
        cipher = self.encryptor.update(plain)
        reply = (self.iv if self.first else b"") + struct.pack("<i", len(cipher)) + cipher
        self.first = False
        return reply + hmac.new(self.key, cipher, hashlib.sha1).digest()


class Peer:
    """Serves one connection: for each reply, one command byte in, the reply out; then
    `tail` is sent and the connection closed when the next command byte arrives (with a
    reset instead of an orderly close when `reset`)."""

    def __init__(self, replies, command, tail=b"", reset=False):
        self.replies, self.command, self.tail, self.reset = replies, command, tail, reset
        self.commands = []
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.port = self.server.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        conn, _ = self.server.accept()
        try:
            for reply in self.replies:
                got = conn.recv(1)
                self.commands.append(got)
                if got != bytes([self.command]):
                    return
                conn.sendall(reply)
            self.commands.append(conn.recv(1))
            conn.sendall(self.tail)
            if self.reset:
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except ConnectionError:
            pass  # a client that gave up on a bad reply closes with bytes unread
        finally:
            conn.close()
            self.server.close()


def run_tarnwick(tarnwick, work, peer, key=None, host="127.0.0.1"):
    port = peer.port if peer else closed_port()
    args = [tarnwick, "-o", "-n", host, "-p", str(port)] + (["-y", key] if key else [])
    env = dict(os.environ, HOME=work, LC_ALL="C")
    done = subprocess.run(args, capture_output=True, text=True, env=env, timeout=30)
    if peer:
        peer.thread.join(5)
    return done


def closed_port():
    """A loopback port that nothing listens on."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def asc_frames(text):
    """(ms since the first line, interface, identifier word, data) of each ASC line."""
    lines = text.splitlines()
    if not lines:
        return []
    assert lines[0].startswith("date "), lines[0]
    assert lines[1] == "base hex  timestamps absolute", lines[1]
    assert lines[2] == "no internal events logged", lines[2]
    frames = []
    for line in lines[3:]:
        seconds, channel, ident, rx, d, length, *data = line.split()
        assert (rx, d) == ("Rx", "d"), line
        sec, frac = seconds.split(".")
        ms = int(sec) * 1000 + int(frac) // 10
        word = int(ident.rstrip("x"), 16) | (EXTENDED if ident.endswith("x") else 0)
        assert int(length) == len(data), line
        frames.append((ms, int(channel) - 1, word, bytes(int(b, 16) for b in data)))
    base = frames[0][0] if frames else 0
    return [(ms - base, iface, word, data) for ms, iface, word, data in frames]


def expected(frames):
    t0 = frames[0][0]
    return [(ts - t0, iface, word, bytes(data)) for ts, word, data, iface in frames]


def check(name, cond, detail=""):
    if not cond:
        raise AssertionError(f"{name}: {detail}")


def case_plain(tarnwick, work, rng):
    frames = make_frames(rng, 1301, 5000)
    blocks = [block(frames[:300]), block(frames[300:1300]), block(frames[1300:])]
    peer = Peer(blocks, 0)
    done = run_tarnwick(tarnwick, work, peer)
    check("plain exit", done.returncode == 0, done.stderr)
    check("plain frames", asc_frames(done.stdout) == expected(frames))
    check("plain end", "Stream ended" in done.stderr, done.stderr)
    check("plain commands", peer.commands == [b"\0"] * 4, peer.commands)


def sealed_stream(rng):
    """Frames and their block stream, grown by a last block until the stream is a
    multiple of 16 bytes long (sealed blocks carry whole AES blocks only)."""
    frames = make_frames(rng, 1500, 100)
    blocks = [block(frames[:700]), block(frames[700:1400]), block(frames[1400:])]
    while True:
        extra = make_frames(rng, rng.randint(1, 20), frames[-1][0])
        stream = b"".join(blocks) + block(extra)
        if len(stream) % 16 == 0:
            return frames + extra, stream, [len(b) for b in blocks]


def case_sealed(tarnwick, work, rng):
    frames, stream, sizes = sealed_stream(rng)
    sealer = Sealer("secret")
    # Cuts inside the first and the third block: both straddle two sealed blocks; an
    # empty sealed block in between adds nothing.
    cut1 = (sizes[0] // 2) & ~15
    cut2 = (sizes[0] + sizes[1] + sizes[2] // 3) & ~15
    pieces = [stream[:cut1], stream[cut1:cut2], b"", stream[cut2:]]
    replies = [sealer.seal(p) for p in pieces]
    peer = Peer(replies, 1)
    done = run_tarnwick(tarnwick, work, peer, key="secret")
    check("sealed exit", done.returncode == 0, done.stderr)
    check("sealed frames", asc_frames(done.stdout) == expected(frames))
    check("sealed end", "Stream ended" in done.stderr, done.stderr)
    check("sealed commands", peer.commands == [b"\1"] * 5, peer.commands)


def case_wrong_key(tarnwick, work, rng):
    _, stream, _ = sealed_stream(rng)
    peer = Peer([Sealer("secret").seal(stream)], 1)
    done = run_tarnwick(tarnwick, work, peer, key="not the secret")
    check("wrong key exit", done.returncode == 2, done.stderr)
    check("wrong key frames", done.stdout == "", done.stdout[:200])
    check("wrong key warning",
          "Message could not be authenticated, wrong key or data corrupted" in done.stderr, done.stderr)
    check("wrong key hint", "Check that logger is set up for encrypted data" in done.stderr, done.stderr)


def case_failed_streams(tarnwick, work, rng):
    """Streams that end on an error, or before their first block, print what came before
    and exit with 2; a peer that cannot be reached prints nothing and exits with 2 as well."""
    frames = make_frames(rng, 400, 70000)
    first, second = block(frames[:250]), block(frames[250:])
    # A sealed stream that ends after a sealed block that ends inside the second block.
    sealed_frames, stream, sizes = sealed_stream(rng)
    sealer = Sealer("secret")
    cut = (sizes[0] + sizes[1] // 2) & ~15
    sealed_cut = [sealer.seal(stream[:cut])]
    bad_length_reply = lambda length: os.urandom(16) + struct.pack("<i", length) + bytes(64)  # IV, the length
    cases = [
        # name, peer (None: nobody listens), key, host, frames printed, a line of the diagnostics
        ("bad magic", Peer([first], 0, tail=struct.pack("<II", 0xDEADBEEF, 10) + bytes(10)), None, None,
         frames[:250], "Didn't find magic number"),
        ("oversized length", Peer([first], 0, tail=struct.pack("<II", MAGIC_V1, 20000) + bytes(64)), None, None,
         frames[:250], "Data len 20000 exceeds 18086: Stopping"),
        ("LZ4 error", Peer([first], 0, tail=struct.pack("<II", MAGIC_V1, 16) + b"\xff" * 16), None, None,
         frames[:250], "uncompress error"),
        ("reset", Peer([first], 0, reset=True), None, None, frames[:250], "Failed to unpack data from logger"),
        ("closed inside a block", Peer([first], 0, tail=second[: len(second) // 2]), None, None, frames[:250],
         "Stream ended inside a block, the frames of that block are lost"),
        ("sealed, closed inside a block", Peer(sealed_cut, 1), "secret", None, sealed_frames[:700],
         "Stream ended inside a block, the frames of that block are lost"),
        ("closed before the first block", Peer([], 0), None, None, [],
         "Check that logger is set up for non-encrypted data"),
        ("connection refused", None, None, None, [], "Network connection failed: Connection refused"),
        ("no such host", None, None, "", [], "Network connection failed, no such host"),
    ] + [(f"sealed length {length}", Peer([bad_length_reply(length)], 1), "secret", None, [],
          "Got invalid data length when decrypting") for length in (-1, 0x200001, 20)]
    for name, peer, key, host, printed, line in cases:
        done = run_tarnwick(tarnwick, work, peer, key=key, host="127.0.0.1" if host is None else host)
        check(f"{name} exit", done.returncode == 2, (done.returncode, done.stderr))
        check(f"{name} frames", asc_frames(done.stdout) == (expected(printed) if printed else []), done.stdout[:300])
        check(f"{name} diagnostics", line in done.stderr, done.stderr)


def serve(port, key=None):
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(1)
    print(f"serving a simulated engine on 127.0.0.1:{port}; Ctrl+C ends", flush=True)
    while True:
        conn, _ = server.accept()
        sealer = Sealer(key) if key else None
        pending = b""
        start, ts = time.monotonic(), 0
        try:
            while conn.recv(1):
                frames = []
                for _ in range(10):
                    ts += 10
                    rpm = 800 + 2200 * (1 + math.sin(ts / 4000)) / 2
                    frames.append((ts, 256, struct.pack("<H", int(rpm / 0.25)) + bytes(6), 0))
                reply = block(frames)
                if sealer:
                    # Sealed replies carry whole AES blocks: the rest waits for the next one.
                    pending += reply
                    whole = len(pending) & ~15
                    reply, pending = sealer.seal(pending[:whole]), pending[whole:]
                delay = start + ts / 1000 - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
                conn.sendall(reply)
        except ConnectionError:
            pass
        finally:
            conn.close()


def main():
    if sys.argv[1:2] == ["--serve"]:
        serve(int(sys.argv[2]), sys.argv[3] if len(sys.argv) > 3 else None)
        return
    tarnwick, work = sys.argv[1:3]
    os.makedirs(work, exist_ok=True)
    rng = random.Random(22)
    for case in (case_plain, case_sealed, case_wrong_key, case_failed_streams):
        case(tarnwick, work, rng)
        print(case.__name__, "ok")


if __name__ == "__main__":
    main()
