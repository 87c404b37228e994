#!/usr/bin/python3
"""`cmake --install` of a built tree into a staging folder (DESTDIR): the program and its
desktop entry land where the configured install folders say, nothing else is installed,
the entry is valid for desktop-file-validate and starts the installed program, and the
program looks for its help pages in the documentation folder of the same install.

Usage: install_test.py <cmake> <build dir> <prefix> <bindir> <datadir> <docdir> <app id> <scratch dir>
(the folders as CMake's GNUInstallDirs gives them, in full)
"""
import configparser
import os
import pathlib
import shutil
import subprocess
import sys
import unittest

CMAKE, BUILD, PREFIX, BINDIR, DATADIR, DOCDIR, APP_ID, SCRATCH = sys.argv[1:9]
del sys.argv[1:9]


def staged(path):
    """Where the absolute install path `path` lies in the staging folder."""
    return pathlib.Path(SCRATCH, "stage", path.lstrip("/"))


class InstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        stage = pathlib.Path(SCRATCH, "stage")
        shutil.rmtree(stage, ignore_errors=True)
        stage.mkdir(parents=True)
        env = dict(os.environ, DESTDIR=str(stage))
        run = subprocess.run([CMAKE, "--install", BUILD], env=env, capture_output=True, text=True)
        if run.returncode != 0:
            raise AssertionError(f"cmake --install failed:\n{run.stdout}{run.stderr}")
        cls.installed = sorted(str(p.relative_to(stage)) for p in stage.rglob("*") if not p.is_dir())
        cls.program = staged(f"{BINDIR}/tarnwick")
        cls.entry = staged(f"{DATADIR}/applications/{APP_ID}.desktop")

    def test_installs_the_program_and_its_desktop_entry_and_nothing_else(self):
        expected = sorted(str(p.relative_to(pathlib.Path(SCRATCH, "stage"))) for p in (self.program, self.entry))
        self.assertEqual(self.installed, expected)
        self.assertTrue(os.access(self.program, os.X_OK), "the program is not executable")

    def test_desktop_entry_is_valid_and_starts_the_program(self):
        validate = shutil.which("desktop-file-validate")
        self.assertIsNotNone(validate, "desktop-file-validate is missing (Debian's desktop-file-utils)")
        run = subprocess.run([validate, str(self.entry)], capture_output=True, text=True)
        # Errors fail it; warnings and hints are printed with a zero exit code.
        self.assertEqual((run.returncode, run.stdout + run.stderr), (0, ""))
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(self.entry, encoding="utf-8")
        group = entry["Desktop Entry"]
        self.assertEqual(group["Type"], "Application")
        self.assertEqual(group["Categories"], "Development;Engineering;")
        # Started by name: the desktop finds it on the PATH of the install's bindir.
        self.assertEqual(group["Exec"].split()[0], self.program.name)

    def test_program_opens_the_help_of_its_own_install(self):
        # The quick guide and the editor's help pages are <docdir>/help/...; the folder is
        # built in, so it is found in the program's bytes.
        data = self.program.read_bytes()
        self.assertIn(DOCDIR.encode() + b"\0", data)
        if PREFIX != "/usr":
            self.assertNotIn(b"/usr/share/doc/tarnwick\0", data)


if __name__ == "__main__":
    unittest.main(verbosity=2)
