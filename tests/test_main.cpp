#include <gtest/gtest.h>

#ifdef TARNWICK_OWN_DISPLAY
#include "own_display.h"
#endif

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

char home[] = "/tmp/tarnwick-test-XXXXXX";

// Registered before any process-wide object exists, so it runs after their destructors
// (the store saves the settings into HOME when it goes).
void removeHome()
{
    const std::string command = std::string("rm -rf '") + home + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", home);
}

} // namespace

// The shared test main: C locale, and HOME pointed at a fresh folder so that no test
// reads or writes the settings of the person running it. The GUI tests' main first moves
// the process into an X display of its own.
int main(int argc, char** argv)
{
#ifdef TARNWICK_OWN_DISPLAY
    if (vistra::test::wantsOwnDisplay(argc, argv) && !vistra::test::enterOwnDisplay())
        return 1;
#endif
    std::setlocale(LC_ALL, "C");
    if (mkdtemp(home)) {
        setenv("HOME", home, 1);
        std::atexit(removeHome);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
