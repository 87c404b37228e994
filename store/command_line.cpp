#include "store/command_line.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/live_file.h"
#include "store/store.h"
#include "store/text_output.h"
#include "store/vsd_help.h"

#include <glib.h>
#include <glibmm/convert.h>
#include <glibmm/exception.h>
#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>
#include <glibmm/pattern.h>
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

namespace vistra {

namespace {

constexpr const char* kOptionText =
    "OPTIONS:\n"
    "\t -l            list messages and signals\n"
    "\t -d <file>     DBC file to use\n"
    "\t -f <file>     Virtual Signal Definition file to use\n"
    "\t -s <Signal>   may be called any number of times\n"
    "\t -n <host>     read from network\n"
    "\t -y <key>      key to use for decrypting network stream\n"
    "\t -p <port>     optional, default 777\n"
    "\t -t <title>    set title on this window\n"
    "\t -e            print VSD examples\n"
    "\t -g            connect controls with other tarnwick windows\n"
    "\t -q            print output to stdout and quit (no GUI)\n"
    "\t -i            omit headers when printing to stdout (-q)\n"
    "\t -v            print version information\n"
    "\t -o            print can data in ASC format\n"
    "\t -m            same as -o but timestamps are printed in date format\n"
    "\n"
    "All user specific settings, signal colors etc. are stored in\n"
    "user home dir in file '.tarnwick'.\n"
    "DBC file and Virtual Signal Definition (VSD) file settings\n"
    "are automatically stored in the settings file. These need\n"
    "only be specified when changing DBC or VSD file.\n";

constexpr const char* kDefaultTitle = "Signal Plot";
constexpr int kLogDirDepth = 3;

bool hasSuffix(const Glib::ustring& lowered, const char* suffix)
{
    return g_str_has_suffix(lowered.c_str(), suffix);
}

void addLogFile(Store& store, const std::string& path) { store.addLogFile(path.c_str()); }

// The file name `arg` as UTF-8 text. A name that is not UTF-8 (written on a system with
// another encoding) cannot be kept as text: it is reported in a printable form and left
// out, and the other arguments are still taken.
bool argumentText(const char* arg, Glib::ustring& text)
{
    try {
        text = Glib::filename_to_utf8(arg);
        return true;
    } catch (const Glib::ConvertError&) {
        reportWarning("Argument is not valid UTF-8, skipping: %s", printableText(arg).c_str());
        return false;
    }
}

// 0 when everything written to `stream` arrived, else the error number.
int writeError(std::FILE* stream)
{
    errno = 0;
    if (std::fflush(stream) != 0)
        return errno != 0 ? errno : EIO;
    // An earlier write failed; its data is lost even though nothing waits any more.
    return std::ferror(stream) ? EIO : 0;
}

// Flushes after a line, as a listing read line by line wants; keeps the first failure.
void flushLine(std::FILE* out, int& failed)
{
    if (std::fflush(out) != 0 && failed == 0)
        failed = errno != 0 ? errno : EIO;
}

} // namespace

void guardStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int placeholder = ::open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY);
        if (placeholder >= 0 && placeholder != fd) {
            ::dup2(placeholder, fd);
            ::close(placeholder);
        }
    }
}

void printUsage(const char* program, std::FILE* out)
{
    std::fprintf(out, "%s [OPTIONS] [<logfile> [<logfile> ...]]\n", program);
    std::fputs(kOptionText, out);
    std::fputc('\n', out);
}

bool walkLogDir(Store& store, const std::string& dir, int depth)
{
    if (depth == 0) {
        reportWarning("Log file directory structure to deep, will not parse: %s", dir.c_str());
        return true;
    }
    namespace fs = std::filesystem;
    bool whole = true;
    std::error_code error;
    for (fs::directory_iterator entry(dir, error), end; !error && entry != end; entry.increment(error)) {
        const std::string path = Glib::build_filename(dir, entry->path().filename().string());
        if (Glib::file_test(path, Glib::FILE_TEST_IS_DIR))
            whole = walkLogDir(store, path, depth - 1) && whole;
        else if (Glib::file_test(path, Glib::FILE_TEST_IS_REGULAR))
            addLogFile(store, path);
    }
    if (error) {
        reportWarning("Could not open log folder %s, %s", dir.c_str(), error.message().c_str());
        return false;
    }
    return whole;
}

int printSignalTree(const Store& store, std::FILE* out)
{
    int failed = 0;
    for (const auto& [number, iface] : store.interfaces) {
        std::fprintf(out, "%s\n", printableText(iface->name.raw()).c_str());
        flushLine(out, failed);
        for (const auto& [id, msg] : iface->messages) {
            std::fprintf(out, "\t%s\n", printableText(msg->name.raw()).c_str());
            flushLine(out, failed);
            for (const auto& signal : msg->signals) {
                if (signal->hidden)
                    continue;
                std::fprintf(out, "\t\t%s\n", printableText(signal->name.raw()).c_str());
                flushLine(out, failed);
            }
        }
    }
    return failed;
}

bool applySelections(Store& store, const std::list<Glib::ustring>& patterns)
{
    SelectionBatch batch;
    for (const Glib::ustring& s : patterns) {
        // '.' is one byte in UTF-8: byte positions split the pattern.
        const std::string text = s.raw();
        const std::size_t p1 = text.find('.');
        if (p1 == std::string::npos) {
            reportWarning("No message name given in %s", text.c_str());
            return false;
        }
        const std::size_t p2 = text.find('.', p1 + 1);
        if (p2 == std::string::npos || p2 + 1 == text.size()) {
            reportWarning("No signal name given in %s", text.c_str());
            return false;
        }
        const Glib::PatternSpec ifacePattern(text.substr(0, p1));
        const Glib::PatternSpec msgPattern(text.substr(p1 + 1, p2 - p1 - 1));
        const Glib::ustring signalPattern = text.substr(p2 + 1);
        for (const auto& [number, iface] : store.interfaces) {
            if (!ifacePattern.match(iface->name))
                continue;
            for (const auto& [id, msg] : iface->messages)
                if (msgPattern.match(msg->name))
                    msg->enableMatching(signalPattern);
        }
    }
    return true;
}

CommandLine::CommandLine(Store& store, CommandLineHooks hooks, std::FILE* out)
    : store(store), hooks(std::move(hooks)), out(out)
{
}

void CommandLine::usageError(const char* program)
{
    printUsage(program, out);
    throw Exit{kExitFailed};
}

void CommandLine::parseOptions(int argc, char** argv)
{
    const char* program = argc > 0 ? argv[0] : "tarnwick";
    optind = 0; // full reset of getopt, so that the parse can run more than once
    int option;
    while ((option = getopt(argc, argv, "d:n:y:p:k:f:vls:het:car:gqomi")) != -1) {
        switch (option) {
        case 'd':
            if (!argumentText(optarg, dbcPath))
                argumentFailed = true;
            break;
        case 'f':
            if (!argumentText(optarg, vsdPath))
                argumentFailed = true;
            break;
        case 's':
            selections.push_back(optarg);
            break;
        case 'n':
            store.host = optarg;
            store.networkMode = true;
            store.live = true;
            break;
        case 'y':
            if (!*optarg) {
                reportWarning("Decryption key is invalid");
                throw Exit{kExitFailed};
            }
            store.key = optarg;
            break;
        case 'p':
            if (!parsePort(optarg, &store.port))
                usageError(program);
            break;
        case 't':
            store.title = optarg;
            break;
        case 'g':
            linkRequested = true;
            if (hooks.enableLink)
                hooks.enableLink();
            break;
        case 'l':
            listMode = true;
            store.textMode = true;
            break;
        case 'q':
            store.textMode = true;
            break;
        case 'i':
            header = false;
            break;
        case 'o':
            store.ascOutput = true;
            store.textMode = true;
            break;
        case 'm':
            store.ascOutput = true;
            store.dateStamp = true;
            store.textMode = true;
            break;
        case 'e':
            std::fputs(vsdHelpText().c_str(), out);
            std::fputc('\n', out);
            throw Exit{kExitOk};
        case 'h':
            printUsage(program, out);
            throw Exit{kExitOk};
        case 'v':
            std::fprintf(out, "%s\n", kVersionText);
            throw Exit{kExitOk};
        default: // -k, -r, -c, -a, unknown letters and missing arguments
            usageError(program);
        }
    }
}

void CommandLine::openLink()
{
    if (!hooks.openLink)
        return;
    const std::string failure = hooks.openLink();
    if (failure.empty())
        return;
    if (linkRequested && !store.textMode) {
        reportError("%s", failure.c_str());
        throw StartFailed{};
    }
    reportWarning("%s", failure.c_str());
}

void CommandLine::takeArguments(int argc, char** argv)
{
    bool first = true;
    for (int i = optind; i < argc; ++i) {
        const std::string arg = argv[i];
        Glib::ustring name;
        if (!argumentText(arg.c_str(), name)) {
            argumentFailed = true;
            continue;
        }
        if (first) {
            const Glib::ustring lowered = name.lowercase();
            if (hasSuffix(lowered, ".bvlive")) {
                liveFile = arg;
                return;
            }
            if (hasSuffix(lowered, ".vsd")) {
                vsdPath = name;
                return;
            }
            if (hasSuffix(lowered, ".dbc")) {
                dbcPath = name;
                return;
            }
        }
        const bool isDir = Glib::file_test(arg, Glib::FILE_TEST_IS_DIR);
        if (isDir || Glib::file_test(arg, Glib::FILE_TEST_IS_REGULAR)) {
            if (isDir) {
                if (!walkLogDir(store, arg, kLogDirDepth))
                    argumentFailed = true;
            } else {
                // A file named here that is not a log counts; one found in a folder is
                // skipped with its INF.
                const std::size_t before = store.logFiles().size();
                addLogFile(store, arg);
                if (store.logFiles().size() == before)
                    argumentFailed = true;
            }
            if (first) {
                Settings::instance()->setLogPath(Glib::filename_to_utf8(Glib::path_get_dirname(arg)));
                first = false;
            }
        } else {
            reportInfo("Argument not a recognzied as a file: %s", name.c_str());
            argumentFailed = true;
        }
    }
}

void CommandLine::recordChoice()
{
    if (store.ascOutput)
        return;
    Settings& settings = *Settings::instance();
    if (!dbcPath.empty()) {
        settings.setDbFile(dbcPath);
        settings.setVsdFile(kNoFile);
    } else if (!vsdPath.empty()) {
        settings.setVsdFile(vsdPath);
        settings.setDbFile(kNoFile);
    }
}

void CommandLine::load()
{
    if (store.ascOutput)
        return;
    // A file named for this run (by -d, -f, the first argument or its live-connection file)
    // is what the text modes print from: without it they end. The window reports its
    // problems and goes on, as every run does with a file the settings remember.
    const bool named = !dbcPath.empty() || !vsdPath.empty();
    const DefinitionFile need = store.textMode && named ? DefinitionFile::Required : DefinitionFile::Optional;
    Settings& settings = *Settings::instance();
    const Glib::ustring vsd = settings.getVsdFile();
    if (vsd != kNoFile) {
        // The VSD file names the DBC file of each of its interfaces.
        store.loadVsd(vsd, need);
        return;
    }
    const Glib::ustring dbc = settings.getDbFile();
    if (dbc != kNoFile) {
        store.loadDbc(dbc, 0, "Can", need);
        store.createBuiltinSignals();
    }
}

void CommandLine::startUp(int argc, char** argv)
{
    parseOptions(argc, argv);
    // Reported when the settings were made; the options that only print have been served.
    if (!Settings::instance()->created())
        throw StartFailed{};
    openLink();
    if (!store.csvInput && !store.kvaserInput && !store.ascInput)
        store.addLoggerIface();
    takeArguments(argc, argv);
    bool liveServer = false;
    if (!liveFile.empty()) {
        // The live-connection file chose the input: without it nothing is read.
        const LiveFileRead read = applyLiveFile(store, liveFile, dbcPath, vsdPath);
        liveServer = read == LiveFileRead::Server;
        if (read == LiveFileRead::Unreadable)
            argumentFailed = true;
    }
    // CSV input: the columns come from the CSV files, and a VSD file given may add virtual
    // signals over them; without one nothing else is loaded.
    const bool loadChoice = !store.csvInput || !vsdPath.empty();
    if (store.csvInput) {
        store.loadCsv();
        if (!vsdPath.empty()) {
            Settings::instance()->setVsdFile(vsdPath);
            Settings::instance()->setDbFile(kNoFile);
        }
    } else {
        recordChoice();
    }
    if (liveServer) {
        // After the choice is recorded: the file names this connection's DBC or VSD file.
        Settings::instance()->setLivePath(Glib::filename_to_utf8(Glib::path_get_dirname(liveFile)));
        store.writeLiveFile();
    }
    if (loadChoice)
        load();
    if (listMode) {
        failedWrite = printSignalTree(store, out);
        throw Exit{kExitOk, true};
    }
    if (!store.ascOutput)
        applySelections(store, selections);
    if (store.title.empty())
        store.title = kDefaultTitle;
    Settings::instance()->save();
}

void CommandLine::runTextMode()
{
    store.parseNow();
    printTextResult(store, header, out);
}

int CommandLine::finishOutput()
{
    int error = failedWrite != 0 ? failedWrite : store.outputError;
    const int outError = writeError(out);
    const int traceError = store.output != out ? writeError(store.output) : 0;
    if (error == 0)
        error = outError != 0 ? outError : traceError;
    if (error == 0)
        return kExitOk;
    reportError("Could not write to standard output: %s", std::strerror(error));
    return kExitFailed;
}

int CommandLine::finishRun()
{
    const int status = finishOutput();
    if (status != kExitOk)
        return status;
    return argumentFailed || store.inputFailed ? kExitInputFailed : kExitOk;
}

int CommandLine::runGui()
{
    // The window makes what it needs of the model (the GPS track joins a message of the
    // logger's statistics) before the worker exists: the GUI thread changes the model only
    // while no job runs, and the first parse would otherwise walk those lists meanwhile.
    if (hooks.buildWindow)
        hooks.buildWindow();
    store.startThread();
    store.requestParse();
    return hooks.runApplication ? hooks.runApplication() : 0;
}

int CommandLine::run(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C");
    store.setColorCallback([](const Glib::ustring& iface, const Glib::ustring& msg, const Glib::ustring& sig) {
        return Settings::instance()->getSignalColor(iface, msg, sig);
    });
    store.setTimeOffsetCallback([forward = hooks.forwardTimeOffset](u64 time, u64 offset) {
        if (forward)
            forward(time, offset);
    });
    auto failed = [this] {
        if (!store.textMode && hooks.showMessageLog)
            hooks.showMessageLog();
        store.stop();
        return kExitFailed;
    };
    try {
        try {
            startUp(argc, argv);
        } catch (const PrintMsgError&) {
            // The desktop application shows the reported errors; text mode ends here.
            if (store.textMode)
                throw;
        }
        if (!store.textMode) {
            const int result = runGui();
            store.stop();
            return result;
        }
        runTextMode();
        store.stop();
        return finishRun();
    } catch (const Exit& exit) {
        if (exit.code != kExitOk)
            return exit.code;
        return exit.inputsTaken ? finishRun() : finishOutput();
    } catch (const StartFailed&) {
        return failed();
    } catch (const PrintMsgError&) {
        return failed();
    } catch (const Glib::Exception& e) {
        // Reported in text mode too: the exit code alone would not say what went wrong.
        reportError("Glib: %s", e.what().c_str());
        return failed();
    } catch (const std::exception& e) {
        reportError("Exception: %s", e.what());
        return failed();
    }
}

} // namespace vistra
