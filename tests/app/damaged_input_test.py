"""Runs the built tarnwick on damaged and hostile inputs, as a user would meet them.

usage: damaged_input_test.py <tarnwick> <work dir>

Each case makes its inputs in a fresh home folder, runs the program and checks the exit
code and the one line the user sees (on standard output or standard error). Exit codes:
0 every input read whole, 1 usage or start-up failure or output not written, 2 finished
with what could be read while an input was not read whole. The native
logs are written here from the file format, with an LZ4 block writer of our own, so that
they do not come from the program's own writer. Large files are file-system holes.
"""
import os
import re
import resource
import shutil
import stat
import struct
import subprocess
import sys
import time

HEADER = b"Log started at Thu 2026-12-10 12:00:00.000\n"
EPOCH_HEADER = b"Log started at Thu 1970-01-01 00:00:00.000\n"
MAGIC = 0x2018124C
GIB = 1 << 30
TIMEOUT = 120  # seconds; a hang or a quadratic slowdown is a failure, not a stuck test


def lz4_length(value):
    """The extra length bytes of a token nibble that holds 15."""
    out = bytearray()
    value -= 15
    while value >= 255:
        out.append(255)
        value -= 255
    out.append(value)
    return bytes(out)


def lz4_literals(data):
    """An LZ4 block that holds `data` as literals only."""
    n = len(data)
    if n < 15:
        return bytes([n << 4]) + data
    return b"\xf0" + lz4_length(n) + data


def lz4_repeat(unit, count):
    """An LZ4 block of `unit` repeated `count` times: one literal copy, one long match and
    the 12 literal bytes the format wants at the end."""
    total = len(unit) * count
    match = total - len(unit) - 12
    token = (min(len(unit), 15) << 4) | min(match - 4, 15)
    out = bytes([token])
    if len(unit) >= 15:
        out += lz4_length(len(unit))
    out += unit + struct.pack("<H", len(unit))
    if match - 4 >= 15:
        out += lz4_length(match - 4)
    return out + bytes([12 << 4]) + (unit * count)[-12:]


def block(packed):
    return struct.pack("<II", MAGIC, len(packed)) + packed


def record(ts, ident=0x64, data=b"\x00", iface=0):
    return struct.pack("<IIB", ts, ident, len(data)) + data.ljust(8, b"\x00") + bytes([iface])


def records_blocks(recs):
    """Literal blocks of at most 1000 records."""
    out = b""
    for i in range(0, len(recs), 1000):
        out += block(lz4_literals(b"".join(recs[i:i + 1000])))
    return out


def native_log(body, header=HEADER):
    return header + b"LOGSTART\x00logger\n" + body


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def sparse(path, data, size):
    """`data` followed by a hole up to `size` bytes."""
    with open(path, "wb") as f:
        f.write(data)
        f.truncate(size)
    return path


def dbc(path, text):
    return write(path, text.encode("latin-1"))


def fifo(path):
    os.mkfifo(path)
    return path


# Each case: name, setup(home) -> run options (arguments, standard output, "seconds": a
# limit for cases about speed), expected exit code, a line the user sees
# (in standard output or standard error; None: no particular line), and a last check
# (home, stdout, stderr) -> an error text or None.
def cases():
    good_log = lambda home, name="good.log": write(f"{home}/{name}",
                                                   native_log(records_blocks([record(1000, 0x7, b"\x2a")])))

    def crash(home):
        # A first block of 1000 equal records packs into about 100 bytes; the file then
        # reads as 4 GiB. Projected from that block it held tens of GB of records.
        packed = block(lz4_repeat(record(5000), 1000))
        assert len(packed) < 120, len(packed)
        return {"args": ["-o", sparse(f"{home}/packed.log", native_log(packed), 4 * GIB)]}

    def steps_back(home):
        # Every record's time steps back: frames out of order, not 20000 wraps of 49.7 days.
        recs = [record(100000 - i) for i in range(20000)]
        return {"args": ["-m", write(f"{home}/back.log", native_log(records_blocks(recs)))], "seconds": 20}

    def all_at_start(home, out, err):
        lines = out.splitlines()[3:]
        if len(lines) != 20000 or any(not line.startswith("2026-12-10 12:00:00.000 ") for line in lines):
            return "frames not all at the time of the first"
        return None if "overflowed" not in err else "taken for a wrap"

    def jitter(home):
        # A clock that steps back 5 ms every tenth frame, over 200 s.
        recs = [record(1000 + 10 * i - (15 if i % 10 == 9 else 0)) for i in range(20000)]
        return {"args": ["-m", write(f"{home}/jitter.log", native_log(records_blocks(recs)))], "seconds": 20}

    def dated_in_order(home, out, err):
        lines = out.splitlines()[3:]
        stamps = [line[:23] for line in lines]
        if stamps != sorted(stamps) or not stamps[-1].startswith("2026-12-10 12:03:19.98"):
            return "times out of order or beyond the log: " + stamps[-1]
        return None if err.count("Frames out of time order") == 1 and "overflowed" not in err else "warnings"

    def clock_wrap(home):
        recs = [record(0xFFFFFFF0, data=b"\x01"), record(0x10, data=b"\x02")]
        return {"args": ["-m", write(f"{home}/wrap.log", native_log(records_blocks(recs)))]}

    def damaged_block(tail):
        def setup(home):
            body = records_blocks([record(1000, 0x7, b"\x2a")]) + tail
            return {"args": ["-o", write(f"{home}/damaged.log", native_log(body))]}
        return setup

    def first_frame_printed(home, out, err):
        """The frame of the good log, or of the log's part before the damage."""
        return None if "0.0000 1 7 Rx d 1 2A" in out else "what could be read is not printed"

    def bad_signals(home):
        lines = ["BO_ 1 M: 8 X\n"] + [f" SG_ S{i} : {60 + i % 4}|16@1+ (1,0) [0|0] \"\" X\n" for i in range(5000)]
        return {"args": ["-l", "-d", dbc(f"{home}/bad.dbc", "".join(lines))], "seconds": 20}

    def epoch(home):
        recs = [record(0, data=b"\x01"), record(500, data=b"\x02"), record(1500, data=b"\x03")]
        return {"args": ["-o", write(f"{home}/epoch.log", native_log(records_blocks(recs), EPOCH_HEADER))]}

    def one_header(home, out, err):
        return None if out.count("date ") == 1 else "header written %d times" % out.count("date ")

    def full_disk(args):
        def setup(home):
            return {"args": [a if a != "LOG" else good_log(home) for a in args], "stdout": "/dev/full"}
        return setup

    def closed_stdout(home):
        return {"args": ["-o", good_log(home)], "stdout": None}

    settings_text = "[global]\nline_width=3.5\nlog_path=/data/logs\nthis line is no key\n"

    def bad_settings(home):
        write(f"{home}/.tarnwick", settings_text.encode())
        return {"args": ["-q"]}

    def settings_kept(home, out, err):
        with open(f"{home}/.tarnwick.bad") as f:
            if f.read() != settings_text:
                return ".tarnwick.bad does not hold the user's file"
        with open(f"{home}/.tarnwick") as f:
            if "[global]" not in f.read():
                return "no new settings file"
        return None

    def settings_fifo(name):
        def setup(home):
            fifo(f"{home}/{name}")
            return {"args": ["-v"]}
        return setup

    def still_fifo(name):
        return lambda home, out, err: None if stat.S_ISFIFO(os.stat(f"{home}/{name}").st_mode) else "replaced"

    secret = b"root:secret:0:0\n"

    def their_links(home):
        # Root runs with HOME set to a user's home: the user's links there name a file only
        # root may read and a missing file in a folder only root may write.
        root_only = f"{home}/root-only"
        os.mkdir(root_only, 0o700)
        os.chmod(write(f"{root_only}/secret", secret), 0o600)
        os.symlink(f"{root_only}/secret", f"{home}/.tarnwick")
        os.symlink(f"{root_only}/new", f"{home}/.tarnwick_siglist")
        for name in (".tarnwick", ".tarnwick_siglist"):
            os.lchown(f"{home}/{name}", 65534, 65534)
        return {"args": ["-o", good_log(home)], "needs_root": True}

    def links_left_alone(home, out, err):
        if "0.0000 1 7 Rx d 1 2A" not in out:
            return "the trace is not printed"
        with open(f"{home}/root-only/secret", "rb") as f:
            if f.read() != secret:
                return "the linked file changed"
        if sorted(os.listdir(f"{home}/root-only")) != ["secret"]:
            return "files made beside it: %s" % os.listdir(f"{home}/root-only")
        if not all(os.path.islink(f"{home}/{name}") for name in (".tarnwick", ".tarnwick_siglist")):
            return "a link was replaced"
        return None if f"WRN The signal-list file {home}/.tarnwick_siglist belongs" in err else "no word of the list"

    def header_hole(home):
        return {"args": ["-o", sparse(f"{home}/hole.log", b"Log started at ", 4 * GIB)]}

    def second_line_hole(home):
        return {"args": ["-o", sparse(f"{home}/hole2.log", HEADER + b"LOGSTART\x00", 4 * GIB)]}

    def long_dbc_line(home):
        return {"args": ["-l", "-d", sparse(f"{home}/long.dbc", b"BO_ 1 M: 8 X\n SG_ ", 300 << 20)]}

    def key_names(home):
        text = "BO_ 1 Msg[1]: 8 X\n SG_ a=b : 0|8@1+ (1,0) [0|255] \"\" X\n"
        return {"args": ["-q", "-d", dbc(f"{home}/keys.dbc", text)]}

    def key_stored(home, out, err):
        if "CRITICAL" in err:
            return "GLib assertion"
        with open(f"{home}/.tarnwick") as f:
            return None if "Can.Msg%5B1%5D.a%3Db=" in f.read() else "colour key not stored"

    def missing_home(home):
        return {"args": ["-o", good_log(home)], "home": f"{home}/missing"}

    def nothing_printed(home, out, err):
        return None if out == "" else "printed: " + out[:100]

    def missing_log(home):
        return {"args": ["-o", f"{home}/nosuch.log", good_log(home)]}

    def not_a_log(home):
        return {"args": ["-o", write(f"{home}/notes.log", b"hello\n"), good_log(home)]}

    def not_utf8(home):
        good = good_log(home)
        return {"args": [b"-o", os.fsencode(home) + b"/bad\xff.log", good]}

    def terminal_names(home):
        text = ("BO_ 1 Msg\x1b]0;owned\x07: 8 X\n SG_ Sig\x1b[2J : 0|8@1+ (1,0) [0|255] \"\" X\n"
                " SG_ Big\x1b[31m : 60|16@1+ (1,0) [0|0] \"\" X\n")
        return {"args": ["-l", "-d", dbc(f"{home}/term.dbc", text)]}

    def no_raw_escapes(home, out, err):
        plain_err = re.sub(r"\x1b\[(3[1-4])?m", "", err.replace("\x1b[0m", ""))
        return "raw control character" if "\x1b" in out + plain_err or "\x07" in out + plain_err else None

    def settings_remember(home):
        write(f"{home}/.tarnwick", f"[global]\ndbFile={home}/gone.dbc\n".encode())
        return {"args": ["-l"]}

    def vsd(name, text):
        return lambda home: {"args": ["-l", "-f", write(f"{home}/{name}", text.encode())]}

    def closed_subfolder(home):
        os.makedirs(f"{home}/d1/sub")
        good_log(home, "d1/a.log")
        good_log(home, "d1/sub/b.log")
        os.chmod(f"{home}/d1/sub", 0)
        return {"args": ["-o", f"{home}/d1"], "unprivileged": True}

    def out_of_memory(home):
        # 64 M records in blocks that pack well: more than the address-space limit holds.
        with open(f"{home}/huge.log", "wb") as f:
            f.write(native_log(b""))
            packed = block(lz4_repeat(record(7, 0x100), 1000))
            f.write(packed * 64000)
        limit = GIB
        return {"args": ["-o", f"{home}/huge.log"],
                "preexec": lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)),
                "needs_plain_build": True}

    return [
        # A hole reads as zeros, which are no block.
        ("a first block that packs well, then a hole", crash, 2, "0.0000 1 64 Rx d 1 00", None),
        ("20000 records whose times step back", steps_back, 0,
         "WRN Frames out of time order in HOME/back.log: 19999, each kept at the time of the frame before",
         all_at_start),
        ("a clock that steps back 5 ms every tenth frame", jitter, 0,
         "WRN Frames out of time order in HOME/jitter.log: 2000, each kept at the time of the frame before",
         dated_in_order),
        ("a clock that runs over", clock_wrap, 0, "2026-12-10 12:00:00.032 1 64 Rx d 1 02", None),
        ("a log that stops at a block of length 0", damaged_block(struct.pack("<II", MAGIC, 0)), 2,
         "WRN Log file HOME/damaged.log stops at a block that cannot be read, the rest of it is left out",
         first_frame_printed),
        ("a log whose last block is cut", damaged_block(block(lz4_literals(record(2000) * 3))[:-5]), 2,
         "WRN Log file HOME/damaged.log ends inside a block, the frames of that block are lost",
         first_frame_printed),
        ("a home folder that does not exist", missing_home, 1, "ERR Couldn't create HOME/missing/.tarnwick",
         nothing_printed),
        ("a log file named that does not exist", missing_log, 2,
         "INF Argument not a recognzied as a file: HOME/nosuch.log", first_frame_printed),
        ("a file named that is no log", not_a_log, 2, "INF HOME/notes.log is not a valid log file, skipping",
         first_frame_printed),
        ("5000 signals that do not fit", bad_signals, 0,
         "WRN Signal S4999 of message M does not fit in 8 data bytes (start bit 63, length 16), skipped", None),
        ("a log of a logger whose clock was never set", epoch, 0, "1.5000 1 64 Rx d 1 03", one_header),
        ("-o into a full disk", full_disk(["-o", "LOG"]), 1,
         "ERR Could not write to standard output: No space left on device", None),
        ("-l into a full disk", full_disk(["-l"]), 1,
         "ERR Could not write to standard output: No space left on device", None),
        ("-o with standard output closed", closed_stdout, 1,
         "ERR Could not write to standard output: Bad file descriptor", None),
        ("a settings line the parser refuses", bad_settings, 0, "WRN Failed to parse settings file HOME/.tarnwick",
         settings_kept),
        ("a FIFO as settings file", settings_fifo(".tarnwick"), 0,
         "ERR Couldn't read settings file HOME/.tarnwick, not a regular file", still_fifo(".tarnwick")),
        ("a FIFO as signal-list file", settings_fifo(".tarnwick_siglist"), 0,
         "ERR Couldn't read signal-list file HOME/.tarnwick_siglist, not a regular file", None),
        ("another user's links as settings and signal-list files", their_links, 0,
         "WRN The settings file HOME/.tarnwick belongs to another user and is left as it is", links_left_alone),
        ("a FIFO as DBC file", lambda home: {"args": ["-l", "-d", fifo(f"{home}/pipe.dbc")]}, 1,
         "ERR Could not open DBC file HOME/pipe.dbc, not a regular file", None),
        ("/dev/zero as DBC file", lambda home: {"args": ["-l", "-d", "/dev/zero"]}, 1,
         "ERR Could not open DBC file /dev/zero, not a regular file", None),
        ("a first header line without end", header_hole, 2, "INF HOME/hole.log is not a valid log file, skipping",
         None),
        ("a second header line without end", second_line_hole, 2, "WRN Could not find header of file: HOME/hole2.log",
         None),
        ("a DBC line of 300 MB", long_dbc_line, 1,
         "ERR Could not read DBC file HOME/long.dbc, a statement is longer than 1048576 bytes", None),
        ("names holding '[', ']' and '='", key_names, 0, None, key_stored),
        ("a file name that is not UTF-8", not_utf8, 2,
         "WRN Argument is not valid UTF-8, skipping: HOME/bad\\xFF.log",
         lambda home, out, err: None if "0.0000 1 7 Rx d 1 2A" in out else "the other log is not used"),
        ("control characters in DBC names", terminal_names, 0, "\t\tSig\\x1B[2J", no_raw_escapes),
        # A live-connection file chooses the input: when it cannot be read, nothing is.
        ("a live-connection file that does not exist", lambda home: {"args": ["-o", f"{home}/nosuch.bvlive"]}, 2,
         "WRN Couldn't open HOME/nosuch.bvlive, nothing was read", nothing_printed),
        ("a FIFO as live-connection file", lambda home: {"args": ["-o", fifo(f"{home}/pipe.bvlive")]}, 2,
         "WRN Couldn't open HOME/pipe.bvlive, nothing was read", nothing_printed),
        ("a live-connection file that does not exist, then a log",
         lambda home: {"args": ["-o", f"{home}/nosuch.bvlive", good_log(home)]}, 2,
         "WRN Couldn't open HOME/nosuch.bvlive, nothing was read", nothing_printed),
        # A DBC or VSD file named on the command line that cannot be used stops the start-up.
        ("-l with a DBC file that does not exist", lambda home: {"args": ["-l", "-d", f"{home}/nosuch.dbc"]}, 1,
         "ERR Could not open DBC file HOME/nosuch.dbc, No such file or directory", nothing_printed),
        ("a live-connection file whose DBC file does not exist",
         lambda home: {"args": ["-l", write(f"{home}/car.bvlive", b"TITLE=Car\nDBC=gone.dbc\n")]}, 1,
         "ERR Could not open DBC file HOME/gone.dbc, No such file or directory", nothing_printed),
        ("a first argument x.dbc that does not exist", lambda home: {"args": ["-l", f"{home}/x.dbc"]}, 1,
         "ERR Could not open DBC file HOME/x.dbc, No such file or directory", nothing_printed),
        ("a folder as DBC file", lambda home: {"args": ["-l", "-d", home]}, 1,
         "ERR Could not open DBC file HOME, path is a directory", nothing_printed),
        ("/dev/urandom as DBC file", lambda home: {"args": ["-l", "-d", "/dev/urandom"]}, 1,
         "ERR Could not open DBC file /dev/urandom, not a regular file", nothing_printed),
        ("-l with a VSD file that does not exist", lambda home: {"args": ["-l", "-f", f"{home}/nosuch.vsd"]}, 1,
         "ERR Could not open VSD file HOME/nosuch.vsd, No such file or directory", nothing_printed),
        ("-q with a VSD file that does not exist",
         lambda home: {"args": ["-q", "-f", f"{home}/missing.vsd", good_log(home), "-s", "Virt.*.*"]}, 1,
         "ERR Could not open VSD file HOME/missing.vsd, No such file or directory", nothing_printed),
        ("a FIFO as VSD file", lambda home: {"args": ["-l", "-f", fifo(f"{home}/pipe.vsd")]}, 1,
         "ERR Failed to parse VSD file HOME/pipe.vsd, not a regular file", nothing_printed),
        ("a folder as VSD file", lambda home: {"args": ["-l", "-f", home]}, 1,
         "ERR Failed to parse VSD file HOME, not a regular file", nothing_printed),
        ("/dev/urandom as VSD file", lambda home: {"args": ["-l", "-f", "/dev/urandom"]}, 1,
         "ERR Failed to parse VSD file /dev/urandom, not a regular file", nothing_printed),
        ("a VSD file that is no key file", vsd("notes.vsd", "just some notes\n"), 1,
         "ERR Failed to parse VSD file HOME/notes.vsd, ", nothing_printed),
        ("a VSD file without settings", vsd("plain.vsd", "[Sig]\nmethod=sum\n"), 1,
         "ERR VSD file 'HOME/plain.vsd' does not have a settings group", nothing_printed),
        ("a VSD file whose settings do not parse", vsd("gps.vsd", "[settings]\nlegacygps=maybe\n"), 1,
         "ERR Failed to parse settings group of HOME/gps.vsd,", nothing_printed),
        # Not named on this command line: the run goes on without it.
        ("a DBC file the settings remember that is gone", settings_remember, 0,
         "WRN Could not open DBC file: HOME/gone.dbc", lambda home, out, err: None if "Logger\n" in out else "no list"),
        ("a log folder with a subfolder that cannot be read", closed_subfolder, 2,
         "WRN Could not open log folder HOME/d1/sub, Permission denied", first_frame_printed),
        ("a parser out of memory", out_of_memory, 2, "ERR Not enough memory to read log file HOME/huge.log, skipping",
         None),
    ]


NOBODY = 65534


def as_nobody():
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)


def unprivileged(tarnwick, home):
    """Permissions do not stop root: a case about a folder that cannot be read runs as
    nobody, in a home that nobody owns. The preexec function, or the reason it cannot."""
    if os.geteuid() != 0:
        return None, None
    for folder, _, files in os.walk(home):
        for path in [folder] + [os.path.join(folder, f) for f in files]:
            os.chown(path, NOBODY, NOBODY)
    try:
        probe = subprocess.run([tarnwick, "-v"], capture_output=True, env=dict(os.environ, HOME=home),
                               preexec_fn=as_nobody)
    except (OSError, subprocess.SubprocessError) as e:
        return None, str(e)
    if probe.returncode != 0:
        return None, probe.stderr.decode("utf-8", "replace")[-200:] or f"exit code {probe.returncode}"
    return as_nobody, None


def remove(home):
    """A case may leave a folder that its owner cannot read or enter."""
    for folder, dirs, _ in os.walk(home):
        for d in dirs:
            os.chmod(os.path.join(folder, d), 0o700)
    shutil.rmtree(home, ignore_errors=True)


def main():
    tarnwick, work = sys.argv[1:3]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    def run(options, home):
        env = dict(os.environ, HOME=options.get("home", home), LC_ALL="C")
        stdout = subprocess.PIPE
        if "stdout" in options:
            stdout = open(options["stdout"], "wb") if options["stdout"] else subprocess.DEVNULL
        preexec = options.get("preexec")
        if "stdout" in options and options["stdout"] is None:
            # Standard output closed, as by `tarnwick ... >&-`.
            preexec = lambda: os.close(1)
        done = subprocess.run([tarnwick, *options["args"]], env=env, stdout=stdout, stderr=subprocess.PIPE,
                              preexec_fn=preexec, timeout=TIMEOUT)
        out = done.stdout.decode("utf-8", "replace") if done.stdout else ""
        return done.returncode, out, done.stderr.decode("utf-8", "replace")

    # The sanitizers reserve terabytes of address space: they cannot run under a limit on it.
    probe = subprocess.run([tarnwick, "-v"], capture_output=True, env=dict(os.environ, HOME=work),
                           preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (GIB, GIB)))
    plain_build = probe.returncode == 0

    failures = 0
    for i, (name, setup, code, line, check) in enumerate(cases()):
        home = os.path.join(work, f"case{i}")
        os.makedirs(home)
        options = setup(home)
        if options.get("needs_plain_build") and not plain_build:
            print(f"skipped (sanitizer build): {name}")
            continue
        if options.get("needs_root") and os.geteuid() != 0:
            print(f"skipped (only root can give files to another user): {name}")
            continue
        if options.get("unprivileged"):
            options["preexec"], reason = unprivileged(tarnwick, home)
            if reason:
                print(f"skipped (cannot run as uid {NOBODY}: {reason}): {name}")
                remove(home)
                continue
        started = time.monotonic()
        try:
            got_code, out, err = run(options, home)
        except subprocess.TimeoutExpired:
            got_code, out, err = "timeout", "", ""
        seconds = time.monotonic() - started
        problems = []
        if seconds > options.get("seconds", TIMEOUT):
            problems.append(f"took {seconds:.1f} s")
        if got_code != code:
            problems.append(f"exit code {got_code}, expected {code}")
        if line is not None:
            want = line.replace("HOME", home)
            if want not in out and want not in err:
                problems.append(f"missing line {want!r}")
        if check and not problems:
            problem = check(home, out, err)
            if problem:
                problems.append(problem)
        if problems:
            failures += 1
            print(f"FAIL {name}: {'; '.join(problems)}\n  stderr: {err[-2000:]!r}\n  stdout: {out[:500]!r}")
        else:
            print(f"ok   {name} ({seconds:.1f} s)")
        remove(home)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
