#include "editor/input_rows.h"

#include "core/parse_number.h"
#include "core/report.h"

#include <glib.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <type_traits>

namespace vistra {

SigListModCols::SigListModCols() { add(name); }

SigListModCols& sigListModCols()
{
    static SigListModCols cols;
    return cols;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::invalid_argument notANumber(const Glib::ustring& key, const Glib::ustring& text, const char* kind)
{
    return std::invalid_argument(key.raw() + ": \"" + text.raw() + "\" is not " + kind);
}

} // namespace

std::string decimalText(double value)
{
    char fixed[64];
    std::snprintf(fixed, sizeof fixed, "%f", value);
    if (std::strtod(fixed, nullptr) == value)
        return fixed;
    // Shortest text that reads back as the same double, never with an exponent, since the
    // typing filter would not let the user touch one.
    std::array<char, 400> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed);
    if (ec != std::errc())
        return fixed;
    return std::string(buf.data(), end);
}

double readDecimal(const Glib::ustring& key, const Glib::ustring& text)
{
    // A fraction without its integer part (".5", ",5") is what std::stod reads too.
    std::string number = text.raw();
    std::size_t first = number.find_first_not_of(" \t");
    if (first != std::string::npos && (number[first] == '-' || number[first] == '+'))
        ++first;
    if (first + 1 < number.size() && (number[first] == '.' || number[first] == ',') &&
        g_ascii_isdigit(number[first + 1]))
        number = number.substr(0, first) + '0' + number.substr(first);
    const char* s = number.c_str();
    const char* end = s;
    const double value = parseNumber(s, &end);
    if (end == s)
        throw notANumber(key, text, "a number");
    while (isBlank(*end))
        ++end;
    if (*end != '\0')
        throw notANumber(key, text, "a number");
    if (!std::isfinite(value))
        throw std::out_of_range(key.raw() + ": \"" + text.raw() + "\" is out of range");
    return value;
}

int readInteger(const Glib::ustring& key, const Glib::ustring& text)
{
    const std::string& raw = text.raw();
    std::size_t i = 0;
    while (i < raw.size() && isBlank(raw[i]))
        ++i;
    std::size_t j = raw.size();
    while (j > i && isBlank(raw[j - 1]))
        --j;
    if (i < j && raw[i] == '+')
        ++i;
    int value = 0;
    auto [ptr, ec] = std::from_chars(raw.data() + i, raw.data() + j, value);
    if (ec == std::errc::result_out_of_range)
        throw std::out_of_range(key.raw() + ": \"" + raw + "\" is out of range");
    if (ec != std::errc() || ptr != raw.data() + j || i == j)
        throw notANumber(key, text, "an integer");
    return value;
}

// --- InputRow ---

InputRow::InputRow(const std::string& key, const std::string& tooltip)
{
    label.set_text(key);
    label.set_tooltip_text(tooltip);
    label.set_halign(Gtk::ALIGN_START);
}

InputRow::~InputRow() = default;

void InputRow::show()
{
    label.show();
    if (Gtk::Widget* widget = getWidget())
        widget->show();
}

void InputRow::hide()
{
    label.hide();
    if (Gtk::Widget* widget = getWidget())
        widget->hide();
}

Gtk::Label* InputRow::getLabel() { return &label; }

Gtk::Widget* InputRow::getWidget() { return nullptr; }

void InputRow::setDefault() { reportWarning("not implemented 2"); }

void InputRow::clear() { reportWarning("not implemented 3"); }

bool InputRow::load(Glib::KeyFile&, const Glib::ustring&) { fail("not implemented 4"); }

bool InputRow::save(Glib::KeyFile&, const Glib::ustring&) { fail("not implemented 5"); }

// --- FilteredEntry ---

FilteredEntry::FilteredEntry(const std::string& key, const std::string& tooltip) : InputRow(key, tooltip)
{
    set_tooltip_text(tooltip);
    set_hexpand(true);
}

void FilteredEntry::clear() { setProgramText(""); }

void FilteredEntry::setProgramText(const Glib::ustring& text)
{
    programText = true;
    try {
        set_text(text);
    } catch (...) {
        programText = false;
        throw;
    }
    programText = false;
}

void FilteredEntry::on_insert_text(const Glib::ustring& text, int* position)
{
    // The filter decides on the whole insertion: one key, a paste or a chosen completion.
    if (programText || accepts(get_text(), text))
        Gtk::Entry::on_insert_text(text, position);
}

// --- EntryBool ---

EntryBool::EntryBool(const std::string& key, const std::string& tooltip, bool defaultValue)
    : InputRow(key, tooltip), defaultValue(defaultValue)
{
    set_tooltip_text(tooltip);
    set_hexpand(true);
    append("No");
    append("Yes");
    set_active(defaultValue ? 1 : 0);
}

void EntryBool::setDefault() { set_active(defaultValue ? 1 : 0); }

void EntryBool::clear() { setDefault(); }

bool EntryBool::load(Glib::KeyFile& file, const Glib::ustring& group)
{
    if (!file.has_key(group, key())) {
        clear();
        return false;
    }
    set_active(file.get_boolean(group, key()) ? 1 : 0);
    return true;
}

bool EntryBool::save(Glib::KeyFile& file, const Glib::ustring& group)
{
    const bool yes = get_active_row_number() == 1;
    if (yes == defaultValue)
        return false;
    file.set_boolean(group, key(), yes);
    return true;
}

// --- EntryNumber ---

template <typename T>
EntryNumber<T>::EntryNumber(const std::string& key, const std::string& tooltip, T defaultValue)
    : FilteredEntry(key, tooltip), defaultValue(defaultValue)
{
}

namespace {

std::string numberText(int value) { return std::to_string(value); }
std::string numberText(double value) { return decimalText(value); }

} // namespace

template <typename T>
void EntryNumber<T>::setDefault()
{
    setProgramText(numberText(defaultValue));
}

template <typename T>
bool EntryNumber<T>::load(Glib::KeyFile& file, const Glib::ustring& group)
{
    if (!file.has_key(group, key())) {
        clear();
        return false;
    }
    if constexpr (std::is_same_v<T, int>)
        setProgramText(numberText(file.get_integer(group, key())));
    else
        setProgramText(numberText(file.get_double(group, key())));
    return true;
}

template <typename T>
bool EntryNumber<T>::save(Glib::KeyFile& file, const Glib::ustring& group)
{
    if (get_text().empty())
        return false;
    if constexpr (std::is_same_v<T, int>)
        file.set_integer(group, key(), readInteger(key(), get_text()));
    else
        file.set_double(group, key(), readDecimal(key(), get_text()));
    return true;
}

template <typename T>
bool EntryNumber<T>::accepts(const Glib::ustring& current, const Glib::ustring& inserted) const
{
    if constexpr (std::is_same_v<T, int>) {
        // ASCII digits only: a Unicode digit of another script would be refused on save.
        for (char c : inserted.raw())
            if (!g_ascii_isdigit(c))
                return false;
        return true;
    } else {
        int separators = 0;
        for (const std::string* part : {&current.raw(), &inserted.raw()})
            for (char c : *part) {
                if (c == '.' || c == ',') {
                    if (++separators > 1)
                        return false;
                } else if (!(c >= '0' && c <= '9') && c != '-') {
                    return false;
                }
            }
        return true;
    }
}

template class EntryNumber<int>;
template class EntryNumber<double>;

// --- EntryName ---

EntryName::EntryName(const std::string& key, const std::string& tooltip, std::size_t maxDots,
                     const Glib::ustring& defaultText)
    : FilteredEntry(key, tooltip), maxDots(maxDots), defaultText(defaultText)
{
}

void EntryName::setDefault() { setProgramText(defaultText); }

bool EntryName::load(Glib::KeyFile& file, const Glib::ustring& group)
{
    if (!file.has_key(group, key())) {
        clear();
        return false;
    }
    setProgramText(file.get_string(group, key()));
    return true;
}

bool EntryName::save(Glib::KeyFile& file, const Glib::ustring& group)
{
    if (get_text().empty())
        return false;
    file.set_string(group, key(), get_text());
    return true;
}

bool EntryName::accepts(const Glib::ustring& current, const Glib::ustring& inserted) const
{
    std::size_t dots = 0;
    for (const std::string* part : {&current.raw(), &inserted.raw()})
        for (char c : *part) {
            if (c == '.')
                ++dots;
            else if (!g_ascii_isalnum(c) && c != '-' && c != ':' && c != '_')
                return false;
        }
    return maxDots == 0 || dots < maxDots;
}

// --- EntrySignal ---

EntrySignal::EntrySignal(const std::string& key, const std::string& tooltip, const Glib::ustring& defaultText)
    : EntryName(key, tooltip, 3, defaultText), completion(Gtk::EntryCompletion::create())
{
    completion->set_text_column(sigListModCols().name);
    completion->set_inline_selection(true);
    set_completion(completion);
    completion->set_match_func(sigc::mem_fun(*this, &EntrySignal::matchCompletion));
}

void EntrySignal::setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model) { completion->set_model(model); }

bool EntrySignal::matchCompletion(const Glib::ustring& key, const Gtk::TreeModel::const_iterator& row) const
{
    if (!row)
        return false;
    const Glib::ustring name = (*row)[sigListModCols().name];
    return name.lowercase().find(key.lowercase()) != Glib::ustring::npos;
}

// --- EntryString ---

EntryString::EntryString(const std::string& key, const std::string& tooltip, const Glib::ustring& defaultText)
    : FilteredEntry(key, tooltip), defaultText(defaultText)
{
}

void EntryString::setDefault() { setProgramText(defaultText); }

bool EntryString::load(Glib::KeyFile& file, const Glib::ustring& group)
{
    if (!file.has_key(group, key())) {
        clear();
        return false;
    }
    setProgramText(file.get_string(group, key()));
    return true;
}

bool EntryString::save(Glib::KeyFile& file, const Glib::ustring& group)
{
    if (get_text().empty())
        return false;
    file.set_string(group, key(), get_text());
    return true;
}

// --- EntryDropDwn ---

EntryDropDwn::EntryDropDwn(const std::string& key, const std::string& tooltip,
                           const std::vector<Glib::ustring>& items, std::size_t defaultIndex)
    : InputRow(key, tooltip), items(items), defaultIndex(defaultIndex)
{
    set_tooltip_text(tooltip);
    set_hexpand(true);
    for (const Glib::ustring& item : items)
        append(item);
    setDefault();
}

void EntryDropDwn::setDefault() { set_active(static_cast<int>(defaultIndex)); }

void EntryDropDwn::clear() { set_active(0); }

bool EntryDropDwn::load(Glib::KeyFile& file, const Glib::ustring& group)
{
    if (!file.has_key(group, key())) {
        clear();
        return false;
    }
    const Glib::ustring value = file.get_string(group, key());
    int chosen = -1;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == value) {
            chosen = static_cast<int>(i);
            break;
        }
    set_active(chosen);
    return true;
}

bool EntryDropDwn::save(Glib::KeyFile& file, const Glib::ustring& group)
{
    const int chosen = get_active_row_number();
    file.set_string(group, key(), chosen >= 0 ? items[static_cast<std::size_t>(chosen)] : Glib::ustring());
    return true;
}

} // namespace vistra
