#pragma once
// One labelled row of the preferences window, bound to a getter and setter pair of the
// settings: `load` shows the stored value, `store` writes the shown one back (the setter
// may refuse it) and shows what is stored then.
#include <glibmm/ustring.h>
#include <gtkmm/colorbutton.h>
#include <gtkmm/entry.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>

#include <functional>
#include <string>

namespace vistra {

// The numbers a row accepts: finite, within [low, high], or (low, high] when the low end
// is excluded. Anything else is refused like text that does not convert.
struct NumberRange {
    double low;
    double high;
    bool lowExcluded = false;

    bool contains(double value) const;
};

class SettingRow {
public:
    SettingRow(const Glib::ustring& label, const Glib::ustring& tip);
    virtual ~SettingRow() = default;
    SettingRow(const SettingRow&) = delete;
    SettingRow& operator=(const SettingRow&) = delete;

    virtual void load() {}
    virtual void store() {}
    virtual void attach(Gtk::Grid& grid, int row);

    Gtk::Entry entry;
    Gtk::Label nameLabel;
    Gtk::Label tipLabel;
};

class SettingRowStr : public SettingRow {
public:
    using Value = Glib::ustring;
    // `accept` (when set) decides which texts reach the setter; the others leave the
    // stored value as it is.
    SettingRowStr(const Glib::ustring& label, const Glib::ustring& tip, std::function<Value()> getter,
                  std::function<void(const Value&)> setter, std::function<bool(const Glib::ustring&)> accept = {});
    void load() override;
    void store() override;

    std::function<Value()> getter;
    std::function<void(const Value&)> setter;
    std::function<bool(const Glib::ustring&)> accept;
};

// Reads the leading number of the text ("12abc" is 12); an integer row shows the value as
// it is, a decimal one with six decimals. Text without a number, or a value outside
// `range`, leaves the stored value as it was.
template <typename T>
class SettingRowNumber : public SettingRow {
public:
    using Value = T;
    SettingRowNumber(const Glib::ustring& label, const Glib::ustring& tip, std::function<Value()> getter,
                     std::function<void(const Value&)> setter, NumberRange range);
    void load() override;
    void store() override;

    std::function<Value()> getter;
    std::function<void(const Value&)> setter;
    NumberRange range;
};

using SettingRowInt = SettingRowNumber<int>;
using SettingRowDouble = SettingRowNumber<double>;

// A colour button instead of the entry. Choosing a colour stores it, saves the settings
// and tells the views at once.
class SettingRowColor : public SettingRow {
public:
    using Value = Glib::ustring;
    SettingRowColor(const Glib::ustring& label, const Glib::ustring& tip, std::function<Value()> getter,
                    std::function<void(const Value&)> setter);
    void load() override;
    void store() override;
    void attach(Gtk::Grid& grid, int row) override;
    void onColorSet();

    std::function<Value()> getter;
    std::function<void(const Value&)> setter;
    Gtk::ColorButton colorButton;
};

// The colour as "#rrrrggggbbbb", the form the settings keep.
Glib::ustring colourText(const Gdk::RGBA& colour);

// True for a font text whose last word is a size within `range` ("10.0", "Sans Bold 12").
bool isFontWithSize(const Glib::ustring& text, const NumberRange& range);

// Saves the settings; a failure is reported as "Couldn't save settings: <reason>".
bool saveSettingsFile();

} // namespace vistra
