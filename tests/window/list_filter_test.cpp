#include "window/list_filter.h"

#include <gtest/gtest.h>

namespace vistra {
namespace {

TEST(ListFilter, PartBySlashCountAndRowKind)
{
    struct Case {
        const char* text;
        const char* iface;
        const char* message;
        const char* signal;
    };
    const Case cases[] = {
        {"eng", "", "", "eng"},
        {"mot/rpm", "", "mot", "rpm"},
        {"/", "", "", ""},
        {"can0/mot/rpm", "can0", "mot", "rpm"},
        {"a/b/c/d", "a/b/c/d", "a/b/c/d", "a/b/c/d"},
        {"ä/ö", "", "ä", "ö"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(filterPart(c.text, RowKind::Interface), c.iface);
        EXPECT_EQ(filterPart(c.text, RowKind::Message), c.message);
        EXPECT_EQ(filterPart(c.text, RowKind::Signal), c.signal);
    }
}

TEST(ListFilter, MatchIsCaseBlindSubstringGlob)
{
    struct Case {
        const char* part;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"", "anything", true},  {"eng", "EngineSpeed", true}, {"SPEED", "EngineSpeed", true},
        {"e*d", "EngineSpeed", true}, {"sp?ed", "EngineSpeed", true}, {"spd", "EngineSpeed", false},
        {"a/b/c/d", "abcd", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(matchesPart(c.part, c.name), c.match) << c.part << " ~ " << c.name;
}

} // namespace
} // namespace vistra
