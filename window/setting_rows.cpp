#include "window/setting_rows.h"

#include "core/report.h"
#include "core/settings.h"
#include "store/store.h"
#include "views/handler_guard.h"

#include <glibmm/markup.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <type_traits>

namespace vistra {

bool NumberRange::contains(double value) const
{
    if (!std::isfinite(value) || value > high)
        return false;
    return lowExcluded ? value > low : value >= low;
}

SettingRow::SettingRow(const Glib::ustring& label, const Glib::ustring& tip)
{
    entry.set_width_chars(40);
    nameLabel.set_text(label + ": ");
    nameLabel.set_halign(Gtk::ALIGN_START);
    tipLabel.set_markup("<small>" + Glib::Markup::escape_text(tip) + "</small>");
    tipLabel.set_line_wrap(true);
    tipLabel.set_halign(Gtk::ALIGN_START);
}

void SettingRow::attach(Gtk::Grid& grid, int row)
{
    grid.attach(nameLabel, 0, row, 1, 1);
    grid.attach(entry, 1, row, 1, 1);
    grid.attach(tipLabel, 2, row, 1, 1);
}

SettingRowStr::SettingRowStr(const Glib::ustring& label, const Glib::ustring& tip, std::function<Value()> getter,
                             std::function<void(const Value&)> setter, std::function<bool(const Glib::ustring&)> accept)
    : SettingRow(label, tip), getter(std::move(getter)), setter(std::move(setter)), accept(std::move(accept))
{
    load();
}

void SettingRowStr::load() { entry.set_text(getter()); }

void SettingRowStr::store()
{
    const Glib::ustring text = entry.get_text();
    // An unchanged text is not written again: a default editor that is not installed
    // would otherwise be reported on every save.
    if (text != getter() && (!accept || accept(text)))
        setter(text);
    load();
}

template <typename T>
SettingRowNumber<T>::SettingRowNumber(const Glib::ustring& label, const Glib::ustring& tip,
                                      std::function<Value()> getter, std::function<void(const Value&)> setter,
                                      NumberRange range)
    : SettingRow(label, tip), getter(std::move(getter)), setter(std::move(setter)), range(range)
{
    load();
}

template <typename T>
void SettingRowNumber<T>::load()
{
    entry.set_text(std::to_string(getter()));
}

template <typename T>
void SettingRowNumber<T>::store()
{
    try {
        // "nan", "inf" and huge values convert to a double; the range refuses them.
        Value value;
        if constexpr (std::is_same_v<T, int>)
            value = std::stoi(entry.get_text().raw());
        else
            value = std::stod(entry.get_text().raw());
        if (range.contains(value))
            setter(value);
    } catch (const std::logic_error&) {
        // No digits, or beyond the type: the stored value stays.
    }
    load();
}

template class SettingRowNumber<int>;
template class SettingRowNumber<double>;

SettingRowColor::SettingRowColor(const Glib::ustring& label, const Glib::ustring& tip,
                                 std::function<Value()> getter, std::function<void(const Value&)> setter)
    : SettingRow(label, tip), getter(std::move(getter)), setter(std::move(setter))
{
    load();
    colorButton.signal_color_set().connect(
        [this] { guardHandler("Storing the colour", [this] { onColorSet(); }); });
}

void SettingRowColor::load()
{
    // A colour text the toolkit cannot read (a hand-edited file) leaves the button as it is.
    Gdk::RGBA colour;
    if (colour.set(getter()))
        colorButton.set_rgba(colour);
}

void SettingRowColor::store() { setter(colourText(colorButton.get_rgba())); }

void SettingRowColor::attach(Gtk::Grid& grid, int row)
{
    grid.attach(nameLabel, 0, row, 1, 1);
    grid.attach(colorButton, 1, row, 1, 1);
    grid.attach(tipLabel, 2, row, 1, 1);
}

void SettingRowColor::onColorSet()
{
    store();
    saveSettingsFile();
    // The colour is in use even when the file could not be written.
    Store& store = Store::instance();
    store.settingsChanged.emit();
    store.dataChanged.emit();
}

Glib::ustring colourText(const Gdk::RGBA& colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "#%04x%04x%04x", colour.get_red_u(), colour.get_green_u(),
                  colour.get_blue_u());
    return text;
}

bool isFontWithSize(const Glib::ustring& text, const NumberRange& range)
{
    const std::string raw = text.raw();
    const auto end = raw.find_last_not_of(' ');
    if (end == std::string::npos)
        return false;
    const auto blank = raw.find_last_of(' ', end);
    const std::size_t from = blank == std::string::npos ? 0 : blank + 1;
    const std::string size = raw.substr(from, end + 1 - from);
    try {
        std::size_t used = 0;
        const double value = std::stod(size, &used);
        // "12abc" would be read by the toolkit as a family name, not as a size.
        return used == size.size() && range.contains(value);
    } catch (const std::logic_error&) {
        return false;
    }
}

bool saveSettingsFile()
{
    Glib::ustring reason;
    if (Settings::instance()->save(reason))
        return true;
    reportError("Couldn't save settings: %s", reason.c_str());
    return false;
}

} // namespace vistra
