#include "views/handler_guard.h"

#include "core/report.h"
#include "gui_fixture.h"

#include <glibmm/main.h>
#include <glibmm/fileutils.h>

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

} // namespace
} // namespace vistra::test
