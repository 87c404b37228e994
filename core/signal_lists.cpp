// The stored signal lists of the settings: which signals are enabled, kept per VSD or DBC
// file in the signal-list file and in list files of the user's choosing.
#include "core/settings.h"

#include "core/constants.h"
#include "core/link_target.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "core/signal.h"
#include "core/store_host.h"

#include <glibmm/convert.h>
#include <glibmm/fileutils.h>


#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>

namespace vistra {
namespace {

constexpr const char* kListKey = "signalList";

// Seconds since the epoch as the list files store them: 32 bits.
int coarseSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return static_cast<int>(static_cast<std::int32_t>(now.tv_sec));
}

} // namespace

Glib::ustring Settings::currentListSource()
{
    const Glib::ustring vsd = getVsdFile();
    return vsd != kNoFile ? vsd : getDbFile();
}

Glib::ustring Settings::signalListGroup()
{
    const Glib::ustring source = currentListSource();
    std::lock_guard lock(mutex);
    listSource = source;
    if (listSource == kNoFile)
        return {};
    // The group names already stored in users' files depend on this very hash (libstdc++'s).
    return "sigList_" + std::to_string(std::hash<std::string>{}(listSource.raw()));
}

bool Settings::loadSignalList(const Glib::ustring& file, const Glib::ustring& group)
{
    std::string content;
    {
        // Not a blocking open: a FIFO chosen as the list would hold the GUI for good.
        RegularFile in(Glib::filename_from_utf8(file));
        if (!in.ok() || !in.readAll(content)) {
            reportError("Couldn't read %s, %s", file.c_str(), in.ok() ? std::strerror(errno) : in.problem().c_str());
            return false;
        }
    }
    std::string names;
    {
        std::lock_guard lock(mutex);
        try {
            listKeyFile.load_from_data(content);
        } catch (const Glib::KeyFileError&) {
            return false;
        }
        // The list is read before anything is switched off: a group without it must not
        // cost the user the current selection.
        if (group.empty() || !listKeyFile.has_group(group) || !listKeyFile.has_key(group, kListKey))
            return false;
        names = listKeyFile.get_string(group, kListKey).raw();
    }
    const StoreHost& host = storeHost();
    SelectionBatch batch;
    host.forEachSignal([](Signal& s) { s.setEnabled(false); });
    // Each name ends with ';'; whatever follows the last one is no name.
    for (std::size_t start = 0, end; (end = names.find(';', start)) != std::string::npos; start = end + 1) {
        try {
            host.findSignal(names.substr(start, end - start))->setEnabled(true);
        } catch (const std::exception&) {
            // A signal that no longer exists is left out.
        }
    }
    return true;
}

void Settings::storeSignalList(const Glib::ustring& file, const Glib::ustring& group)
{
    if (group.empty())
        return;
    std::string names;
    storeHost().forEachSignal([&names](Signal& s) {
        if (s.enabled)
            names += s.fullName.raw() + ";";
    });
    const Glib::ustring source = currentListSource();

    // The save puts a new file in place of `target`: another user's link there would be
    // replaced, and is not followed either.
    const std::string target = linkTarget(Glib::filename_from_utf8(file));
    if (isAnotherUsersLink(target)) {
        reportWarning("%s belongs to another user and is left as it is", file.c_str());
        return;
    }
    std::string content;
    {
        // Nothing here waits on a FIFO (nor would the save, which puts a new file in its
        // place): something else than a regular file is refused. A link put in place of
        // the target since is refused too, not read.
        RegularFile in(target, false);
        if (in.irregular()) {
            reportError("Couldn't write %s, %s", file.c_str(), in.problem().c_str());
            return;
        }
        if (in.missing()) {
            if (!createMissingFile(target)) {
                reportWarning("Couldn't create %s", file.c_str());
                return;
            }
        } else if (!in.ok() || !in.readAll(content)) {
            reportWarning("Couldn't read %s, %s", file.c_str(), in.ok() ? std::strerror(errno) : in.problem().c_str());
            return;
        }
    }
    std::lock_guard lock(mutex);
    try {
        listKeyFile.load_from_data(content);
    } catch (const Glib::Error& e) {
        // Writing now would replace whatever the file holds with this one group.
        reportWarning("Couldn't read %s, %s", file.c_str(), e.what().c_str());
        return;
    }
    listSource = source;
    listKeyFile.set_string(group, "file", listSource);
    listKeyFile.set_integer(group, "time", coarseSeconds());
    listKeyFile.set_string(group, kListKey, names);
    try {
        listKeyFile.save_to_file(target);
    } catch (const Glib::Error& e) {
        reportWarning("Couldn't write %s, %s", file.c_str(), e.what().c_str());
    }
}

// Another user's signal-list file was reported at start-up; nothing more is said of it.
bool Settings::restoreSelectedSignals()
{
    // Nothing stored yet is no error.
    if (listsKept || !Glib::file_test(Glib::filename_from_utf8(listPath), Glib::FILE_TEST_EXISTS))
        return false;
    return loadSignalList(listPath, signalListGroup());
}

void Settings::storeSelectedSignals()
{
    if (!listsKept)
        storeSignalList(listPath, signalListGroup());
}

} // namespace vistra
