#include "window/live_dialog.h"

#include "core/constants.h"
#include "core/report.h"
#include "core/settings.h"
#include "store/live_file.h"
#include "store/store.h"
#include "views/dialog_runner.h"
#include "views/file_chooser.h"
#include "views/handler_guard.h"
#include "window/live_address.h"
#include "window/message_dialogs.h"
#include "window/window.h"

#include <glibmm/convert.h>
#include <glibmm/miscutils.h>
#include <gtkmm/messagedialog.h>

namespace vistra {
namespace {

constexpr const char* kPlaceholderHost = "logger.local";

} // namespace

ConnectLiveDialog::ConnectLiveDialog()
{
    set_title("Connect live to logger");
    nameEntry.set_text("Live connection");
    addressEntry.set_text(kPlaceholderHost);
    nameEntry.set_tooltip_text("Descriptive name of this connection.");
    nameLabel.set_tooltip_text("Descriptive name of this connection.");
    addressLabel.set_tooltip_text("Logger DNS or IP address");
    addressEntry.set_tooltip_text("Logger DNS or IP address <server>:<port>");
    keyLabel.set_tooltip_text("Leave blank if encryption is not enabled");
    keyEntry.set_tooltip_text("Leave blank if encryption is not enabled.");
    openButton.set_tooltip_text("Open stored live connection.");
    saveButton.set_tooltip_text("Store this connection to file.");

    for (Gtk::Label* label : {&nameLabel, &addressLabel, &keyLabel})
        label->set_halign(Gtk::ALIGN_START);
    grid.set_column_spacing(5);
    grid.set_row_spacing(5);
    grid.attach(nameLabel, 0, 0);
    grid.attach(nameEntry, 1, 0, 2, 1);
    grid.attach(addressLabel, 0, 1);
    grid.attach(addressEntry, 1, 1, 2, 1);
    grid.attach(keyLabel, 0, 2);
    grid.attach(keyEntry, 1, 2, 2, 1);
    grid.attach(saveButton, 1, 3);
    grid.attach(openButton, 2, 3);
    addressEntry.set_hexpand(true);
    keyEntry.set_hexpand(true);
    separator.set_margin_top(10);
    separator.set_margin_bottom(10);

    Gtk::Box* content = get_content_area();
    content->pack_end(spinner, true, true, 0);
    content->pack_end(connectButton, true, true, 0);
    content->pack_end(separator, true, true, 0);
    content->pack_end(grid, true, true, 0);

    Store::instance().connectFinished.connect(
        [this] { guardHandler("Ending the connection attempt", [this] { endConnecting(); }); });
    connectButton.signal_clicked().connect(
        [this] { guardHandler("Connecting to the logger", [this] { onConnectClicked(); }); });
    signal_key_press_event().connect(
        [this](GdkEventKey* event) {
            return guardHandler("Connecting to the logger", false, [&] { return onKeyPress(event); });
        },
        false);
    saveButton.signal_clicked().connect(
        [this] { guardHandler("Saving the live connection", [this] { saveLiveFile(); }); });
    openButton.signal_clicked().connect(
        [this] { guardHandler("Opening a live connection", [this] { openLiveFile(); }); });

    spinner.start();
    show_all_children();
    spinner.hide();
    resize(500, get_allocated_height());
}

void ConnectLiveDialog::open()
{
    if (needsRefresh) {
        refreshFromLive();
        needsRefresh = false;
    }
    show();
}

void ConnectLiveDialog::connectLive()
{
    Store& store = Store::instance();
    if (store.isBusy()) {
        hide();
        return;
    }
    if (needsRefresh) {
        refreshFromLive();
        needsRefresh = false;
    }
    connecting = true;
    spinner.show();
    connectButton.hide();
    addressEntry.set_sensitive(false);
    keyEntry.set_sensitive(false);

    store.key = keyEntry.get_text();
    const auto [server, portText] = splitAtFirst(addressEntry.get_text().raw(), ":");
    const u32 port = livePortFromText(portText);
    // The running stream ends (and its job leaves) before the model is rebuilt.
    if (store.networkMode)
        store.stopLiveStream();

    Settings& settings = *Settings::instance();
    if (!vsdFromFile.empty()) {
        settings.setDbFile(kNoFile);
        settings.setVsdFile(vsdFromFile);
        settings.save();
    } else if (!dbcFromFile.empty()) {
        settings.setVsdFile(kNoFile);
        settings.setDbFile(dbcFromFile);
        settings.save();
    }
    vsdFromFile.clear();
    dbcFromFile.clear();

    store.port = port;
    store.host = server;
    store.networkMode = true;
    store.live = true;
    store.title = nameEntry.get_text();

    vistra::Window& window = vistra::Window::instance();
    window.set_title(store.title);
    window.reload(false);
    store.writeLiveFile();
    store.refreshPlotSignals();
    store.emitDataChanged();
    store.requestParse();
}

bool ConnectLiveDialog::onKeyPress(GdkEventKey* event)
{
    if (!connecting && (event->keyval == 0xff0d || event->keyval == 0xff8d))
        connectLive();
    return false;
}

void ConnectLiveDialog::endConnecting()
{
    hide();
    spinner.hide();
    connectButton.show();
    addressEntry.set_sensitive(true);
    keyEntry.set_sensitive(true);
    connecting = false;
}

void ConnectLiveDialog::refreshFromLive()
{
    Store& store = Store::instance();
    if (store.networkMode) {
        nameEntry.set_text("Live connection");
        addressEntry.set_text(composeLiveAddress(store.host.raw(), std::to_string(store.port)));
        keyEntry.set_text(store.key);
        return;
    }
    LiveFileEntries entries;
    if (!readOwnLiveFile(store.liveFilePath.raw(), entries))
        return;
    // The program writes absolute paths into this file: they are taken as they stand.
    if (entries.vsd && !store.vsdLoaded())
        vsdFromFile = *entries.vsd;
    if (entries.dbc && !store.dbcLoaded())
        dbcFromFile = *entries.dbc;
    const std::string server = entries.server.value_or("");
    if (server.empty())
        return;
    addressEntry.set_text(composeLiveAddress(server, entries.port.value_or("")));
    keyEntry.set_text(entries.key.value_or(""));
    nameEntry.set_text(entries.title.value_or(""));
}

int ConnectLiveDialog::runLiveFileChooser(Gtk::FileChooserDialog& chooser, const Glib::ustring& folder)
{
    return vistra::Window::instance().makeFileChooser(chooser, "BVLive files", "*.bvlive", folder);
}

void ConnectLiveDialog::saveLiveFile()
{
    Settings& settings = *Settings::instance();
    std::string path;
    {
        Gtk::FileChooserDialog chooser("Select file to save to", Gtk::FILE_CHOOSER_ACTION_SAVE);
        if (runLiveFileChooser(chooser, settings.getLivePath()) != Gtk::RESPONSE_OK)
            return;
        path = chooser.get_filename();
        chooser.hide();
    }
    if (path.empty())
        return;
    const std::string suffix = ".bvlive";
    if (path.size() < suffix.size() || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
        path += suffix;
    // The ".bvlive" suffix is added after the file dialog has run, so its own overwrite
    // check never saw the final name: the question is asked here.
    if (!confirmOverwrite(path))
        return;

    auto [server, portText] = splitAtFirst(addressEntry.get_text().raw(), ":");
    if (portText.empty())
        portText = "777";
    // Written as typed: a bad port is reported when the file is used to connect.
    const std::string text = liveFileText(nameEntry.get_text().raw(), server, portText, keyEntry.get_text().raw());
    if (!writePrivateFile(path, text, PrivateFile::Chosen)) {
        reportWarning("Couldn't create %s", utf8FileName(path).c_str());
        return;
    }
    settings.setLivePath(utf8FileName(Glib::path_get_dirname(path)));
    settings.save();
}

void ConnectLiveDialog::openLiveFile()
{
    Settings& settings = *Settings::instance();
    std::string path;
    {
        Gtk::FileChooserDialog chooser("Select file to open", Gtk::FILE_CHOOSER_ACTION_OPEN);
        if (runLiveFileChooser(chooser, settings.getLivePath()) != Gtk::RESPONSE_OK)
            return;
        path = chooser.get_filename();
        chooser.hide();
    }
    LiveFileEntries entries;
    if (path.empty() || !readLiveFileEntries(path, entries)) {
        reportWarning("Couldn't open %s", utf8FileName(path).c_str());
        return;
    }
    settings.setLivePath(utf8FileName(Glib::path_get_dirname(path)));
    settings.save();

    vsdFromFile.clear();
    dbcFromFile.clear();
    if (entries.title)
        nameEntry.set_text(*entries.title);
    if (entries.key)
        keyEntry.set_text(*entries.key);
    if (entries.vsd)
        vsdFromFile = utf8FileName(resolveLivePath(path, *entries.vsd));
    if (entries.dbc)
        dbcFromFile = utf8FileName(resolveLivePath(path, *entries.dbc));
    const std::string server = entries.server.value_or("");
    if (!server.empty())
        addressEntry.set_text(composeLiveAddress(server, entries.port.value_or("")));
}

} // namespace vistra
