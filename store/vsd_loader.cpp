// The VSD reader: the [settings] group (interfaces and their DBC files, includes, legacy
// flags) and the signal groups, read in passes until no further signal can be made.
#include "store/store.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "core/signal.h"
#include "virtual/method_factory.h"
#include "virtual/virtual_message.h"

#include <glibmm/exception.h>
#include <glibmm/miscutils.h>
#include <glibmm/unicode.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vistra {
namespace {

constexpr u32 kVsdIfaceCount = 32;

enum class VsdRead { Loaded, Unreadable, Failed };

// A problem with the VSD file itself is a WRN after which the load goes on without the
// file; for a required file it is an ERR, and endIfRequired ends the load.
Level problemLevel(DefinitionFile need) { return need == DefinitionFile::Required ? Level::Error : Level::Warning; }

void endIfRequired(DefinitionFile need)
{
    if (need == DefinitionFile::Required)
        throw PrintMsgError();
}

// Reads a VSD file into `file`. A file that cannot be opened is skipped without a word
// unless it is required. Anything but a regular file (a FIFO would block the start-up) is
// an ERR; a file that the key-file parser refuses is reported at problemLevel. A required
// file ends the load in each case.
VsdRead readVsdFile(Glib::KeyFile& file, const Glib::ustring& path, DefinitionFile need)
{
    RegularFile in(path.raw());
    if (!in.ok() && !in.irregular()) {
        if (need == DefinitionFile::Required)
            fail("Could not open VSD file %s, %s", path.c_str(), in.problem().c_str());
        return VsdRead::Unreadable;
    }
    std::string text;
    if (!in.ok() || !in.readAll(text)) {
        const std::string problem = in.ok() ? std::strerror(errno) : in.problem();
        reportError("Failed to parse VSD file %s, %s", path.c_str(), problem.c_str());
        endIfRequired(need);
        return VsdRead::Failed;
    }
    try {
        file.load_from_data(text);
    } catch (const Glib::Error& e) {
        report(problemLevel(need), "Failed to parse VSD file %s, %s", path.c_str(), e.what().c_str());
        endIfRequired(need);
        return VsdRead::Failed;
    }
    return VsdRead::Loaded;
}

// A path of a VSD file taken relative to the directory of the file that names it.
Glib::ustring resolve(const Glib::ustring& path, const Glib::ustring& namedIn)
{
    if (Glib::path_is_absolute(path))
        return path;
    return Glib::build_filename(Glib::path_get_dirname(namedIn), path);
}

// Interface names: letters and digits of any script, '_', ':' and '-'.
bool validIfaceName(const Glib::ustring& name)
{
    if (!name.validate())
        return false;
    for (gunichar c : name)
        if (Glib::Unicode::isspace(c) || !(Glib::Unicode::isalnum(c) || c == '_' || c == ':' || c == '-'))
            return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

} // namespace

void Store::loadVsd(const Glib::ustring& path, DefinitionFile need)
{
    Glib::KeyFile file;
    if (readVsdFile(file, path, need) != VsdRead::Loaded)
        return;

    std::list<Glib::ustring> includes;
    std::list<Glib::ustring> postincludes;
    if (!file.has_group("settings")) {
        if (!csvInput) {
            report(problemLevel(need), "VSD file '%s' does not have a settings group", path.c_str());
            endIfRequired(need);
            return;
        }
    } else {
        try {
            parseVsdSettings(file, path, includes, postincludes);
        } catch (const Glib::KeyFileError& e) {
            report(problemLevel(need), "Failed to parse settings group of %s,\n%s", path.c_str(), e.what().c_str());
            endIfRequired(need);
            return;
        }
    }
    createBuiltinSignals();
    addIface("Virt", kVirtualIface);

    // A group whose inputs are defined further down, or in a later file, builds in a later
    // pass; when a pass makes nothing new, one last pass reports what still fails.
    vsdFinalPass = false;
    for (;;) {
        vsdPassProgress = false;
        vsdPassFailures = false;
        loadVsdIncludes(includes, path);
        parseVsdGroups(file, path);
        loadVsdIncludes(postincludes, path);
        if (vsdPassProgress)
            continue;
        if (!vsdPassFailures || vsdFinalPass)
            break;
        vsdFinalPass = true;
    }
    vsdIsLoaded = true;
}

int Store::parseVsdSettings(Glib::KeyFile& file, const Glib::ustring& path, std::list<Glib::ustring>& includes,
                            std::list<Glib::ustring>& postincludes)
{
    const Glib::ustring group = "settings";
    bool declared = false;
    for (u32 n = 0; n < kVsdIfaceCount; ++n) {
        const Glib::ustring nameKey = "ifname_" + std::to_string(n);
        const Glib::ustring filesKey = "dbcfile_" + std::to_string(n);
        const bool hasName = file.has_key(group, nameKey);
        Glib::ustring name;
        if (hasName) {
            name = file.get_value(group, nameKey);
            if (!validIfaceName(name))
                fail("CAN interface name \"%s\" uses non supported characters.\nOnly alpha numeric characters and "
                     "\"_ : -\" are allowed.\nNo spaces are allowed.",
                     name.c_str());
            if (name.empty())
                fail("Failed to parse %s, name for interface %lu can not be empty", path.c_str(),
                     static_cast<unsigned long>(n));
        }
        std::vector<Glib::ustring> files;
        if (file.has_key(group, filesKey))
            files = file.get_string_list(group, filesKey);
        if (hasName && !files.empty()) {
            for (const Glib::ustring& dbc : files)
                loadDbc(resolve(dbc, path), n, name);
            declared = true;
            highestIface = std::max(highestIface, n);
        } else if (hasName) {
            fail("Failed to parse %s, could not find DBC file for interface %lu", path.c_str(),
                 static_cast<unsigned long>(n));
        } else if (!files.empty()) {
            fail("Failed to parse %s, could not find name for interface %lu", path.c_str(),
                 static_cast<unsigned long>(n));
        }
    }
    if (!declared && file.has_key(group, "dbcfile")) {
        loadDbc(resolve(file.get_value(group, "dbcfile"), path), 0, "Can");
        legacyGps = true;
        legacyNames = true;
    }
    if (file.has_key(group, "legacygps"))
        legacyGps = file.get_boolean(group, "legacygps");
    for (auto [key, list] : {std::pair{"include", &includes}, std::pair{"postinclude", &postincludes}}) {
        if (file.has_key(group, key)) {
            const std::vector<Glib::ustring> names = file.get_string_list(group, key);
            list->assign(names.begin(), names.end());
        }
    }
    return 0;
}

void Store::loadVsdIncludes(std::list<Glib::ustring>& files, const Glib::ustring& vsdPath)
{
    for (const Glib::ustring& entry : files) {
        const Glib::ustring path = resolve(entry, vsdPath);
        Glib::KeyFile file;
        const VsdRead read = readVsdFile(file, path, DefinitionFile::Optional);
        if (read == VsdRead::Unreadable)
            continue;
        if (read == VsdRead::Failed)
            return;
        // Only the signal groups: an included file's own settings (and includes) are not read.
        parseVsdGroups(file, path);
    }
}

void Store::parseVsdGroups(Glib::KeyFile& file, const Glib::ustring& path)
{
    auto virt = getIface(kVirtualIface);
    if (!virt)
        return;
    for (const Glib::ustring& group : file.get_groups()) {
        const std::string& g = group.raw();
        if (g.empty()) {
            reportWarning("Failed to parse VSD file %s, group can not be empty", path.c_str());
            return;
        }
        if (g == "settings")
            continue;
        if (g.front() == '.' || g.back() == '.') {
            reportWarning("Failed to parse VSD file %s, signal '%s' must not %s with '.'", path.c_str(), g.c_str(),
                          g.front() == '.' ? "start" : "end");
            return;
        }
        const std::size_t dot = g.find('.');
        if (dot != std::string::npos && g.find('.', dot + 1) != std::string::npos) {
            reportWarning("Failed to parse VSD file %s, signal: %s, is not formatted as <msgName>.<sigName>",
                          path.c_str(), g.c_str());
            return;
        }
        for (char c : g) {
            if (isBlank(c)) {
                reportWarning("Failed to parse VSD file %s, signal '%s' contains spaces", path.c_str(), g.c_str());
                return;
            }
        }
        const Glib::ustring msgName = dot == std::string::npos ? std::string("Virtual") : g.substr(0, dot);
        const Glib::ustring sigName = dot == std::string::npos ? group : Glib::ustring(g.substr(dot + 1));

        bool failed = true;
        std::string error;
        try {
            std::shared_ptr<VirtualMessage> msg;
            try {
                msg = std::dynamic_pointer_cast<VirtualMessage>(virt->getMessageByName(msgName));
            } catch (const SignalNotFoundException&) {
                msg = VirtualMessage::create(msgName, kVirtualIface);
                msg->iface = virt; // also when another store is the installed one
                virt->addMessage(msg);
            }
            if (!msg)
                throw std::invalid_argument("Message " + msgName.raw() + " is not a virtual message");
            if (msg->signalsByName.count(sigName.raw()) != 0)
                continue; // made in an earlier pass
            createVirtualSignal(msg, group, sigName, file, path);
            failed = false;
        } catch (const SignalNotFoundException& e) {
            error = e.message;
        } catch (const PrintMsgError&) {
            error = "see the error above"; // reported by whoever threw it
        } catch (const std::exception& e) {
            error = e.what();
        } catch (const Glib::Exception& e) {
            error = e.what().raw();
        } catch (...) {
            error = "Unknown error";
        }
        if (!failed) {
            vsdPassProgress = true;
        } else {
            vsdPassFailures = true;
            if (vsdFinalPass)
                reportWarning("VSD parse error: %s", error.c_str());
        }
    }
}

} // namespace vistra
