#include "window/log_list.h"

#include "core/settings.h"
#include "gui_fixture.h"

#include <pango/pango.h>

namespace vistra::test {
namespace {

class LogListTest : public StoreFixture {
protected:
    // The rows the list shows, parents first, as dotted paths ("Can.motor.rpm").
    static std::vector<std::string> shownRows(LogList& list)
    {
        std::vector<std::string> out;
        std::function<void(const Gtk::TreeNodeChildren&, const std::string&)> walk =
            [&](const Gtk::TreeNodeChildren& rows, const std::string& prefix) {
                for (const Gtk::TreeRow& row : rows) {
                    const std::string path = prefix + row.get_value(listColumns().name).raw();
                    out.push_back(path);
                    walk(row.children(), path + ".");
                }
            };
        walk(list.get_model()->children(), "");
        return out;
    }

    // The row of a dotted path in the model the list shows.
    static Gtk::TreeIter rowOf(LogList& list, const std::string& dotted)
    {
        Gtk::TreeNodeChildren rows = list.get_model()->children();
        Gtk::TreeIter found;
        std::string rest = dotted;
        while (!rest.empty()) {
            const auto dot = rest.find('.');
            const std::string name = rest.substr(0, dot);
            rest = dot == std::string::npos ? "" : rest.substr(dot + 1);
            found = Gtk::TreeIter();
            for (const Gtk::TreeRow& row : rows)
                if (row.get_value(listColumns().name) == name)
                    found = row;
            if (!found)
                return found;
            rows = found->children();
        }
        return found;
    }

    void toggle(LogList& list, const std::string& dotted)
    {
        Gtk::TreeIter row = rowOf(list, dotted);
        ASSERT_TRUE(row) << dotted;
        list.onRowToggled(list.get_model()->get_path(row).to_string());
    }
};

TEST_F(LogListTest, RowsSortedByNameInAnyCaseWithSafeMarkup)
{
    LogList list(0, 0);
    EXPECT_EQ(shownRows(list), (std::vector<std::string>{"Can", "Can.Alive", "Can.Body", "Can.Body.door",
                                                          "Can.Body.Speed", "Can.motor", "Can.motor.oil&temp",
                                                          "Can.motor.rpm", "Can.motor.Torque"}));
    list.store->foreach_iter([](const Gtk::TreeIter& row) {
        const Glib::ustring markup = row->get_value(listColumns().markup);
        EXPECT_TRUE(pango_parse_markup(markup.c_str(), -1, 0, nullptr, nullptr, nullptr, nullptr)) << markup;
        return false;
    });
    EXPECT_EQ(rowOf(list, "Can.motor.rpm")->get_value(listColumns().tooltip), "Crank &lt;speed&gt; &amp; more");

    // Interfaces sort by name too, not by number.
    LogList all(0, 65535);
    std::vector<std::string> top;
    for (const Gtk::TreeRow& row : all.store->children())
        top.push_back(row.get_value(listColumns().name).raw());
    EXPECT_EQ(top, (std::vector<std::string>{"Can", "Logger"}));
}

TEST_F(LogListTest, BadListFontFallsBackToTheDefault)
{
    struct Case {
        const char* font;
        const char* used;
    };
    const Case cases[] = {{"Sans 12", "Sans 12"}, {"12\" weight=\"heavy", "10.0"}, {"<b>", "10.0"}, {"", "10.0"}};
    for (const Case& c : cases) {
        Settings::instance()->setListFont(c.font);
        EXPECT_EQ(listFontText(), c.used) << c.font;
        LogList list(0, 0);
        const Glib::ustring markup = rowOf(list, "Can.motor.oil&temp")->get_value(listColumns().markup);
        EXPECT_TRUE(pango_parse_markup(markup.c_str(), -1, 0, nullptr, nullptr, nullptr, nullptr)) << markup;
    }
    Settings::instance()->setListFont("10.0");
}

TEST_F(LogListTest, FilterShowsMatchesWithTheirParents)
{
    LogList list(0, 0);
    struct Case {
        const char* text;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"RP", {"Can", "Can.motor", "Can.motor.rpm"}},
        {"mot/t", {"Can", "Can.motor", "Can.motor.oil&temp", "Can.motor.Torque"}},
        {"can/b/d", {"Can", "Can.Body", "Can.Body.door", "Can.Body.Speed"}},
        {"x/b/d", {}},
        {"/", {"Can", "Can.Body", "Can.Body.door", "Can.Body.Speed", "Can.motor", "Can.motor.oil&temp",
               "Can.motor.rpm", "Can.motor.Torque"}}, // the message without signals goes
        {"a/b/c/d", {}},
        {"s?eed", {"Can", "Can.Body", "Can.Body.Speed"}},
    };
    for (const Case& c : cases) {
        list.setFilter(c.text);
        EXPECT_EQ(shownRows(list), c.rows) << c.text;
    }
    list.setFilter("");
    EXPECT_EQ(shownRows(list).size(), 9u);
}

TEST_F(LogListTest, ChecksWithAndWithoutFilter)
{
    struct Case {
        const char* name;
        const char* filter;
        std::vector<std::string> before; // enabled before the click
        const char* row;
        std::vector<std::string> after;
    };
    const std::vector<std::string> none;
    const Case cases[] = {
        {"signal on", "", none, "Can.motor.rpm", {"Can.motor.rpm"}},
        {"signal off", "", {"Can.motor.rpm"}, "Can.motor.rpm", none},
        {"message on", "", none, "Can.Body", {"Can.Body.Speed", "Can.Body.door"}},
        {"filtered message on", "sp", none, "Can.Body", {"Can.Body.Speed"}},
        {"filtered message off", "sp", {"Can.Body.Speed", "Can.Body.door"}, "Can.Body", none},
        {"interface on", "", none, "Can", none},
        {"filtered interface on", "o", none, "Can", {"Can.Body.door", "Can.motor.Torque", "Can.motor.oil&temp"}},
        {"interface off", "sp", {"Can.Body.Speed", "Can.motor.rpm"}, "Can", none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store.deselectAllSignals();
        for (const std::string& name : c.before)
            sig(name.c_str()).setEnabled(true);
        LogList list(0, 0);
        list.refreshActiveMarks();
        list.setFilter(c.filter);
        toggle(list, c.row);
        EXPECT_EQ(enabledSignals(), c.after);
    }
}

TEST_F(LogListTest, EnterTogglesShownSignalsByTheFirst)
{
    LogList list(0, 0);
    list.setFilter("o");
    list.toggleVisibleSignals();
    EXPECT_EQ(enabledSignals(), (std::vector<std::string>{"Can.Body.door", "Can.motor.Torque", "Can.motor.oil&temp"}));
    sig("Can.motor.rpm").setEnabled(true);
    list.setFilter("r");
    list.toggleVisibleSignals(); // door, the first one shown, is on: everything shown goes off
    EXPECT_EQ(enabledSignals(), (std::vector<std::string>{"Can.motor.oil&temp"}));

    store.parsing = true; // refused while a parse runs
    testing::internal::CaptureStderr();
    list.toggleVisibleSignals();
    toggle(list, "Can.motor.rpm");
    testing::internal::GetCapturedStderr();
    store.parsing = false;
    EXPECT_EQ(enabledSignals(), (std::vector<std::string>{"Can.motor.oil&temp"}));
}

TEST_F(LogListTest, RebuildKeepsMarksAndExpansionOnNewObjects)
{
    LogList list(0, 0);
    sig("Can.motor.rpm").setEnabled(true);
    list.refreshActiveMarks();
    list.expand_row(list.store->get_path(rowOf(list, "Can")), false);
    list.expand_row(list.store->get_path(rowOf(list, "Can.Body")), false);

    load(); // new interface, message and signal objects of the same names
    list.fillList(0, 0, false);
    EXPECT_TRUE(sig("Can.motor.rpm").enabled);
    EXPECT_TRUE(rowOf(list, "Can.motor")->get_value(listColumns().active));
    EXPECT_TRUE(list.row_expanded(list.store->get_path(rowOf(list, "Can.Body"))));
    EXPECT_FALSE(list.row_expanded(list.store->get_path(rowOf(list, "Can.motor"))));

    // Collapsing the interface forgets the expansion below it.
    list.collapse_row(list.store->get_path(rowOf(list, "Can")));
    EXPECT_FALSE(rowOf(list, "Can.Body")->get_value(listColumns().expanded));
}

TEST_F(LogListTest, HiddenSignalsOnRequestInternalNever)
{
    sig("Can.Body.door").hidden = true;
    sig("Can.Body.Speed").internal = true;
    LogList list(0, 0);
    EXPECT_FALSE(rowOf(list, "Can.Body.door"));
    list.showHidden = true;
    list.fillList(0, 0, false);
    EXPECT_TRUE(rowOf(list, "Can.Body.door"));
    EXPECT_FALSE(rowOf(list, "Can.Body.Speed"));
}

// Rows that outlive their model (the Store cleared under the list) are skipped, not fatal.
TEST_F(LogListTest, StaleRowsAfterTheModelWentAreHarmless)
{
    LogList list(0, 0);
    store.clearData();
    testing::internal::CaptureStderr();
    toggle(list, "Can.motor.rpm");
    toggle(list, "Can.motor");
    toggle(list, "Can");
    list.refreshActiveMarks();
    list.applyListStyle();
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(rowOf(list, "Can")->get_value(listColumns().active));
}

TEST_F(LogListTest, LeftClickHighlightsOnlyAmongSeveralPlottedSignals)
{
    struct Host : LogListHost {
        Glib::ustring searchText() override { return ""; }
        void popupListMenu(bool virt) override { calls.push_back(virt ? "list virt" : "list"); }
        void popupMessageMenu(std::shared_ptr<Signal> s) override { calls.push_back("message " + s->name); }
        void popupSignalMenu(std::shared_ptr<Signal> s) override { calls.push_back("signal " + s->name); }
        void highlightSignal(std::shared_ptr<Signal> s) override { calls.push_back("highlight " + s->name); }
        std::vector<std::string> calls;
    } host;
    LogList list(0, 0, &host);
    auto& rpm = sig("Can.motor.rpm");
    rpm.setEnabled(true);
    rpm.hasData = true;
    list.showRowMenu(rowOf(list, "Can.motor.rpm"), true); // only one signal plotted
    sig("Can.motor.Torque").setEnabled(true);
    list.showRowMenu(rowOf(list, "Can.motor.rpm"), true);
    list.showRowMenu(rowOf(list, "Can.motor.rpm"), false);
    list.showRowMenu(rowOf(list, "Can.motor"), false);
    list.showRowMenu(rowOf(list, "Can.Alive"), false); // no listed signals: no menu
    list.showRowMenu(rowOf(list, "Can"), false);
    list.showRowMenu(rowOf(list, "Can"), true);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"highlight rpm", "signal rpm", "message rpm", "list"}));
}

} // namespace
} // namespace vistra::test
