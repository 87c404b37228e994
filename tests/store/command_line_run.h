#pragma once
// Runs the program's whole start-up in this process on a fresh store, as `tarnwick <args>`,
// with standard output caught.
#include "core/message_log.h"
#include "core/settings.h"
#include "store/command_line.h"
#include "store/store.h"
#include "test_helpers.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vistra::test {

struct RunResult {
    int code = -1;
    std::string out;
    std::vector<std::string> log;
    bool guiStarted = false;
    bool windowBuiltBeforeParse = false; // the window was built while no parse was asked for
    bool linked = false;
    bool linkOpened = false;
    std::vector<Level> levels; // of the log entries
};

// Stored signal choices in the settings are set back to "./dummy" first; the store is
// `keep` when given, else a fresh one. linkFailure: what setting up the link to other copies
// reports (empty: it works).
inline RunResult runCommandLine(std::vector<std::string> args, Store* keep = nullptr,
                                const std::string& linkFailure = "")
{
    drainLog();
    Settings::instance()->setDbFile("./dummy");
    Settings::instance()->setVsdFile("./dummy");
    args.insert(args.begin(), "tarnwick");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    RunResult run;
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    {
        Store local;
        Store& store = keep ? *keep : local;
        CommandLineHooks hooks;
        hooks.enableLink = [&] { run.linked = true; };
        hooks.openLink = [&] {
            run.linkOpened = true;
            return linkFailure;
        };
        hooks.buildWindow = [&] { run.windowBuiltBeforeParse = !store.parsing; };
        hooks.runApplication = [&] {
            run.guiStarted = true;
            return 7;
        };
        run.code = CommandLine(store, hooks, out).run(static_cast<int>(args.size()), argv.data());
    }
    std::fclose(out);
    run.out.assign(buffer, size);
    std::free(buffer);
    for (auto& log = MessageLog::instance(); !log.empty();) {
        const MessageLog::Entry entry = log.pop();
        run.log.push_back(entry.text.raw());
        run.levels.push_back(entry.level);
    }
    return run;
}

} // namespace vistra::test
