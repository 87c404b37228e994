#!/usr/bin/python3
"""scripts/check-layers.py on small made-up trees: an include of a folder above fails with
the file and line, includes downwards, within a folder and from outside the layers pass.

Usage: check_layers_test.py <source dir>
"""
import pathlib
import subprocess
import sys
import tempfile
import unittest

SOURCE = pathlib.Path(sys.argv.pop(1))
CHECK = SOURCE / "scripts" / "check-layers.py"


class CheckLayersTest(unittest.TestCase):
    def check(self, files):
        """Runs the check on a tree of `files` ({path: text}); returns (exit code, stderr)."""
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                target = pathlib.Path(root, path)
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_text(text)
            run = subprocess.run([sys.executable, str(CHECK), root], capture_output=True, text=True)
            return run.returncode, run.stderr

    def test_includes_that_go_down_or_stay_pass(self):
        code, errors = self.check({
            "core/signal.h": '#include "core/types.h"\n#include <vector>\n',
            "store/store.cpp": '#include "virtual/average.h"\n#include "core/signal.h"\n#include "local.h"\n',
            "app/main.cpp": '#include "window/window.h"\n#include "editor/virt_sign_dialog.h"\n',
            # Outside the layers anything goes.
            "tests/core/signal_test.cpp": '#include "window/window.h"\n',
            "bench/paint.cpp": '#include "app/whatever.h"\n',
        })
        self.assertEqual((code, errors), (0, ""))

    def test_each_include_of_a_folder_above_is_named(self):
        code, errors = self.check({
            "core/settings.cpp": '#include "core/settings.h"\n\n#include "store/store.h"\n',
            "editor/dialog.cpp": '// a comment\n  #  include "window/window.h"\n',
            "views/plot.h": '#include "editor/rows.h"\n#include "store/store.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertEqual(
            [line.split(" (order:")[0] for line in errors.splitlines()],
            ["core/settings.cpp:3: includes store/, a layer above its own",
             "views/plot.h:1: includes editor/, a layer above its own",
             "editor/dialog.cpp:2: includes window/, a layer above its own"])

    def test_a_folder_without_layers_is_refused(self):
        code, errors = self.check({"README.md": "nothing\n"})
        self.assertEqual(code, 2)
        self.assertIn("holds none of the folders", errors)


if __name__ == "__main__":
    unittest.main(verbosity=2)
