#include "views/handler_guard.h"
#include "window/message_dialogs.h"

#include "core/report.h"
#include "gui_fixture.h"

#include <glibmm/main.h>
#include <glibmm/fileutils.h>
#include <gtkmm/dialog.h>
#include <gtkmm/label.h>

#include <stdexcept>

namespace vistra::test {
namespace {

class CallbackGuard : public StoreFixture {};

TEST_F(CallbackGuard, EveryExceptionKindIsReportedNotThrown)
{
    drainLog();
    testing::internal::CaptureStderr();
    EXPECT_EQ(guardHandler("Reading a row", 7, []() -> int { throw std::runtime_error("bad row"); }), 7);
    EXPECT_EQ(guardHandler("Opening", 1,
                           []() -> int { throw Glib::FileError(Glib::FileError::NO_SUCH_ENTITY, "no file"); }),
              1);
    EXPECT_EQ(guardHandler("Counting", 3, [] { return 4; }), 4);
    guardHandler("Loading", [] { fail("already %s", "reported"); });
    guardHandler("Throwing", [] { throw 42; });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), (std::vector<std::string>{"Reading a row failed: bad row", "Opening failed: no file",
                                                     "already reported", "Throwing failed"}));
}

// An exception out of an unguarded main-loop callback would abort the program.
TEST_F(CallbackGuard, UnguardedTimeoutExceptionReachesTheLog)
{
    installCallbackExceptionHandler();
    drainLog();
    bool ran = false;
    Glib::signal_timeout().connect_once([&ran] {
        ran = true;
        throw std::logic_error("from a timeout");
    }, 0);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(pumpUntil([&] { return ran; }, 2000));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Exception: from a timeout"});
}

TEST_F(CallbackGuard, ErrorsAndWarningsDialogEscapesAndSkipsInformation)
{
    drainLog();
    MessageLog::instance().add(Level::Info, "just so");
    MessageLog::instance().add(Level::Warning, "signal <a&b>");
    MessageLog::instance().add(Level::Error, "broken");
    std::vector<std::string> shown;
    setDialogRunner([&shown](Gtk::Dialog& dialog) {
        shown.push_back(dialog.get_title());
        for (Gtk::Widget* child : dialog.get_content_area()->get_children())
            if (auto* label = dynamic_cast<Gtk::Label*>(child))
                shown.push_back(label->get_text());
        return 0;
    });
    showMessageLogDialog(nullptr);
    EXPECT_EQ(shown, (std::vector<std::string>{"Errors and warnings", "signal <a&b>\nbroken\n"}));
    EXPECT_TRUE(MessageLog::instance().empty());

    shown.clear();
    MessageLog::instance().add(Level::Info, "only information");
    showMessageLogDialog(nullptr);
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(MessageLog::instance().empty());
    setDialogRunner(nullptr);
}

} // namespace
} // namespace vistra::test
