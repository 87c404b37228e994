#pragma once
// The labelled fields of the virtual-signal editor. Each row is bound to one key of a VSD
// group: its label's text is the key, and the row is itself the widget beside the label.
// A row fills itself with its default, empties itself, reads its key from a group and
// writes it back.
//
// Values that a row loads are shown so that they are written back unchanged: a decimal is
// shown in the shortest text that reads back as the same double, and text the program puts
// in bypasses the typing filters (which only keep the user from typing nonsense), so a
// stored negative integer or an unusual name survives an edit of another field.
#include <glibmm/keyfile.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/entry.h>
#include <gtkmm/entrycompletion.h>
#include <gtkmm/label.h>
#include <gtkmm/liststore.h>
#include <gtkmm/treemodelcolumn.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vistra {

// The one column of the editor's list of signal names: the full signal name.
class SigListModCols : public Gtk::TreeModelColumnRecord {
public:
    SigListModCols();
    Gtk::TreeModelColumn<Glib::ustring> name;
};
SigListModCols& sigListModCols();

class InputRow {
public:
    InputRow(const std::string& key, const std::string& tooltip);
    virtual ~InputRow();
    InputRow(const InputRow&) = delete;
    InputRow& operator=(const InputRow&) = delete;

    // Label and widget together.
    virtual void show();
    virtual void hide();
    virtual Gtk::Label* getLabel();
    // The row seen as its widget; null in the base.
    virtual Gtk::Widget* getWidget();
    virtual void setDefault();
    virtual void clear();
    // Shows the group's value of the key (the label's text), or clear() when the group has
    // no such key; true when it had. An unreadable value throws Glib::KeyFileError.
    virtual bool load(Glib::KeyFile& file, const Glib::ustring& group);
    // Writes the key when the row's kind says so; true when it wrote. A number that does
    // not read throws std::invalid_argument, one beyond the type's range std::out_of_range.
    virtual bool save(Glib::KeyFile& file, const Glib::ustring& group);

    Glib::ustring key() const { return label.get_text(); }

    Gtk::Label label;
};

// An entry whose text is run through a typing filter, except while the program itself
// puts text in.
class FilteredEntry : public InputRow, public Gtk::Entry {
public:
    FilteredEntry(const std::string& key, const std::string& tooltip);
    Gtk::Widget* getWidget() override { return this; }
    // The row's show and hide take the label along.
    using InputRow::hide;
    using InputRow::show;
    void clear() override;
    // Puts `text` in unfiltered.
    void setProgramText(const Glib::ustring& text);

protected:
    // Whether the whole insertion may go in; `inserted` is what the user types or pastes.
    virtual bool accepts(const Glib::ustring& current, const Glib::ustring& inserted) const = 0;
    void on_insert_text(const Glib::ustring& text, int* position) override;

private:
    bool programText = false;
};

class EntryBool : public InputRow, public Gtk::ComboBoxText {
public:
    EntryBool(const std::string& key, const std::string& tooltip, bool defaultValue);
    Gtk::Widget* getWidget() override { return this; }
    // The row's show and hide take the label along.
    using InputRow::hide;
    using InputRow::show;
    void setDefault() override;
    void clear() override;
    bool load(Glib::KeyFile& file, const Glib::ustring& group) override;
    bool save(Glib::KeyFile& file, const Glib::ustring& group) override;

    bool defaultValue;
};

// A number of type T (int or double). An integer row takes ASCII digits only; a decimal
// row digits, '-' and one separator ('.' or ','), and shows a loaded value as decimalText
// does.
template <typename T>
class EntryNumber : public FilteredEntry {
public:
    EntryNumber(const std::string& key, const std::string& tooltip, T defaultValue);
    void setDefault() override;
    bool load(Glib::KeyFile& file, const Glib::ustring& group) override;
    bool save(Glib::KeyFile& file, const Glib::ustring& group) override;

    T defaultValue;

protected:
    bool accepts(const Glib::ustring& current, const Glib::ustring& inserted) const override;
};

using EntryInt = EntryNumber<int>;
using EntryFloat = EntryNumber<double>;

class EntryName : public FilteredEntry {
public:
    // maxDots: the number of '.' must stay below it; 0 sets no limit.
    EntryName(const std::string& key, const std::string& tooltip, std::size_t maxDots,
              const Glib::ustring& defaultText);
    void setDefault() override;
    bool load(Glib::KeyFile& file, const Glib::ustring& group) override;
    bool save(Glib::KeyFile& file, const Glib::ustring& group) override;

    std::size_t maxDots;
    Glib::ustring defaultText;

protected:
    bool accepts(const Glib::ustring& current, const Glib::ustring& inserted) const override;
};

class EntrySignal : public EntryName {
public:
    EntrySignal(const std::string& key, const std::string& tooltip, const Glib::ustring& defaultText);
    void setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model);
    // Case-insensitive: the typed key anywhere in the full name.
    bool matchCompletion(const Glib::ustring& key, const Gtk::TreeModel::const_iterator& row) const;

    Glib::RefPtr<Gtk::EntryCompletion> completion;
};

class EntryString : public FilteredEntry {
public:
    EntryString(const std::string& key, const std::string& tooltip, const Glib::ustring& defaultText);
    void setDefault() override;
    bool load(Glib::KeyFile& file, const Glib::ustring& group) override;
    bool save(Glib::KeyFile& file, const Glib::ustring& group) override;

    Glib::ustring defaultText;

protected:
    bool accepts(const Glib::ustring&, const Glib::ustring&) const override { return true; }
};

class EntryDropDwn : public InputRow, public Gtk::ComboBoxText {
public:
    EntryDropDwn(const std::string& key, const std::string& tooltip, const std::vector<Glib::ustring>& items,
                 std::size_t defaultIndex);
    Gtk::Widget* getWidget() override { return this; }
    // The row's show and hide take the label along.
    using InputRow::hide;
    using InputRow::show;
    void setDefault() override;
    void clear() override;
    bool load(Glib::KeyFile& file, const Glib::ustring& group) override;
    bool save(Glib::KeyFile& file, const Glib::ustring& group) override;

    std::vector<Glib::ustring> items;
    std::size_t defaultIndex;
};

// The text a loaded decimal is shown as: six decimals when that reads back exactly (2.5
// shows as 2.500000), else the shortest fixed-point text that does.
std::string decimalText(double value);
// Reads the whole of `text` as a decimal, '.' or ',' as the separator, blanks around it
// allowed. Throws std::invalid_argument naming `key` when anything else remains or there is
// no number, std::out_of_range beyond the range of a double.
double readDecimal(const Glib::ustring& key, const Glib::ustring& text);
// The same for a signed 32-bit integer.
int readInteger(const Glib::ustring& key, const Glib::ustring& text);

} // namespace vistra
