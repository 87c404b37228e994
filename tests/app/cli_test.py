"""Runs the built tarnwick: informational options, usage errors and exit codes.

usage: cli_test.py <tarnwick> <test data dir> <work dir>
"""
import os
import shutil
import subprocess
import sys


def main():
    tarnwick, data, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    env = dict(os.environ, HOME=work, LC_ALL="C")

    def run(*args):
        # argv[0] is "tarnwick": the usage line names the program as it was called.
        done = subprocess.run(["tarnwick", *args], executable=tarnwick, env=env, capture_output=True,
                              timeout=60)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    with open(os.path.join(data, "usage.txt")) as f:
        usage = f.read()

    cases = [
        (["-v"], 0, "tarnwick version 5.04\n"),
        (["-h"], 0, usage),
        (["-x"], 1, usage),
        (["-c"], 1, usage),
        (["-p", "65536"], 1, usage),
        (["-p", "77 7"], 1, usage),
        (["-d"], 1, usage),
        (["-y", ""], 1, ""),
        (["-q"], 0, ""),
        (["-q", "-i"], 0, ""),
    ]
    for args, code, out in cases:
        got = run(*args)
        assert got[:2] == (code, out), (args, got)

    code, _, err = run("-y", "")
    assert "\x1b[33mWRN Decryption key is invalid\x1b[0m\n" in err, err

    code, out, _ = run("-e")
    assert code == 0
    at = 0
    for header in ("VSD FILE FORMAT:", "\x1b[1m\x1b[37m[settings]\x1b[0m", "_" * 103,
                   "COMMON (NOT MANDATORY) OPTIONS FOR ALL VIRTUAL SIGNALS",
                   "NOTES ON HOW COMMON OPTIONS ARE APPLIED", "SIGNAL REFERENCE", "VIRTUAL SIGNAL NAMING",
                   "[AverageExample]", "[StatisticsExample]"):
        found = out.find(header, at)
        assert found >= 0, header
        at = found + len(header)
    print("ok")


if __name__ == "__main__":
    main()
