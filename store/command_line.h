#pragma once
// The program's start-up: options, positional arguments, the recorded DBC or VSD choice,
// loading, signal selections, and then text mode (one parse on this thread, then print)
// or the desktop application. GTK is reached only through the hooks, so that the whole
// sequence runs in tests without a display.
#include "core/types.h"

#include <glibmm/ustring.h>

#include <cstdio>
#include <functional>
#include <list>
#include <string>

namespace vistra {

class Store;

inline constexpr const char* kVersionText = "tarnwick version 5.04";

// Exit statuses. A desktop run returns the application's own.
inline constexpr int kExitOk = 0;
// A usage error, a start-up that failed (the settings file cannot be created, a DBC or VSD
// file named on the command line cannot be opened or parsed, an error stopped the loading
// of the DBC or VSD file), or output that could not be written.
inline constexpr int kExitFailed = 1;
// The command-line modes finished and printed what they could read, but some input was
// not read whole: an argument that is not a usable file name, a live-connection file or a
// log folder that cannot be read, a log file that cannot be read or stops at a damaged
// block, a live stream that could not connect, sent no block or did not end cleanly.
inline constexpr int kExitInputFailed = 2;

struct CommandLineHooks {
    std::function<void()> enableLink;                 // -g
    // Sets up the link to other copies once the options are read: the failure text, or
    // empty when the link is up.
    std::function<std::string()> openLink;
    std::function<void(u64, u64)> forwardTimeOffset;  // the Store's time-offset callback
    // GUI mode: builds the main window, before the worker starts; then runs it, its result.
    std::function<void()> buildWindow;
    std::function<int()> runApplication;
    std::function<void()> showMessageLog;             // GUI mode: the errors after a failed start-up
};

// Run first thing in main, before any file is opened: a standard stream that the caller
// closed gets a placeholder, so that no file opened later takes its number (a log file
// would then receive the trace, a settings file the diagnostics). The placeholder of
// standard output is read-only, so that writing a trace there fails and is reported.
void guardStandardStreams();

// Prints the usage line and the option text.
void printUsage(const char* program, std::FILE* out);

// Adds every log file below dir; depth 3 takes files up to two levels below it. A folder
// that cannot be read is a WRN and the walk goes on with the others; false then.
bool walkLogDir(Store& store, const std::string& dir, int depth);

// Interface names, each with "\t"<message> and "\t\t"<signal> lines under it; hidden
// signals are left out. Control characters in names are printed escaped. Returns 0, or the
// error number of the first write that failed.
int printSignalTree(const Store& store, std::FILE* out);

// Enables the signals that match each "<iface>.<msg>.<signal>" glob, in order; a pattern
// without a message or signal part is reported and ends the list. False then.
bool applySelections(Store& store, const std::list<Glib::ustring>& patterns);

class CommandLine {
public:
    CommandLine(Store& store, CommandLineHooks hooks, std::FILE* out = stdout);

    // The whole start-up; returns the process's exit code.
    int run(int argc, char** argv);

    Glib::ustring dbcPath;
    Glib::ustring vsdPath;
    std::list<Glib::ustring> selections;
    bool header = true;
    bool listMode = false;
    bool linkRequested = false;

private:
    struct Exit {
        int code;
        bool inputsTaken = false; // the run took its inputs (-l): they count for the status
    };
    // The link asked for with -g could not be set up, or the settings file cannot be
    // created (reported already).
    struct StartFailed {};

    void parseOptions(int argc, char** argv);
    // Only a desktop run started with -g needs the link: any other run goes on unlinked
    // when it cannot be had, with a warning.
    void openLink();
    void takeArguments(int argc, char** argv);
    void recordChoice();
    void load();
    void startUp(int argc, char** argv);
    void runTextMode();
    int runGui();
    // Exit code 0 only when everything printed has been written; otherwise an "ERR".
    int finishOutput();
    // The same for a run that took inputs: kExitInputFailed when one was not read whole.
    int finishRun();
    // An argument named an input that could not be taken.
    bool argumentFailed = false;
    // The first failed write of the listing (an error number): a failed write loses its
    // data, so a later flush may well succeed.
    int failedWrite = 0;
    [[noreturn]] void usageError(const char* program);

    std::string liveFile; // a live-connection file given as the first argument
    Store& store;
    CommandLineHooks hooks;
    std::FILE* out;
};

} // namespace vistra
