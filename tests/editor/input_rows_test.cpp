// The editor's typed rows: what a loaded value shows and writes back (no rounding, no
// filter in the way), what typing may insert, how typed numbers read on save, and the
// completion match.
#include "editor/input_rows.h"

#include <glibmm/keyfile.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

// Types `text` into the entry at its end as one insertion (a key press or a paste).
void type(Gtk::Entry& entry, const Glib::ustring& text)
{
    int position = entry.get_text_length();
    entry.insert_text(text, static_cast<int>(text.bytes()), position);
}

std::unique_ptr<InputRow> makeRow(const std::string& kind)
{
    if (kind == "int")
        return std::make_unique<EntryInt>("k", "tip", 0);
    if (kind == "float")
        return std::make_unique<EntryFloat>("k", "tip", 0.0);
    if (kind == "name")
        return std::make_unique<EntryName>("k", "tip", 2, "");
    if (kind == "signal")
        return std::make_unique<EntrySignal>("k", "tip", "");
    if (kind == "string")
        return std::make_unique<EntryString>("k", "tip", "");
    if (kind == "boolNo")
        return std::make_unique<EntryBool>("k", "tip", false);
    if (kind == "boolYes")
        return std::make_unique<EntryBool>("k", "tip", true);
    if (kind == "drop")
        return std::make_unique<EntryDropDwn>("k", "tip", std::vector<Glib::ustring>{"max", "min", "average"}, 0);
    return nullptr;
}

Glib::ustring shown(InputRow& row)
{
    if (auto* entry = dynamic_cast<Gtk::Entry*>(row.getWidget()))
        return entry->get_text();
    return dynamic_cast<Gtk::ComboBoxText*>(row.getWidget())->get_active_text();
}

// A stored value is loaded into a row and saved again into an empty group. Loaded values
// must be written back unchanged: an edit of another field of the group rewrites this key
// too, so a rounded display (0.017453 for 0.0174532925) or a value the typing filter
// would have refused (a negative integer, a name with a blank) would silently change it.
TEST(InputRows, LoadedValuesAreShownAndWrittenBack)
{
    struct Case {
        const char* kind;
        const char* stored;  // null: the key is missing
        const char* display; // what the row shows
        const char* written; // what save writes; null: no key
    };
    const Case cases[] = {
        {"float", "2.5", "2.500000", "2.5"},
        {"float", "0.0174532925", "0.0174532925", "0.0174532925"},
        {"float", "1e-07", "0.0000001", "1e-07"},
        {"float", "-3", "-3.000000", "-3"},
        {"float", nullptr, "", nullptr},
        {"int", "1500", "1500", "1500"},
        {"int", "-5", "-5", "-5"},
        {"int", nullptr, "", nullptr},
        {"name", "Calc.speed", "Calc.speed", "Calc.speed"},
        {"name", "my msg.a.b", "my msg.a.b", "my msg.a.b"},
        {"signal", "CAN0.MsgA.Signal0", "CAN0.MsgA.Signal0", "CAN0.MsgA.Signal0"},
        {"string", "$01 * 0.5 / $02", "$01 * 0.5 / $02", "$01 * 0.5 / $02"},
        {"string", nullptr, "", nullptr},
        {"boolNo", "true", "Yes", "true"},
        {"boolNo", "false", "No", nullptr},
        {"boolNo", nullptr, "No", nullptr},
        {"boolYes", "false", "No", "false"},
        {"boolYes", "true", "Yes", nullptr},
        {"drop", "min", "min", "min"},
        {"drop", "median", "", ""},
        {"drop", nullptr, "max", "max"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + (c.stored ? c.stored : "(missing)"));
        auto row = makeRow(c.kind);
        Glib::KeyFile in;
        in.set_string("g", "other", "x");
        if (c.stored)
            in.set_value("g", "k", c.stored);
        row->setDefault(); // the load must replace whatever was shown
        EXPECT_EQ(row->load(in, "g"), c.stored != nullptr);
        EXPECT_EQ(shown(*row), c.display);

        Glib::KeyFile out;
        EXPECT_EQ(row->save(out, "g"), c.written != nullptr);
        if (!c.written) {
            EXPECT_FALSE(out.has_group("g") && out.has_key("g", "k"));
        } else if (std::string(c.kind) == "float") {
            // Written as Glib::KeyFile writes a double; it must read back as the same one.
            EXPECT_EQ(out.get_double("g", "k"), in.get_double("g", "k"));
        } else {
            EXPECT_EQ(out.get_value("g", "k"), c.written);
        }
    }
}

TEST(InputRows, AValueThatDoesNotReadAsTheRowsTypeThrowsOnLoad)
{
    Glib::KeyFile in;
    in.set_value("g", "k", "fast");
    for (const char* kind : {"int", "float", "boolNo"}) {
        SCOPED_TRACE(kind);
        EXPECT_THROW(makeRow(kind)->load(in, "g"), Glib::KeyFileError);
    }
}

// The typing filters decide on a whole insertion, against the text already there.
TEST(InputRows, TypingFiltersRefuseWholeInsertions)
{
    struct Case {
        const char* kind;
        const char* before;
        const char* typed;
        bool accepted;
    };
    const Case cases[] = {
        {"int", "", "12", true},
        {"int", "1", "2a", false},
        {"int", "", "-", false},
        {"int", "", "\xd9\xa3", false}, // ARABIC-INDIC DIGIT THREE: std::stoi would not read it
        {"float", "1.5", ".", false},
        {"float", "1.5", ",", false},
        {"float", "1,5", "5", true},
        {"float", "1", "-", true},
        {"float", "", "-1.5", true},
        {"float", "", "1e5", false},
        {"float", "", "\xc2\xb5", false},
        {"name", "Msg", ".sig", true},
        {"name", "Msg.sig", ".", false}, // two dots allowed with maxDots 3 only
        {"name", "Msg", "_a-b:c", true},
        {"name", "Msg", " a", false},
        {"name", "Msg", "/", false},
        {"signal", "CAN0.MsgA", ".Signal0", true},
        {"signal", "CAN0.MsgA.Signal0", ".", false},
        {"signal", "CAN0", "\t", false},
        {"string", "a", " b.c.d é", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " '" + c.before + "' + '" + c.typed + "'");
        auto row = makeRow(c.kind);
        auto* entry = dynamic_cast<FilteredEntry*>(row.get());
        entry->setProgramText(c.before);
        type(*entry, c.typed);
        EXPECT_EQ(entry->get_text(), c.accepted ? Glib::ustring(c.before) + c.typed : Glib::ustring(c.before));
    }

    EntryName unlimited("k", "tip", 0, "");
    type(unlimited, "a.b.c.d.e");
    EXPECT_EQ(unlimited.get_text(), "a.b.c.d.e");
}

// Typed numbers are read whole: ',' is a decimal separator, and text after the number is
// refused instead of being dropped (1-2 would otherwise be stored as 1).
TEST(InputRows, TypedNumbersReadWholeOrNotAtAll)
{
    struct Case {
        const char* kind;
        const char* typed;
        const char* written; // null: save throws std::invalid_argument
    };
    const Case cases[] = {
        {"float", "1,5", "1.5"},  {"float", "-0.25", "-0.25"}, {"float", "1-2", nullptr},
        {"float", "-", nullptr},  {"float", ".", nullptr},     {"float", ",5", "0.5"},
        {"float", "--1", nullptr}, {"float", "-.5", "-0.5"},  {"float", "1.", "1"},
        {"int", "0042", "42"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.typed);
        auto row = makeRow(c.kind);
        type(*dynamic_cast<Gtk::Entry*>(row->getWidget()), c.typed);
        ASSERT_EQ(shown(*row), c.typed);
        Glib::KeyFile out;
        if (!c.written) {
            try {
                row->save(out, "g");
                ADD_FAILURE() << "saved";
            } catch (const std::invalid_argument& e) {
                EXPECT_NE(std::string(e.what()).find(c.typed), std::string::npos) << e.what();
            }
            continue;
        }
        EXPECT_TRUE(row->save(out, "g"));
        EXPECT_EQ(out.get_value("g", "k"), c.written);
    }

    EntryInt tooBig("k", "tip", 0);
    type(tooBig, "99999999999");
    Glib::KeyFile out;
    EXPECT_THROW(tooBig.save(out, "g"), std::out_of_range);
}

TEST(InputRows, DefaultsAndClear)
{
    EntryFloat factor("fact", "tip", 1.0);
    EXPECT_EQ(factor.get_text(), ""); // entries start empty
    factor.setDefault();
    EXPECT_EQ(factor.get_text(), "1.000000");
    factor.clear();
    EXPECT_EQ(factor.get_text(), "");

    EntryBool countAbove("countAbove", "tip", true);
    EXPECT_EQ(countAbove.get_active_text(), "Yes");
    countAbove.set_active(0);
    countAbove.clear(); // a yes/no row has no empty state: back to its default
    EXPECT_EQ(countAbove.get_active_text(), "Yes");

    EntryDropDwn shape("type", "tip", {"circle", "square"}, 1);
    EXPECT_EQ(shape.get_active_text(), "square");
    shape.clear();
    EXPECT_EQ(shape.get_active_text(), "circle");
    shape.setDefault();
    EXPECT_EQ(shape.get_active_text(), "square");

    EXPECT_EQ(factor.getLabel()->get_text(), "fact");
    EXPECT_EQ(factor.getLabel()->get_tooltip_text(), "tip");
    EXPECT_EQ(factor.get_tooltip_text(), "tip");
}

TEST(InputRows, CompletionMatchesAnyPieceOfTheNameInAnyCase)
{
    EntrySignal row("signal_01", "tip", "");
    auto model = Gtk::ListStore::create(sigListModCols());
    for (const char* name : {"CAN0.MsgA.Signal0", "CAN0.MsgB.Other", "Virt.msga2.x"})
        (*model->append())[sigListModCols().name] = name;
    row.setSignalListModel(model);
    EXPECT_EQ(row.completion->get_model(), Glib::RefPtr<Gtk::TreeModel>(model));

    std::vector<Glib::ustring> offered;
    for (const auto& entry : model->children())
        if (row.matchCompletion("msga", entry))
            offered.push_back(entry[sigListModCols().name]);
    EXPECT_EQ(offered, (std::vector<Glib::ustring>{"CAN0.MsgA.Signal0", "Virt.msga2.x"}));
    EXPECT_TRUE(row.matchCompletion("SIGNAL0", model->children().begin()));
    EXPECT_FALSE(row.matchCompletion("a", Gtk::TreeModel::const_iterator()));
}

} // namespace
} // namespace vistra
