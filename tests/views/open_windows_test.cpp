#include "views/open_windows.h"

#include <glibmm/main.h>
#include <gtest/gtest.h>
#include <sigc++/signal.h>

namespace vistra {
namespace {

// Stands in for a Gtk::Window: shown when made, hidden by hide(), which emits its signal.
struct FakeWindow {
    explicit FakeWindow(std::shared_ptr<Signal> s) : signal(std::move(s)) { ++made; }
    ~FakeWindow() { ++destroyed; }
    void show()
    {
        visible = true;
        ++shows;
    }
    void hide()
    {
        visible = false;
        hidden.emit();
    }
    bool get_visible() const { return visible; }
    sigc::signal<void()>& signal_hide() { return hidden; }

    std::shared_ptr<Signal> signal;
    bool visible = true;
    int shows = 0;
    sigc::signal<void()> hidden;
    static inline int made = 0;
    static inline int destroyed = 0;
};

std::shared_ptr<Signal> signalNamed(const char* fullName)
{
    auto s = std::make_shared<Signal>(nullptr, "Speed");
    s->fullName = fullName;
    return s;
}

void runIdle()
{
    auto context = Glib::MainContext::get_default();
    while (context->pending())
        context->iteration(false);
}

class OpenWindowsTest : public testing::Test {
protected:
    OpenWindowsTest()
    {
        FakeWindow::made = 0;
        FakeWindow::destroyed = 0;
    }
    ~OpenWindowsTest() override { runIdle(); }

    sigc::signal<void()> reload;
    int reloadConnections = 0;
    OpenWindows<FakeWindow> registry{[this](const sigc::slot<void()>& slot) {
        ++reloadConnections;
        return reload.connect(slot);
    }};
};

TEST_F(OpenWindowsTest, OneWindowPerSignalDestroyedAfterItsHide)
{
    auto speed = signalNamed("Can.A.Speed");
    FakeWindow& first = registry.openWindow(speed);
    EXPECT_EQ(&registry.openWindow(speed), &first);
    EXPECT_EQ(FakeWindow::made, 1);
    EXPECT_EQ(first.shows, 2);

    first.hide();
    EXPECT_EQ(registry.size(), 1u); // never inside its own hide handling
    runIdle();
    EXPECT_EQ(registry.size(), 0u);
    EXPECT_EQ(FakeWindow::destroyed, 1);

    FakeWindow& again = registry.openWindow(speed); // fresh state
    EXPECT_EQ(FakeWindow::made, 2);
    EXPECT_EQ(again.shows, 1);
    registry.closeWindow("no such signal");
    registry.closeWindow("Can.A.Speed");
    EXPECT_EQ(registry.size(), 0u);
}

TEST_F(OpenWindowsTest, AStaleCloseNeverDestroysAWindowOpenedAgain)
{
    auto speed = signalNamed("Can.A.Speed");
    registry.openWindow(speed).hide();
    FakeWindow& reopened = registry.openWindow(speed); // before the close ran
    runIdle();
    ASSERT_EQ(registry.find("Can.A.Speed"), &reopened);
    EXPECT_EQ(FakeWindow::destroyed, 0);

    // Closed by a reload while its close waits, then opened anew.
    reopened.hide();
    reload.emit();
    FakeWindow& fresh = registry.openWindow(speed);
    runIdle();
    EXPECT_EQ(registry.find("Can.A.Speed"), &fresh);
    EXPECT_EQ(FakeWindow::destroyed, 1);
}

TEST_F(OpenWindowsTest, ReloadClosesEveryWindowKeyedByFullName)
{
    EXPECT_EQ(reloadConnections, 0);
    registry.openWindow(signalNamed("Can.A.Speed"));
    registry.openWindow(signalNamed("Can.B.Speed"));
    registry.openWindow(signalNamed("Other.A.Speed"));
    EXPECT_EQ(registry.size(), 3u);
    EXPECT_EQ(reloadConnections, 1);
    reload.emit();
    EXPECT_EQ(registry.size(), 0u);
    registry.openWindow(signalNamed("Can.A.Speed"));
    reload.emit();
    EXPECT_EQ(registry.size(), 0u);
    EXPECT_EQ(reloadConnections, 1);
    EXPECT_EQ(FakeWindow::destroyed, 4);
}

} // namespace
} // namespace vistra
