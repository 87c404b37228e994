// with_own_display <command> [arguments...]: runs a command in an X display of its own, for
// the tests that are not GoogleTest programs (the GUI tests' main does the same itself).
#include "own_display.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: with_own_display <command> [arguments...]\n");
        return 2;
    }
    if (vistra::test::wantsOwnDisplay(argc, argv) && !vistra::test::enterOwnDisplay())
        return 1;
    execvp(argv[1], argv + 1);
    std::fprintf(stderr, "with_own_display: cannot run %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
