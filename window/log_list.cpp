#include "window/log_list.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/handler_guard.h"

#include <gdkmm/rgba.h>
#include <glibmm/markup.h>

#include <stdexcept>

namespace vistra {

namespace {

constexpr const char* kDefaultListFont = "10.0";

RowKind kindOf(const Gtk::TreeRow& row) { return row.get_value(listColumns().kind).kind; }

// Calls f on every row below `children`, parents before their children.
template <typename F>
void forEachRow(const Gtk::TreeNodeChildren& children, F&& f)
{
    for (const Gtk::TreeRow& row : children) {
        f(row);
        forEachRow(row.children(), f);
    }
}

} // namespace

ModelColumns::ModelColumns()
{
    add(name);
    add(active);
    add(messageId);
    add(markup);
    add(expanded);
    add(kind);
    add(ifaceNumber);
    add(tooltip);
    add(visible);
}

ModelColumns& listColumns()
{
    static ModelColumns columns;
    return columns;
}

Glib::ustring listFontText()
{
    // A font description is a family, style words and a size; quotes or markup
    // characters in it can only come from a damaged or hand-edited settings file.
    const Glib::ustring font = Settings::instance()->getListFont();
    if (font.empty())
        return kDefaultListFont;
    for (gunichar c : font)
        if (c < 0x20 || c == 0x7f || c == '<' || c == '>' || c == '&' || c == '"' || c == '\'')
            return kDefaultListFont;
    return font;
}

Glib::ustring rowMarkup(const Glib::ustring& font, const Glib::ustring& name)
{
    return Glib::ustring::compose("<span font=\"%1\">%2</span>", font, Glib::Markup::escape_text(name));
}

Glib::ustring signalRowMarkup(const Glib::ustring& font, const Glib::ustring& colour, const Glib::ustring& name)
{
    // A colour text the toolkit cannot read would blank the whole row.
    Gdk::RGBA rgba;
    if (!rgba.set(colour))
        return rowMarkup(font, name);
    return Glib::ustring::compose("<span font=\"%1\" foreground=\"%2\">%3</span>", font,
                                  Glib::Markup::escape_text(colour), Glib::Markup::escape_text(name));
}

LogList::LogList(u32 minIface, u32 maxIface, LogListHost* host) : host(host)
{
    const ModelColumns& cols = listColumns();
    store = Gtk::TreeStore::create(cols);
    filter = Gtk::TreeModelFilter::create(store);
    filter->set_visible_column(cols.visible);
    set_model(store);
    fillList(minIface, maxIface, true);

    nameColumn.set_title("Name");
    nameColumn.pack_start(nameRenderer, true);
    nameColumn.add_attribute(nameRenderer.property_markup(), cols.markup);
    nameColumn.set_clickable(true);
    nameColumn.set_min_width(200);
    nameColumn.set_sort_column(cols.name);
    append_column(nameColumn);

    checkRenderer.set_fixed_size(40, -1);
    checkRenderer.set_alignment(0.02, 0.5);
    checkRenderer.set_activatable(true);
    checkColumn.pack_start(checkRenderer, false);
    checkColumn.add_attribute(checkRenderer.property_active(), cols.active);
    checkColumn.set_clickable(false);
    append_column(checkColumn);

    store->set_sort_func(cols.name, sigc::mem_fun(*this, &LogList::compareNames));
    store->set_sort_column(cols.name, Gtk::SORT_ASCENDING);
    set_tooltip_column(7);
    set_enable_search(false);

    checkRenderer.signal_toggled().connect(sigc::mem_fun(*this, &LogList::onRowToggled));
    signal_row_activated().connect([this](const Gtk::TreeModel::Path& path, Gtk::TreeViewColumn* column) {
        guardHandler("Opening a list row", [&] { onRowActivated(path, column); });
    });
    auto expandedCollapsed = [this](const Gtk::TreeIter& row, const Gtk::TreeModel::Path& path) {
        guardHandler("Expanding a list row", [&] { onRowExpandedCollapsed(row, path); });
    };
    signal_row_expanded().connect(expandedCollapsed);
    signal_row_collapsed().connect(expandedCollapsed);
    // Tracked: a list that goes before the Store must not be styled any more.
    Store::instance().settingsChanged.connect(sigc::track_obj(
        [this] { guardHandler("Styling the signal list", [this] { applyListStyle(); }); }, *this));
}

int LogList::compareNames(const Gtk::TreeIter& a, const Gtk::TreeIter& b)
{
    const Glib::ustring left = a->get_value(listColumns().name).lowercase();
    const Glib::ustring right = b->get_value(listColumns().name).lowercase();
    return left.compare(right);
}

// Compared as pointers to the model: clang finds RefPtr's own == ambiguous here.
bool LogList::filterShown() const { return get_model().get() == filter.get(); }

void LogList::fillList(u32 minIface, u32 maxIface, bool initial)
{
    const ModelColumns& cols = listColumns();
    std::set<Glib::ustring> expandedSet;
    std::set<Glib::ustring> markedSet;
    if (!initial) {
        for (const Gtk::TreeRow& ifaceRow : store->children()) {
            const Glib::ustring ifaceName = ifaceRow[cols.name];
            if (ifaceRow[cols.expanded])
                expandedSet.insert(ifaceName);
            for (const Gtk::TreeRow& msgRow : ifaceRow.children()) {
                const Glib::ustring msgName = ifaceName + "." + msgRow[cols.name];
                if (msgRow[cols.expanded])
                    expandedSet.insert(msgName);
                for (const Gtk::TreeRow& sigRow : msgRow.children())
                    if (sigRow[cols.active])
                        markedSet.insert(msgName + "." + sigRow[cols.name]);
            }
        }
    }
    store->clear();

    const Glib::ustring font = listFontText();
    Store& data = Store::instance();
    SelectionBatch batch; // the marked signals of a reload
    for (const auto& [number, iface] : data.interfaces) {
        if (number < minIface || number > maxIface)
            continue;
        Gtk::TreeRow ifaceRow = *store->append();
        ifaceRow[cols.name] = iface->name;
        ifaceRow[cols.messageId] = -1;
        ifaceRow[cols.markup] = rowMarkup(font, iface->name);
        ifaceRow[cols.kind] = RowKindValue{RowKind::Interface};
        ifaceRow[cols.ifaceNumber] = static_cast<i32>(number);
        ifaceRow[cols.expanded] = expandedSet.count(iface->name) != 0;
        for (const auto& [id, msg] : iface->messages) {
            const Glib::ustring msgName = iface->name + "." + msg->name;
            Gtk::TreeRow msgRow = *store->append(ifaceRow.children());
            msgRow[cols.name] = msg->name;
            msgRow[cols.messageId] = static_cast<i32>(msg->id);
            msgRow[cols.markup] = rowMarkup(font, msg->name);
            msgRow[cols.kind] = RowKindValue{RowKind::Message};
            msgRow[cols.ifaceNumber] = static_cast<i32>(number);
            msgRow[cols.tooltip] = Glib::Markup::escape_text(msg->comment);
            msgRow[cols.expanded] = expandedSet.count(msgName) != 0;
            for (const auto& [sigName, signal] : msg->signalsByName) {
                if (signal->internal || (signal->hidden && !showHidden))
                    continue;
                Gtk::TreeRow sigRow = *store->append(msgRow.children());
                // Marked signals survive a reload that made new signal objects.
                if (markedSet.count(msgName + "." + signal->name))
                    signal->setEnabled(true);
                sigRow[cols.name] = signal->name;
                sigRow[cols.messageId] = -1;
                sigRow[cols.markup] = signalRowMarkup(font, signal->colour, signal->name);
                sigRow[cols.kind] = RowKindValue{RowKind::Signal};
                sigRow[cols.ifaceNumber] = static_cast<i32>(number);
                sigRow[cols.tooltip] = Glib::Markup::escape_text(signal->comment);
            }
        }
    }
    if (!initial) {
        refreshActiveMarks();
        setFilter(host ? host->searchText() : Glib::ustring());
    }
}

std::shared_ptr<Message> LogList::messageOf(const Gtk::TreeRow& messageRow) const
{
    const ModelColumns& cols = listColumns();
    try {
        return Store::instance().getMessage(static_cast<u32>(messageRow.get_value(cols.messageId)),
                                            static_cast<u32>(messageRow.get_value(cols.ifaceNumber)));
    } catch (const std::invalid_argument&) {
        return nullptr; // the row outlived its message
    }
}

std::shared_ptr<Signal> LogList::signalOf(const Gtk::TreeRow& signalRow) const
{
    const Gtk::TreeIter parent = signalRow.parent();
    if (!parent)
        return nullptr;
    auto msg = messageOf(*parent);
    if (!msg)
        return nullptr;
    auto it = msg->signalsByName.find(signalRow.get_value(listColumns().name).raw());
    return it == msg->signalsByName.end() ? nullptr : it->second;
}

void LogList::setSignalEnabled(const Gtk::TreeRow& signalRow, bool on)
{
    if (auto signal = signalOf(signalRow))
        signal->setEnabled(on);
}

void LogList::refreshActiveMarks()
{
    const ModelColumns& cols = listColumns();
    for (Gtk::TreeRow ifaceRow : store->children()) {
        ifaceRow[cols.active] = false;
        for (Gtk::TreeRow msgRow : ifaceRow.children()) {
            msgRow[cols.active] = false;
            auto msg = messageOf(msgRow);
            for (Gtk::TreeRow sigRow : msgRow.children()) {
                sigRow[cols.active] = false;
                if (!msg)
                    continue;
                auto it = msg->signalsByName.find(sigRow.get_value(cols.name).raw());
                if (it != msg->signalsByName.end() && it->second->enabled) {
                    sigRow[cols.active] = true;
                    msgRow[cols.active] = true;
                    ifaceRow[cols.active] = true;
                }
            }
        }
    }
    Store::instance().emitDataChanged();
}

void LogList::onRowToggled(const Glib::ustring& path)
{
    guardHandler("Checking a list row", [&] {
        Store& data = Store::instance();
        if (data.isBusy())
            return;
        const ModelColumns& cols = listColumns();
        Glib::RefPtr<Gtk::TreeModel> model = get_model();
        Gtk::TreeIter iter = model->get_iter(path);
        if (!iter)
            return;
        Gtk::TreeRow row = *iter;
        const bool marked = row[cols.active];
        switch (kindOf(row)) {
        case RowKind::Signal:
            setSignalEnabled(row, !marked);
            break;
        case RowKind::Message: {
            row[cols.active] = !marked;
            auto msg = messageOf(row);
            if (!msg)
                break;
            if (marked)
                msg->setAllEnabled(false);
            else if (filterShown())
                for (const Gtk::TreeRow& sigRow : row.children())
                    setSignalEnabled(sigRow, true);
            else
                msg->setAllEnabled(true);
            break;
        }
        case RowKind::Interface:
            if (marked) {
                if (auto iface = data.getIface(static_cast<u32>(row.get_value(cols.ifaceNumber))))
                    for (const auto& entry : iface->messages)
                        entry.second->setAllEnabled(false);
            } else if (filterShown()) {
                for (const Gtk::TreeRow& msgRow : row.children())
                    for (const Gtk::TreeRow& sigRow : msgRow.children())
                        setSignalEnabled(sigRow, !sigRow.get_value(cols.active));
            }
            break;
        }
        refreshActiveMarks();
    });
}

void LogList::onRowActivated(const Gtk::TreeModel::Path& path, Gtk::TreeViewColumn*)
{
    Gtk::TreeIter iter = get_model()->get_iter(path);
    if (!iter)
        fail("row_activated with none valid path ");
    if (kindOf(*iter) == RowKind::Signal) {
        onRowToggled(path.to_string());
        return;
    }
    if (row_expanded(path))
        collapse_row(path);
    else
        expand_row(path, false);
}

void LogList::onRowExpandedCollapsed(const Gtk::TreeIter& row, const Gtk::TreeModel::Path& path)
{
    if (filterShown())
        return;
    if (!row)
        fail("row expanded/collapsed with none valid path");
    const bool expandedNow = row_expanded(path);
    (*row)[listColumns().expanded] = expandedNow;
    if (!expandedNow)
        for (const Gtk::TreeRow& child : row->children())
            forgetExpansion(child);
}

void LogList::forgetExpansion(const Gtk::TreeRow& row)
{
    Gtk::TreeRow writable = row;
    writable[listColumns().expanded] = false;
    for (const Gtk::TreeRow& child : row.children())
        forgetExpansion(child);
}

void LogList::expandRemembered()
{
    forEachRow(store->children(), [this](const Gtk::TreeRow& row) {
        if (row[listColumns().expanded])
            expand_row(store->get_path(row), false);
    });
}

void LogList::setFilter(const Glib::ustring& text)
{
    if (text.empty()) {
        set_model(store);
        refreshActiveMarks();
        nameColumn.set_clickable(true);
        expandRemembered();
        return;
    }
    set_model(filter);
    nameColumn.set_clickable(false);
    for (const Gtk::TreeRow& row : store->children())
        matchFilter(text, row);
    expand_all();
}

bool LogList::matchFilter(const Glib::ustring& text, const Gtk::TreeRow& row)
{
    const ModelColumns& cols = listColumns();
    const RowKind kind = kindOf(row);
    bool visible = matchesPart(filterPart(text, kind), row.get_value(cols.name));
    if (visible && kind != RowKind::Signal) {
        bool anyChild = false;
        for (const Gtk::TreeRow& child : row.children())
            anyChild = matchFilter(text, child) || anyChild;
        visible = anyChild;
    }
    Gtk::TreeRow writable = row;
    writable[cols.visible] = visible;
    return visible;
}

void LogList::toggleVisibleSignals()
{
    guardHandler("Checking the listed signals", [this] {
        if (Store::instance().isBusy())
            return;
        const ModelColumns& cols = listColumns();
        bool first = true;
        bool state = false;
        forEachRow(get_model()->children(), [&](const Gtk::TreeRow& row) {
            Gtk::TreeRow writable = row;
            if (kindOf(row) != RowKind::Signal) {
                writable[cols.active] = false;
                return;
            }
            if (first) {
                state = !row.get_value(cols.active);
                first = false;
            }
            setSignalEnabled(row, state);
        });
        refreshActiveMarks();
    });
}

void LogList::applyListStyle()
{
    // Every row of the store, not only the shown ones: rows hidden by a filter would keep
    // the old style once the filter is cleared.
    const ModelColumns& cols = listColumns();
    const Glib::ustring font = listFontText();
    forEachRow(store->children(), [&](const Gtk::TreeRow& row) {
        Gtk::TreeRow writable = row;
        const Glib::ustring name = row[cols.name];
        if (kindOf(row) != RowKind::Signal) {
            writable[cols.markup] = rowMarkup(font, name);
            return;
        }
        auto signal = signalOf(row);
        writable[cols.markup] = signal ? signalRowMarkup(font, signal->colour, name) : rowMarkup(font, name);
    });
}

bool LogList::updateSignalColor(std::shared_ptr<Signal> signal)
{
    Gtk::TreeIter row;
    if (!sigPlotSelected(signal, row))
        return false;
    (*row)[listColumns().markup] = signalRowMarkup(listFontText(), signal->colour, (*row)[listColumns().name]);
    return true;
}

bool LogList::sigPlotSelected(std::shared_ptr<Signal> signal, Gtk::TreeIter& out)
{
    if (!signal)
        fail("sigPlotSelected called without any signal selected");
    const ModelColumns& cols = listColumns();
    if (!signal->parent)
        return false;
    const std::shared_ptr<Message> msg = signal->parent;
    const std::shared_ptr<CanIface> iface = msg->iface;
    i64 number = -1;
    for (const auto& [n, candidate] : Store::instance().interfaces)
        if (candidate == iface)
            number = n;
    if (number < 0)
        return false;
    for (const Gtk::TreeRow& ifaceRow : get_model()->children()) {
        if (ifaceRow[cols.ifaceNumber] != static_cast<i32>(number))
            continue;
        for (const Gtk::TreeRow& msgRow : ifaceRow.children()) {
            if (msgRow[cols.messageId] != static_cast<i32>(msg->id))
                continue;
            for (const Gtk::TreeRow& sigRow : msgRow.children()) {
                if (sigRow.get_value(cols.name) == signal->name) {
                    out = sigRow;
                    return true;
                }
            }
        }
    }
    return false;
}

bool LogList::selectSignal(std::shared_ptr<Signal> signal)
{
    Gtk::TreeIter row;
    if (!sigPlotSelected(signal, row))
        return false;
    const Gtk::TreeModel::Path path = get_model()->get_path(row);
    expand_to_path(path);
    scroll_to_row(path);
    get_selection()->select(row);
    return true;
}

void LogList::expandSelected()
{
    for (const Gtk::TreeRow& ifaceRow : get_model()->children())
        for (const Gtk::TreeRow& msgRow : ifaceRow.children())
            if (msgRow[listColumns().active]) {
                expand_row(get_model()->get_path(ifaceRow), false);
                expand_row(get_model()->get_path(msgRow), false);
            }
}

void LogList::expandAll()
{
    for (const Gtk::TreeRow& ifaceRow : get_model()->children())
        for (const Gtk::TreeRow& msgRow : ifaceRow.children()) {
            expand_row(get_model()->get_path(ifaceRow), false);
            expand_row(get_model()->get_path(msgRow), false);
        }
}

bool LogList::on_button_press_event(GdkEventButton* event)
{
    const bool handled = Gtk::TreeView::on_button_press_event(event);
    guardHandler("Clicking a list row", [&] {
        if (event->button != 1 && event->button != 3)
            return;
        if (Gtk::TreeIter row = get_selection()->get_selected())
            showRowMenu(row, event->button == 1);
    });
    return handled;
}

bool LogList::on_key_press_event(GdkEventKey* event)
{
    const bool handled = Gtk::TreeView::on_key_press_event(event);
    guardHandler("Opening a row menu", [&] {
        if (event->keyval != 0xFF67) // the Menu key
            return;
        if (Gtk::TreeIter row = get_selection()->get_selected())
            showRowMenu(row, false);
    });
    return handled;
}

bool LogList::showRowMenu(const Gtk::TreeIter& row, bool leftClick)
{
    const ModelColumns& cols = listColumns();
    Store& data = Store::instance();
    switch (kindOf(*row)) {
    case RowKind::Interface:
        if (!leftClick && host)
            host->popupListMenu(row->get_value(cols.ifaceNumber) == static_cast<i32>(kVirtualIface));
        return true;
    case RowKind::Message:
        if (!leftClick && host) {
            // The message's internal rate source comes first but is never a target.
            if (auto msg = messageOf(*row))
                for (const auto& signal : msg->signals)
                    if (!signal->internal) {
                        host->popupMessageMenu(signal);
                        break;
                    }
        }
        return true;
    case RowKind::Signal:
        break;
    }
    if (!row->parent())
        fail("signals should have parent rows");
    auto signal = signalOf(*row);
    if (!signal || !host)
        return true;
    if (!leftClick)
        host->popupSignalMenu(signal);
    else if (signal->enabled && signal->hasData && data.plotSignals().size() >= 2)
        host->highlightSignal(signal);
    return true;
}

} // namespace vistra
