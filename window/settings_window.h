#pragma once
// The "Preferences" window: the appearance and general settings in three frames. "Save
// changes" (or Enter) writes every row, saves the settings file and tells the signal list
// and the plots to read them again; a colour takes effect as soon as it is chosen.
#include "window/setting_rows.h"

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/frame.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <memory>
#include <vector>

namespace vistra {

class SettingGrid : public Gtk::Grid {
public:
    int nextRow = 0;
};

class SettingsWindow : public Gtk::Window {
public:
    // The rows read the settings here, once; reopening the window does not read them again.
    SettingsWindow();

    void open();
    // Stores every row and saves the file. "Changes saved" shows for 3 s only when the
    // file was written; a failure is reported and clears the notice.
    void saveSettings();
    // Return and keypad Enter save; the key still goes on to the focused widget.
    bool onKeyPress(GdkEventKey* event);
    void onStatusTimeout();

    Gtk::Box box{Gtk::ORIENTATION_VERTICAL, 0};
    Gtk::Frame generalFrame{"General"};
    Gtk::Frame plotFrame{"Plot"};
    Gtk::Frame listFrame{"Signal list"};
    SettingGrid generalGrid;
    SettingGrid plotGrid;
    SettingGrid listGrid;
    std::vector<std::unique_ptr<SettingRow>> generalRows;
    std::vector<std::unique_ptr<SettingRow>> plotRows;
    std::vector<std::unique_ptr<SettingRow>> listRows;
    Gtk::Button saveButton{"Save changes"};
    Gtk::Label statusLabel;
};

} // namespace vistra
