#pragma once
// The tree of interfaces, messages and signals beside the plots, one check box per row.
// Checking a signal plots it; checking a message or an interface switches its signals
// on or off; a filter text narrows the tree. The list changes only the signals' enabled
// flags; the plots follow through the Store's data dispatcher.
#include "core/types.h"
#include "window/list_filter.h"

#include <gtkmm/cellrenderertext.h>
#include <gtkmm/cellrenderertoggle.h>
#include <gtkmm/treemodelfilter.h>
#include <gtkmm/treestore.h>
#include <gtkmm/treeview.h>
#include <gtkmm/treeviewcolumn.h>

#include <memory>
#include <set>
#include <string>

namespace vistra {

class Message;
class Signal;

// The row kind as a value of its own type in the tree model.
struct RowKindValue {
    RowKind kind = RowKind::Interface;
};

// The columns of both signal lists, one process-wide record.
class ModelColumns : public Gtk::TreeModelColumnRecord {
public:
    ModelColumns();

    Gtk::TreeModelColumn<Glib::ustring> name; // plain name; the sort key
    Gtk::TreeModelColumn<bool> active;        // this row or a signal below it is plotted
    Gtk::TreeModelColumn<i32> messageId;      // message rows: the CAN id word; else -1
    Gtk::TreeModelColumn<Glib::ustring> markup;
    Gtk::TreeModelColumn<bool> expanded;      // remembered expansion
    Gtk::TreeModelColumn<RowKindValue> kind;
    Gtk::TreeModelColumn<i32> ifaceNumber;
    Gtk::TreeModelColumn<Glib::ustring> tooltip; // escaped DBC comment
    Gtk::TreeModelColumn<bool> visible;          // result of the last filter run
};

ModelColumns& listColumns();

// What the list asks of the window that holds it.
class LogListHost {
public:
    virtual ~LogListHost() = default;
    virtual Glib::ustring searchText() = 0;
    virtual void popupListMenu(bool virtualIface) = 0;
    virtual void popupMessageMenu(std::shared_ptr<Signal> target) = 0;
    virtual void popupSignalMenu(std::shared_ptr<Signal> target) = 0;
    virtual void highlightSignal(std::shared_ptr<Signal> signal) = 0;
};

// The list font of the settings; a text that cannot be a font description (markup or
// quote characters, control characters, nothing) gives the default "10.0".
Glib::ustring listFontText();

// Markup of a row: the name (escaped) in the list font, a signal's in its colour.
Glib::ustring rowMarkup(const Glib::ustring& font, const Glib::ustring& name);
Glib::ustring signalRowMarkup(const Glib::ustring& font, const Glib::ustring& colour, const Glib::ustring& name);

class LogList : public Gtk::TreeView {
public:
    LogList(u32 minIface, u32 maxIface, LogListHost* host = nullptr);

    void setHost(LogListHost* host) { this->host = host; }

    void fillList(u32 minIface, u32 maxIface, bool initial);
    void refreshActiveMarks();
    void setFilter(const Glib::ustring& text);
    void toggleVisibleSignals();
    void applyListStyle();
    bool updateSignalColor(std::shared_ptr<Signal> signal);
    bool sigPlotSelected(std::shared_ptr<Signal> signal, Gtk::TreeIter& out);
    bool selectSignal(std::shared_ptr<Signal> signal);
    void expandSelected();
    void expandAll();
    bool showRowMenu(const Gtk::TreeIter& row, bool leftClick);

    void onRowToggled(const Glib::ustring& path);

    // Listed also are signals marked hidden.
    bool showHidden = false;

    Glib::RefPtr<Gtk::TreeStore> store;
    Glib::RefPtr<Gtk::TreeModelFilter> filter;

protected:
    bool on_button_press_event(GdkEventButton* event) override;
    bool on_key_press_event(GdkEventKey* event) override;

private:
    bool filterShown() const;
    bool matchFilter(const Glib::ustring& text, const Gtk::TreeRow& row);
    void onRowActivated(const Gtk::TreeModel::Path& path, Gtk::TreeViewColumn* column);
    void onRowExpandedCollapsed(const Gtk::TreeIter& row, const Gtk::TreeModel::Path& path);
    void forgetExpansion(const Gtk::TreeRow& row);
    void expandRemembered();
    // The model objects of a row; empty when the row's message or signal is gone.
    std::shared_ptr<Message> messageOf(const Gtk::TreeRow& messageRow) const;
    std::shared_ptr<Signal> signalOf(const Gtk::TreeRow& signalRow) const;
    void setSignalEnabled(const Gtk::TreeRow& signalRow, bool on);
    int compareNames(const Gtk::TreeIter& a, const Gtk::TreeIter& b);

    LogListHost* host;
    Gtk::TreeViewColumn nameColumn;
    Gtk::CellRendererText nameRenderer;
    Gtk::TreeViewColumn checkColumn;
    Gtk::CellRendererToggle checkRenderer;
};

} // namespace vistra
