"""Two copies of tarnwick started with -g on one log: a zoom in one moves the other.

usage: link_test.py <tarnwick> <examples dir> <work dir>

Needs an X display (ctest runs it under with_own_display, which gives it one of its own).
The copies find each other through the System V segment keyed on their executable file, so
they run from a copy of the program made for this test alone, whose segment and semaphores
the test makes itself before the copies start (so no other run on this machine shares them)
and removes at the end.
"""
import os
import shutil
import subprocess
import sys
import time

from Xlib import X, display
from Xlib.ext import xtest

from link_keys import create_exclusively, remove_link


def private_copy(tarnwick, work):
    """A copy of the program with a segment and semaphores of its own.

    Copies whose keys are taken are kept until the end, so that their inodes are not
    handed out again."""
    for attempt in range(10):
        path = os.path.join(work, f"tarnwick-{attempt}")
        shutil.copy2(tarnwick, path)
        if create_exclusively(path):
            return path
    raise AssertionError("no unused link key found")


def wait_for(what, condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}")


class Screen:
    def __init__(self):
        self.display = display.Display()
        self.root = self.display.screen().root

    def window(self, title):
        for child in self.root.query_tree().children:
            try:
                if child.get_wm_name() == title and child.get_attributes().map_state == X.IsViewable:
                    return child
            except Exception:
                pass
        return None

    def image(self, x, y, width, height):
        return self.root.get_image(x, y, width, height, X.ZPixmap, 0xffffffff).data

    def stable_image(self, area):
        """The area once two looks a second apart agree (the load and the render are done)."""
        last = [self.image(*area)]

        def settled():
            time.sleep(1)
            now = self.image(*area)
            same = now == last[0]
            last[0] = now
            return now if same else None

        return wait_for("a settled picture", settled, 60)

    def scroll_up(self, x, y, clicks):
        xtest.fake_input(self.display, X.MotionNotify, x=x, y=y)
        for _ in range(clicks):
            xtest.fake_input(self.display, X.ButtonPress, 4)
            xtest.fake_input(self.display, X.ButtonRelease, 4)
            self.display.sync()
            time.sleep(0.1)


def main():
    tarnwick, examples, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    program = private_copy(tarnwick, work)
    copies = []
    try:
        for title in ("linkA", "linkB"):
            home = os.path.join(work, title)
            os.makedirs(home)
            env = dict(os.environ, HOME=home, LC_ALL="C")
            args = [program, "-g", "-t", title, "-d", os.path.join(examples, "drive.dbc"), "-s", "Can.*.*",
                    os.path.join(examples, "drive.lz4")]
            copies.append(subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL,
                                           stderr=open(os.path.join(work, title + ".err"), "w")))
        screen = Screen()
        a = wait_for("window linkA", lambda: screen.window("linkA"), 60)
        b = wait_for("window linkB", lambda: screen.window("linkB"), 60)
        # Without a window manager the windows stay where they are put: B below, over the
        # lower part of A, whose detail plot still shows at the top of the screen.
        b.configure(x=80, y=224, stack_mode=X.Above)
        screen.display.sync()
        geometry = b.get_geometry()
        b_area = (80, 224, geometry.width, min(geometry.height, 1024 - 224))
        a_strip = (0, 0, 1200, 200)
        b_before = screen.stable_image(b_area)
        a_before = screen.stable_image(a_strip)

        screen.scroll_up(400, 100, 3)  # zoom into A's detail plot
        wait_for("A to zoom", lambda: screen.image(*a_strip) != a_before, 10)
        wait_for("B to follow A", lambda: screen.image(*b_area) != b_before, 10)
        for copy in copies:
            assert copy.poll() is None, "a copy ended early"
        print("B followed A's zoom")
    finally:
        for copy in copies:
            copy.terminate()
        for copy in copies:
            try:
                copy.wait(10)
            except subprocess.TimeoutExpired:
                copy.kill()
                copy.wait()
        remove_link(program, even_if_attached=True)


if __name__ == "__main__":
    main()
