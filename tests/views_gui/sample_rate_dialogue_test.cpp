#include "views/sample_rate_dialogue.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/main.h>

namespace vistra {
namespace {

constexpr const char* kHeader = "Time(ms)\tCAN0.MsgA.Signal0 (V)\tCAN0.MsgA.Signal1 (A)";

class CopyDialogTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gtk_disable_setlocale(); // the tests run in the C locale
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "GTK cannot open the display";
        Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override
    {
        Store& store = Store::instance();
        auto iface = CanIface::create("CAN0", 0);
        store.interfaces[0] = iface;
        auto msg = std::make_shared<Message>(0x10, "MsgA", iface);
        iface->addMessage(msg);
        s0 = add(msg, "Signal0", "V", {{990, 1.0}, {1040, 12.5}, {6000, 3.0}});
        s1 = add(msg, "Signal1", "A", {{1010, 2.5}});
        Settings::instance()->setDecimalComma(false);
    }

    void TearDown() override
    {
        Store& store = Store::instance();
        for (auto& entry : store.interfaces) {
            for (auto& msg : entry.second->messages)
                msg.second->clear();
            entry.second->clear();
        }
        store.interfaces.clear();
        Settings::instance()->setDecimalComma(false);
    }

    static std::shared_ptr<Signal> add(const std::shared_ptr<Message>& msg, const char* name, const char* unit,
                                       std::vector<Sample> samples)
    {
        auto sig = std::make_shared<Signal>(msg, name);
        sig->unit = unit;
        sig->samples = std::move(samples);
        sig->enabled = true;
        msg->addSignal(name, sig);
        return sig;
    }

    // The widgets by their place in the window's grid.
    Gtk::Grid& grid() { return *dynamic_cast<Gtk::Grid*>(dialog.get_child()); }
    Gtk::Scale& scale(int row) { return *dynamic_cast<Gtk::Scale*>(grid().get_child_at(0, row)); }
    Gtk::Button& button(int column) { return *dynamic_cast<Gtk::Button*>(grid().get_child_at(column, 4)); }
    Gtk::Scale& msScale() { return scale(1); }
    Gtk::Scale& tensScale() { return scale(2); }
    Gtk::Scale& secondsScale() { return scale(3); }

    // A keyboard step to the left on a scale, as the Left key gives it.
    static void stepLeft(Gtk::Scale& s)
    {
        g_signal_emit_by_name(s.gobj(), "move-slider", GTK_SCROLL_STEP_LEFT);
    }
    // The user drags a scale to v.
    static void drag(Gtk::Scale& s, double v)
    {
        gboolean handled = FALSE;
        g_signal_emit_by_name(s.gobj(), "change-value", GTK_SCROLL_JUMP, v, &handled);
        EXPECT_TRUE(handled);
    }

    // Opens the dialog on [a, b] (either order), presses "Copy" and returns the clipboard.
    std::string copy(u64 a, u64 b)
    {
        auto clipboard = Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD);
        clipboard->set_text("untouched");
        dialog.setInterval(a, b);
        EXPECT_TRUE(dialog.get_visible());
        button(4).clicked();
        EXPECT_FALSE(dialog.get_visible());
        return clipboard->wait_for_text().raw();
    }

    SampleRateDialogue dialog;
    std::shared_ptr<Signal> s0, s1;
};

TEST_F(CopyDialogTest, CopiesTheResampledTable)
{
    EXPECT_FALSE(dialog.get_visible());
    EXPECT_EQ(dialog.get_title(), "Copy plot to clipboard");
    EXPECT_EQ(button(0).get_label(), "1 ms");
    EXPECT_EQ(button(1).get_label(), "10 ms");
    EXPECT_EQ(button(2).get_label(), "1 s");
    EXPECT_EQ(button(4).get_label(), "Copy");
    EXPECT_TRUE(tensScale().get_visible());
    EXPECT_FALSE(msScale().get_visible());
    EXPECT_FALSE(secondsScale().get_visible());

    // The default step is 20 ms; the ends may come in either order.
    EXPECT_EQ(copy(1050, 1000), std::string(kHeader) + "\n0\t1.00\t0.00\n20\t1.00\t2.50\n40\t12.50\t2.50");

    Settings::instance()->setDecimalComma(true);
    EXPECT_EQ(copy(1040, 1041), std::string(kHeader) + "\n0\t12,50\t2,50");

    s0->noPlot = true;
    s1->enabled = false;
    EXPECT_EQ(copy(1000, 1050), "untouched") << "no plotted signal: the clipboard stays";
}

TEST_F(CopyDialogTest, StepFollowsScalesAndButtons)
{
    s1->enabled = false;
    const auto rows = [this](u64 to) {
        std::string text = copy(0, to);
        return text.substr(text.find('\n') + 1);
    };

    // Keys step the scales below their lower ends; the step stays at the lowest value.
    stepLeft(tensScale()); // 20 -> 10
    stepLeft(tensScale()); // asks for 0
    EXPECT_EQ(rows(25), "0\t0.00\n10\t0.00\n20\t0.00");
    button(0).clicked(); // "1 ms": the 1 ms scale holds 10
    EXPECT_TRUE(msScale().get_visible());
    EXPECT_FALSE(tensScale().get_visible());
    drag(msScale(), 1);
    stepLeft(msScale()); // asks for 0 ms
    EXPECT_EQ(msScale().get_value(), 1);
    EXPECT_EQ(rows(3), "0\t0.00\n1\t0.00\n2\t0.00");

    drag(msScale(), 9.6);
    EXPECT_EQ(rows(10), "0\t0.00\n9\t0.00");

    // 5000 ms carries over to the 10 ms scale as 1000 ms and to the 1 ms scale as 10 ms.
    button(2).clicked();
    EXPECT_TRUE(secondsScale().get_visible());
    drag(secondsScale(), 5400);
    EXPECT_EQ(rows(10001), "0\t0.00\n5000\t12.50\n10000\t3.00");
    button(1).clicked();
    EXPECT_EQ(rows(2001), "0\t0.00\n1000\t1.00\n2000\t12.50");
    button(0).clicked();
    EXPECT_EQ(rows(11), "0\t0.00\n10\t0.00");
}

} // namespace
} // namespace vistra
