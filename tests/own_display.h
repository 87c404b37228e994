#pragma once
// Every GUI test process runs in an X display of its own, so that GUI tests can run side by
// side (`ctest -j`) without sharing a clipboard, the keyboard focus or the stacking of
// windows, and without a display given by whoever runs them.

namespace vistra::test {

// Whether this run needs a display of its own: not when it only lists the tests, nor when
// TARNWICK_TEST_DISPLAY=inherit asks for the display in DISPLAY (to watch a test run).
bool wantsOwnDisplay(int argc, char** argv);

// Starts a virtual X server (Xvfb) on a free display number, points DISPLAY at it, and
// forks: the function returns true in the child, which goes on to run the tests. The
// calling process stays behind and never returns: when the child ends it stops the
// server and ends the same way (exit status or signal). Should the keeper die, the
// kernel ends the server and the child with it (also when the run is killed on a
// timeout), so no server is left behind. Returns false, with the reason on stderr, when
// no server could be started. Call it first thing in main, while the process has one
// thread.
bool enterOwnDisplay();

} // namespace vistra::test
