#include "store/text_output.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/virtual_signal.h"
#include "store/store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vistra {
namespace {

// A virtual signal with a fixed summary, or none.
class SummarySignal : public VirtualSignal {
public:
    SummarySignal(std::shared_ptr<Message> parent, const Glib::ustring& name, bool has, double value)
        : VirtualSignal(std::move(parent), name), has(has), value(value)
    {
    }
    bool summary(double* out) override
    {
        if (has)
            *out = value;
        return has;
    }
    bool dependsOn(const Glib::ustring&) override { return false; }
    bool has;
    double value;
};

class TextOutput : public testing::Test {
protected:
    std::shared_ptr<Message> message(u32 id, const char* name)
    {
        if (!virt) {
            virt = CanIface::create("Virt", 1024);
            store.interfaces[1024] = virt;
        }
        auto msg = std::make_shared<Message>(id, name, virt);
        virt->addMessage(msg);
        return msg;
    }

    static void add(const std::shared_ptr<Message>& msg, const char* name, const char* unit, bool has, double value,
                    bool enabled = true)
    {
        auto signal = std::make_shared<SummarySignal>(msg, name, has, value);
        signal->unit = unit;
        msg->addSignal(name, signal);
        if (enabled)
            signal->setEnabled(true);
    }

    std::string print(bool header)
    {
        char* buffer = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&buffer, &size);
        printTextResult(store, header, out);
        std::fclose(out);
        std::string text(buffer, size);
        std::free(buffer);
        return text;
    }

    Store store;
    std::shared_ptr<CanIface> virt;
};

TEST_F(TextOutput, NamesAndValuesSortedWithoutRegardToCase)
{
    add(message(1, "Trip"), "Energy", "kWh", true, 3.75);
    auto counts = message(2, "Counts");
    add(counts, "Starts", "", true, 12);
    add(counts, "Smooth", "", false, 0);           // an average: no summary
    add(counts, "Unused", "", true, 5, false);     // not selected
    add(message(3, "b"), "X", "", true, -0.004);
    add(message(4, "A"), "y", "", true, 1e6);
    EXPECT_EQ(print(true), "A.y\tb.X\tCounts.Starts\tTrip.Energy (kWh)\n1000000.00\t-0.00\t12.00\t3.75\n");
    EXPECT_EQ(print(false), "1000000.00\t-0.00\t12.00\t3.75\n");
}

TEST_F(TextOutput, NamesDifferingOnlyInCaseKeepTheirOrder)
{
    // Identifier order first, then the by-name order inside a message.
    auto first = message(1, "m");
    add(first, "b", "", true, 1);
    add(first, "B", "", true, 2);
    add(message(2, "M"), "a", "", true, 3);
    EXPECT_EQ(print(true), "M.a\tm.B\tm.b\n3.00\t2.00\t1.00\n");
}

TEST_F(TextOutput, NothingAtAllWithoutEntries)
{
    EXPECT_EQ(print(true), ""); // no interface "Virt"
    add(message(1, "Counts"), "Smooth", "", false, 0);
    add(message(2, "Trip"), "Energy", "kWh", true, 3.75, false);
    EXPECT_EQ(print(true), "");
}

TEST(LessNoCase, FoldsOnlyAsciiLetters)
{
    EXPECT_TRUE(lessNoCase("A.y", "b.X"));
    EXPECT_FALSE(lessNoCase("b.X", "A.y"));
    EXPECT_FALSE(lessNoCase("abc", "ABC"));
    EXPECT_TRUE(lessNoCase("_", "Z")); // folded to lower case: '_' sorts before the letters
}

} // namespace
} // namespace vistra
