// The main window's file and folder dialogs: log files and folders, the DBC or VSD file,
// a new VSD file and the signal-list files.
#include "window/window.h"

#include "core/constants.h"
#include "core/report.h"
#include "core/settings.h"
#include "store/store.h"
#include "views/file_chooser.h"
#include "window/log_folder_walk.h"
#include "window/message_dialogs.h"
#include "window/new_vsd_file.h"

#include <glibmm/convert.h>
#include <glibmm/miscutils.h>

#include <string>
#include <vector>

namespace vistra {
namespace {

constexpr const char* kListGroup = "storetofile";

Glib::ustring folderOf(const Glib::ustring& file) { return Glib::path_get_dirname(file.raw()); }

// The folder of the VSD or DBC file in use, the VSD file first when `vsdFirst`; empty when none is set.
Glib::ustring definitionFolder(bool vsdFirst)
{
    Settings& settings = *Settings::instance();
    const Glib::ustring vsd = settings.getVsdFile();
    const Glib::ustring dbc = settings.getDbFile();
    const Glib::ustring& first = vsdFirst ? vsd : dbc;
    const Glib::ustring& second = vsdFirst ? dbc : vsd;
    if (first != kNoFile)
        return folderOf(first);
    if (second != kNoFile)
        return folderOf(second);
    return "";
}

// Where both log dialogs open: the folder of the last accepted one.
Glib::ustring& logFolder()
{
    static Glib::ustring folder = Settings::instance()->getLogPath();
    return folder;
}

// Both signal-list dialogs open where "list_path" pointed when the first of them opened.
const Glib::ustring& listFolder()
{
    static const Glib::ustring folder = Settings::instance()->getListPath();
    return folder;
}

} // namespace

void Window::openLogFiles()
{
    Gtk::FileChooserDialog dialog("Select log files", Gtk::FILE_CHOOSER_ACTION_OPEN);
    dialog.set_select_multiple(true);
    if (makeFileChooser(dialog, "Log files", "*.lz4", logFolder()) != Gtk::RESPONSE_OK)
        return;
    const std::vector<std::string> files = dialog.get_filenames();
    Store& store = Store::instance();
    store.clearLogFiles();
    // The names as the file system has them: they are what the files are opened by.
    for (const std::string& file : files)
        store.addLogFile(file.c_str());
    dialog.hide();
    reload(true);
    if (!store.hasLogFiles())
        reportInfo("No log files found");
    if (files.empty())
        return;
    logFolder() = utf8FileName(Glib::path_get_dirname(files.front()));
    Settings::instance()->setLogPath(logFolder());
    Settings::instance()->save();
}

void Window::openLogDirectories()
{
    Gtk::FileChooserDialog dialog("Select log directories", Gtk::FILE_CHOOSER_ACTION_SELECT_FOLDER);
    dialog.set_select_multiple(true);
    if (makeFileChooser(dialog, "Log directories", "*", logFolder()) != Gtk::RESPONSE_OK)
        return;
    const std::vector<std::string> folders = dialog.get_filenames();
    Store& store = Store::instance();
    store.clearLogFiles();
    for (const std::string& folder : folders)
        if (!collectLogFiles(folder, [&store](const std::string& file) { store.addLogFile(file.c_str()); }))
            reportWarning("Failed to open log directory: %s", utf8FileName(folder).c_str());
    dialog.hide();
    reload(true);
    if (!store.hasLogFiles())
        reportInfo("No log files found");
    if (folders.empty())
        return;
    // The parent, so that the next dialog shows the chosen folder among its siblings.
    logFolder() = utf8FileName(Glib::path_get_dirname(folders.front()));
    Settings::instance()->setLogPath(logFolder());
}

void Window::loadDbcFile() { loadDefinitionFile(false); }

void Window::loadVsdFile() { loadDefinitionFile(true); }

void Window::loadDefinitionFile(bool vsd)
{
    Gtk::FileChooserDialog dialog(vsd ? "Select VSD file" : "Select DBC file", Gtk::FILE_CHOOSER_ACTION_OPEN);
    if (makeFileChooser(dialog, vsd ? "VSD files" : "DBC files", vsd ? "*.vsd" : "*.dbc", definitionFolder(vsd)) !=
        Gtk::RESPONSE_OK)
        return;
    const std::string file = dialog.get_filename();
    if (file.empty())
        return;
    dialog.hide();
    // One definition file at a time: the other is forgotten.
    Settings& settings = *Settings::instance();
    settings.setVsdFile(vsd ? utf8FileName(file) : Glib::ustring(kNoFile));
    settings.setDbFile(vsd ? Glib::ustring(kNoFile) : utf8FileName(file));
    settings.save();
    reload(true);
}

void Window::createVsdFile()
{
    Gtk::FileChooserDialog dialog("Create new VSD file", Gtk::FILE_CHOOSER_ACTION_SAVE);
    if (makeFileChooser(dialog, "New VSD file", "*.vsd", definitionFolder(true)) != Gtk::RESPONSE_OK)
        return;
    const std::string chosen = dialog.get_filename();
    if (chosen.empty())
        return;
    const std::string file = withExtension(chosen, ".vsd");
    dialog.hide();
    if (!confirmOverwrite(file))
        return;
    Glib::ustring error;
    if (!replaceFileWithBackup(file, kNewVsdText, error)) {
        reportWarning("Couldn't create new VSD file: %s", error.c_str());
        return;
    }
    editVsdDbc(utf8FileName(file));
    Settings& settings = *Settings::instance();
    settings.setVsdFile(utf8FileName(file));
    settings.setDbFile(kNoFile);
    settings.save();
    reload(true);
}

void Window::storeSignalListFile()
{
    Gtk::FileChooserDialog dialog("Store signal list to file", Gtk::FILE_CHOOSER_ACTION_SAVE);
    if (makeFileChooser(dialog, "Signal list files", "*.bvlist", listFolder()) != Gtk::RESPONSE_OK)
        return;
    const std::string chosen = dialog.get_filename();
    if (chosen.empty())
        return;
    dialog.hide();
    const Glib::ustring file = utf8FileName(withExtension(chosen, ".bvlist"));
    Settings& settings = *Settings::instance();
    settings.storeSignalList(file, kListGroup);
    settings.setListPath(folderOf(file));
}

void Window::restoreSignalListFile()
{
    Gtk::FileChooserDialog dialog("Select signal list file", Gtk::FILE_CHOOSER_ACTION_OPEN);
    if (makeFileChooser(dialog, "Signal list files", "*.bvlist", listFolder()) != Gtk::RESPONSE_OK)
        return;
    const std::string chosen = dialog.get_filename();
    if (chosen.empty())
        return;
    dialog.hide();
    const Glib::ustring file = utf8FileName(chosen);
    Settings& settings = *Settings::instance();
    if (!settings.loadSignalList(file, kListGroup))
        return;
    settings.setListPath(folderOf(file));
    dataList.refreshActiveMarks();
    statList.refreshActiveMarks();
}

} // namespace vistra
