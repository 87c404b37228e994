#pragma once
// The dialog that starts a live connection to a logger: connection name, logger address
// (host, optionally ":port") and encryption key. Connect hands them to the Store, which
// streams into the main window, and the dialog closes when the attempt has ended. The
// fields can be saved to and read from ".bvlive" files.
#include <glibmm/ustring.h>
#include <gtkmm/button.h>
#include <gtkmm/dialog.h>
#include <gtkmm/entry.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/separator.h>
#include <gtkmm/spinner.h>

namespace vistra {

class ConnectLiveDialog : public Gtk::Dialog {
public:
    ConnectLiveDialog();

    // Shows the dialog; the first time, filled from the running connection or the
    // current-connection file.
    void open();
    // Starts a connection with the fields (also a restart of the running one).
    void connectLive();
    void onConnectClicked() { connectLive(); }
    bool onKeyPress(GdkEventKey* event);
    // The Store's attempt has ended, successful or not.
    void endConnecting();
    void refreshFromLive();
    void saveLiveFile();
    void openLiveFile();

    Gtk::Grid grid;
    Gtk::Entry nameEntry;
    Gtk::Entry addressEntry;
    Gtk::Entry keyEntry;
    Gtk::Label nameLabel{"Connection name: "};
    Gtk::Label addressLabel{"Logger address: "};
    Gtk::Label keyLabel{"Encryption key: "};
    Gtk::Button connectButton{"_Connect", true};
    Gtk::Button openButton{"_Open", true};
    Gtk::Button saveButton{"_Save", true};
    Gtk::Spinner spinner;
    Gtk::Separator separator{Gtk::ORIENTATION_HORIZONTAL};
    bool connecting = false;
    bool needsRefresh = true;
    // DBC or VSD path of an opened file, applied by the next connect.
    Glib::ustring vsdFromFile;
    Glib::ustring dbcFromFile;

private:
    int runLiveFileChooser(Gtk::FileChooserDialog& chooser, const Glib::ustring& folder);
};

} // namespace vistra
