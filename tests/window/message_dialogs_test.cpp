#include "window/message_dialogs.h"

#include "core/message_log.h"
#include "test_helpers.h"

#include <gdkmm/display.h>
#include <gdkmm/monitor.h>
#include <gtest/gtest.h>
#include <gtkmm/container.h>
#include <gtkmm/dialog.h>
#include <gtkmm/label.h>

#include <chrono>
#include <string>
#include <vector>

namespace vistra::test {
namespace {

// The label of the dialog's text, wherever it is packed.
Gtk::Label* findLabel(Gtk::Widget& widget)
{
    if (auto* label = dynamic_cast<Gtk::Label*>(&widget))
        return label;
    if (auto* container = dynamic_cast<Gtk::Container*>(&widget))
        for (Gtk::Widget* child : container->get_children())
            if (Gtk::Label* label = findLabel(*child))
                return label;
    return nullptr;
}

struct ShownDialog {
    std::string title;
    std::string text;
    int height = 0;
};

// Answers the dialog once it is on the screen, and keeps what it showed.
void answerShown(ShownDialog& shown)
{
    setDialogRunner([&shown](Gtk::Dialog& dialog) {
        dialog.show();
        pumpUntil([&] { return dialog.get_mapped(); });
        shown.title = dialog.get_title();
        shown.height = dialog.get_allocated_height();
        if (Gtk::Label* label = findLabel(*dialog.get_content_area()))
            shown.text = label->get_text();
        dialog.hide();
        return 0;
    });
}

TEST(ErrorsAndWarningsDialog, EscapesTheTextsAndSkipsInformation)
{
    drainLog();
    MessageLog::instance().add(Level::Info, "just so");
    MessageLog::instance().add(Level::Warning, "signal <a&b>");
    MessageLog::instance().add(Level::Error, "broken");
    ShownDialog shown;
    answerShown(shown);
    showMessageLogDialog(nullptr);
    EXPECT_EQ(shown.title, "Errors and warnings");
    EXPECT_EQ(shown.text, "signal <a&b>\nbroken\n");
    EXPECT_TRUE(MessageLog::instance().empty());

    shown = {};
    MessageLog::instance().add(Level::Info, "only information");
    showMessageLogDialog(nullptr);
    EXPECT_TRUE(shown.title.empty());
    EXPECT_TRUE(MessageLog::instance().empty());
    setDialogRunner(nullptr);
}

// Twelve thousand distinct warnings (a VSD file whose groups name missing signals): the
// dialog lays out the first few hundred and counts the rest, fits on the screen, and
// the GUI thread is free again at once.
TEST(ErrorsAndWarningsDialog, AFloodShowsTheFirstEntriesAndCountsTheRest)
{
    drainLog();
    constexpr std::size_t kFlood = 12000;
    for (std::size_t i = 0; i < kFlood; ++i)
        MessageLog::instance().add(Level::Warning,
                                   ("Could not create signal Virtual.Group" + std::to_string(i) +
                                    ": Can't find signal with name CAN0.Missing.Input" + std::to_string(i))
                                       .c_str());
    ShownDialog shown;
    answerShown(shown);
    const auto start = std::chrono::steady_clock::now();
    showMessageLogDialog(nullptr);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    setDialogRunner(nullptr);

    EXPECT_LT(seconds, 5.0);
    EXPECT_TRUE(MessageLog::instance().empty());
    const std::vector<std::string> lines = linesOf(shown.text);
    ASSERT_EQ(lines.size(), kMaxShownLogEntries + 1);
    EXPECT_EQ(lines.front(), "Could not create signal Virtual.Group0: Can't find signal with name CAN0.Missing.Input0");
    EXPECT_EQ(lines.back(), "\u2026 and " + std::to_string(kFlood - kMaxShownLogEntries) + " more");
    Gdk::Rectangle screen;
    Gdk::Display::get_default()->get_monitor(0)->get_geometry(screen);
    EXPECT_GT(shown.height, 0);
    EXPECT_LE(shown.height, screen.get_height());
}

} // namespace
} // namespace vistra::test
