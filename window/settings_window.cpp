#include "window/settings_window.h"

#include "core/settings.h"
#include "store/store.h"
#include "views/handler_guard.h"

#include <gdk/gdkkeysyms.h>
#include <glibmm/main.h>

#include <climits>
#include <tuple>

namespace vistra {
namespace {

constexpr const char* kSaved = "Changes saved";
constexpr int kStatusMs = 3000;

// What each number means to its user: an interval in ms, a size in points or pixels, an
// opacity. The bounds keep values out that the plots and lists cannot draw with.
constexpr NumberRange kInterval{1, INT_MAX};
constexpr NumberRange kFontSize{1, 100};
constexpr NumberRange kLineWidth{0, 100, true};
constexpr NumberRange kOpacity{0, 1};

// A row of class Row bound to a getter and setter of the process's settings.
template <class Row, class Value, class Param, class... Extra>
std::unique_ptr<SettingRow> makeRow(const char* label, const char* tip, Value (Settings::*get)(),
                                    void (Settings::*set)(Param), Extra... extra)
{
    return std::make_unique<Row>(
        label, tip, [get] { return (Settings::instance()->*get)(); },
        [set](const typename Row::Value& value) { (Settings::instance()->*set)(value); }, extra...);
}

bool isListFont(const Glib::ustring& text) { return isFontWithSize(text, kFontSize); }

} // namespace

SettingsWindow::SettingsWindow()
{
    set_title("Preferences");
    set_resizable(false);
    add(box);

    generalRows.push_back(makeRow<SettingRowInt>("Bitrate interval", "Averaging interval for bitrate signals (ms)",
                                                 &Settings::getBitrateInterval, &Settings::setBitrateInterval,
                                                 kInterval));
    generalRows.push_back(makeRow<SettingRowStr>("Text editor", "Editor to use for editing VSD and DBC files.",
                                                 &Settings::getDefaultEditor, &Settings::setDefaultEditor));

    plotRows.push_back(makeRow<SettingRowInt>("Ruler font size", "Size of text on ruler", &Settings::getFontSize,
                                              &Settings::setFontSize, kFontSize));
    plotRows.push_back(makeRow<SettingRowDouble>("Ruler transparency", "Ruler transparency in percent",
                                                 &Settings::getRulerTransparency, &Settings::setRulerTransparency,
                                                 kOpacity));
    plotRows.push_back(makeRow<SettingRowDouble>("Line width", "Width of plotted signals", &Settings::getLineWidth,
                                                 &Settings::setLineWidth, kLineWidth));
    plotRows.push_back(makeRow<SettingRowColor>("Default Signal Color", "Select default color of signals",
                                                &Settings::getDefSigColor, &Settings::setDefSigColor));
    plotRows.push_back(makeRow<SettingRowColor>("Background Color", "Background color", &Settings::getBgColor,
                                                &Settings::setBgColor));
    plotRows.push_back(makeRow<SettingRowColor>("Ruler Color", "Ruler color", &Settings::getRulerColor,
                                                &Settings::setRulerColor));
    plotRows.push_back(makeRow<SettingRowColor>("Grid Color", "Grid Color", &Settings::getGridColor,
                                                &Settings::setGridColor));
    plotRows.push_back(makeRow<SettingRowColor>("Ruler Text Color", "Ruler Text Color", &Settings::getRulerTextColor,
                                                &Settings::setRulerTextColor));
    plotRows.push_back(makeRow<SettingRowDouble>("Ruler Text Transparency", "Ruler Text Transparency",
                                                 &Settings::getRulerTxtTransparency,
                                                 &Settings::setRulerTxtTransparency, kOpacity));
    plotRows.push_back(makeRow<SettingRowColor>("Ruler Txt Background color", "Ruler Txt Background color",
                                                &Settings::getRulerTextBackgroundColor,
                                                &Settings::setRulerTextBackgroundColor));
    plotRows.push_back(makeRow<SettingRowDouble>("Ruler Txt Background transp", "Ruler Txt Background transp",
                                                 &Settings::getRulerTxtBackgroundTransparency,
                                                 &Settings::setRulerTxtBackgroundTransparency, kOpacity));

    listRows.push_back(makeRow<SettingRowStr>("Font size", "Size of text in signal list", &Settings::getListFont,
                                              &Settings::setListFont, &isListFont));

    for (auto [frame, grid, rows] : {std::tuple{&generalFrame, &generalGrid, &generalRows},
                                     std::tuple{&plotFrame, &plotGrid, &plotRows},
                                     std::tuple{&listFrame, &listGrid, &listRows}}) {
        frame->set_margin_top(10);
        frame->set_margin_bottom(10);
        frame->set_margin_start(10);
        frame->set_margin_end(10);
        frame->add(*grid);
        for (auto& row : *rows)
            row->attach(*grid, grid->nextRow++);
        grid->set_column_spacing(10);
        grid->set_row_spacing(5);
        grid->set_margin_top(5);
        grid->set_margin_bottom(5);
        grid->set_margin_start(5);
        grid->set_margin_end(5);
        box.pack_start(*frame, Gtk::PACK_SHRINK);
    }

    saveButton.set_margin_top(10);
    saveButton.set_margin_bottom(10);
    saveButton.set_margin_start(10);
    saveButton.set_margin_end(10);
    saveButton.set_halign(Gtk::ALIGN_END);
    box.pack_start(saveButton, Gtk::PACK_SHRINK);
    statusLabel.set_halign(Gtk::ALIGN_START);
    statusLabel.set_margin_start(10);
    statusLabel.set_margin_bottom(5);
    box.pack_start(statusLabel, Gtk::PACK_SHRINK);

    saveButton.signal_clicked().connect([this] { guardHandler("Saving the preferences", [this] { saveSettings(); }); });
    signal_key_press_event().connect(
        [this](GdkEventKey* event) {
            return guardHandler("Saving the preferences", false, [&] { return onKeyPress(event); });
        },
        false);
    show_all_children();
}

void SettingsWindow::open()
{
    show();
    present();
}

void SettingsWindow::saveSettings()
{
    for (auto* rows : {&generalRows, &plotRows, &listRows})
        for (auto& row : *rows)
            row->store();
    if (saveSettingsFile()) {
        statusLabel.set_text(kSaved);
        // Each save clears the notice 3 s later, so the earliest pending save decides.
        Glib::signal_timeout().connect_once(sigc::mem_fun(*this, &SettingsWindow::onStatusTimeout), kStatusMs);
    } else {
        // An earlier notice must not stand for this save.
        statusLabel.set_text("");
    }
    // What was stored is in use now, written or not.
    Store& store = Store::instance();
    store.settingsChanged.emit();
    store.dataChanged.emit();
}

bool SettingsWindow::onKeyPress(GdkEventKey* event)
{
    if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter)
        saveSettings();
    return false;
}

void SettingsWindow::onStatusTimeout()
{
    if (statusLabel.get_text() == kSaved)
        statusLabel.set_text("");
}

} // namespace vistra
