// Every item of the menu bar and of the four popup menus activated once on the example
// drive with its VSD file, as a user would try them: every dialog is answered "Cancel" by
// the test, every window an item opens is photographed and closed again. Nothing may
// crash, no sanitizer may speak, and no error may reach the message log except where an
// item is meant to give one. The screenshots are kept in the test's working directory as
// menu_walk_<what>.png.
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "test_helpers.h"
#include "views/dialog_runner.h"
#include "window/menu_icon_item.h"
#include "window/window.h"
#include "window_run.h"

#include <gdkmm/pixbuf.h>
#include <gtest/gtest.h>
#include <gtkmm/menu.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/separatormenuitem.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::pumpUntil;

// The label of an item as a user reads it: without mnemonics and key hints.
std::string plainLabel(Gtk::MenuItem& item)
{
    std::string text = item.get_label();
    if (auto* icon = dynamic_cast<MenuIconItem*>(&item))
        text = icon->label.get_text();
    std::string out;
    for (char c : text)
        if (c != '_')
            out += c;
    return out;
}

void savePicture(Gtk::Window& window, const std::string& name)
{
    if (!window.get_window())
        return;
    if (auto shot = Gdk::Pixbuf::create(window.get_window(), 0, 0, window.get_width(), window.get_height()))
        shot->save("menu_walk_" + name + ".png", "png");
}

// Photographs and hides every window an item has opened besides the main window; the
// first window of each kind of item is kept under the picture name given for it.
class OpenedWindows {
public:
    explicit OpenedWindows(Window& main) : main(main) {}

    void closeAll(const std::string& item)
    {
        test::pumpPending();
        for (Gtk::Window* window : Gtk::Window::list_toplevels()) {
            if (window == &main || !window->get_visible() || window->get_type_hint() == Gdk::WINDOW_TYPE_HINT_POPUP_MENU ||
                window->get_type_hint() == Gdk::WINDOW_TYPE_HINT_TOOLTIP)
                continue;
            EXPECT_TRUE(pumpUntil([&] { return window->get_mapped(); }, 5000)) << item << ": the window never showed";
            const std::string title = window->get_title();
            opened.push_back(item + " -> " + title);
            for (const auto& [name, words] : pictures)
                if (!taken.count(name) && item.find(words) != std::string::npos) {
                    test::pumpFor(500); // painter threads and image renders land a few turns later
                    savePicture(*window, name);
                    taken.insert(name);
                }
            window->hide();
        }
        test::pumpPending();
    }

    Window& main;
    std::vector<std::string> opened;
    std::set<std::string> taken;
    // Picture name -> the end of the item's label.
    const std::map<std::string, std::string> pictures = {
        {"histogram", "/ Histogram"}, {"statistics", "/ Show stats"}, {"gps", "/ Plot GPS track (beta)"},
        {"preferences", "/ Preferences"}, {"editor", "/ New signal"},
    };
};

TEST(MenuWalk, EveryItemOnTheExampleDriveWithItsVsdFile)
{
    Store& store = Store::instance();
    // "Edit loaded VSD/DBC" starts the editor of the settings; here one that does nothing.
    Settings::instance()->setDefaultEditor("/bin/true");

    std::string currentItem;
    std::vector<std::string> errors;
    std::vector<std::string> dialogs;
    std::vector<std::string> windowsOpened;
    setDialogRunner([&](Gtk::Dialog& dialog) {
        dialogs.push_back(currentItem + " -> " + std::string(dialog.get_title()));
        auto* message = dynamic_cast<Gtk::MessageDialog*>(&dialog);
        if (message && message->property_message_type() == Gtk::MESSAGE_ERROR)
            errors.push_back(currentItem + ": " + std::string(message->property_secondary_text().get_value()));
        else if (dialog.get_title() == "Errors and warnings")
            errors.push_back(currentItem + ": the errors and warnings of the start");
        return Gtk::RESPONSE_CANCEL;
    });

    const int result = test::runInWindow(
        {"-f", TARNWICK_SOURCE_DIR "/examples/drive.vsd", TARNWICK_SOURCE_DIR "/examples/drive.lz4", "-s",
         "Can.EngineData.EngineSpeed", "-s", "Virt.Dynamics.SpeedMs", "-s", "Logger.GPS_POS.lat"},
        [&](Window& window) {
            EXPECT_TRUE(pumpUntil([&] { return window.get_mapped() && !store.isWorking(); }, 20000));
            window.updateSignals();
            EXPECT_TRUE(pumpUntil([&] { return !store.parsing && !store.isWorking(); }, 30000));
            test::pumpFor(500);
            savePicture(window, "main");
            OpenedWindows windows(window);
            const auto keepList = [&] { windowsOpened = windows.opened; };

            const auto activate = [&](Gtk::MenuItem& item, const std::string& where) {
                if (!item.get_visible() || !item.get_sensitive() || dynamic_cast<Gtk::SeparatorMenuItem*>(&item))
                    return;
                currentItem = where + " / " + plainLabel(item);
                item.activate();
                EXPECT_TRUE(pumpUntil([&] { return !store.isWorking(); }, 30000)) << currentItem << ": still working";
                windows.closeAll(currentItem);
                // What the item reported, as the message tick (every 250 ms) would show it.
                window.onMessageTick();
            };

            // The popup menus first, while the signals are loaded: on a real signal, a
            // virtual one, a message row and the list background.
            auto engine = store.findSignal("Can.EngineData.EngineSpeed");
            auto speed = store.findSignal("Virt.Dynamics.SpeedMs");
            const std::vector<std::pair<std::string, std::function<bool()>>> popups = {
                {"plot menu (real)", [&] { return window.preparePlotMenu(engine); }},
                {"plot menu (virtual)", [&] { return window.preparePlotMenu(speed); }},
                {"signal menu (virtual)", [&] { return window.prepareSignalMenu(speed); }},
                {"message menu (virtual)", [&] { return window.prepareMessageMenu(speed); }},
                {"list menu (virtual)", [&] { window.prepareListMenu(true); return true; }},
            };
            const std::vector<Gtk::Menu*> menus = {&window.plotMenu, &window.plotMenu, &window.signalMenu,
                                                   &window.messageMenu, &window.listMenu};
            for (std::size_t p = 0; p < popups.size(); ++p) {
                std::vector<Gtk::MenuItem*> items;
                for (Gtk::Widget* child : menus[p]->get_children())
                    if (auto* item = dynamic_cast<Gtk::MenuItem*>(child))
                        items.push_back(item);
                for (Gtk::MenuItem* item : items) {
                    // Each item acts on the target its menu was opened for.
                    EXPECT_TRUE(popups[p].second());
                    if (plainLabel(*item) == "Hide signal")
                        continue; // the walk would lose its target; the list test covers it
                    activate(*item, popups[p].first);
                }
            }

            // Then the menu bar, top to bottom; "Exit" last.
            Gtk::MenuItem* exitItem = nullptr;
            for (Gtk::Widget* top : window.menuBar.get_children()) {
                auto* topItem = dynamic_cast<Gtk::MenuItem*>(top);
                if (!topItem || !topItem->get_submenu())
                    continue;
                const std::string menuName = plainLabel(*topItem);
                for (Gtk::Widget* child : topItem->get_submenu()->get_children()) {
                    auto* item = dynamic_cast<Gtk::MenuItem*>(child);
                    if (!item)
                        continue;
                    const std::string label = plainLabel(*item);
                    if (label == "Exit") {
                        exitItem = item;
                        continue;
                    }
                    activate(*item, menuName);
                    // Toggles go back to where they were.
                    if (label.find("Toggle") == 0 || label.find("Show/hide") == 0)
                        activate(*item, menuName);
                }
            }
            EXPECT_TRUE(window.get_visible());
            savePicture(window, "main_after");
            keepList();
            if (exitItem) {
                currentItem = "File / Exit";
                exitItem->activate();
                EXPECT_FALSE(window.get_visible());
            } else {
                ADD_FAILURE() << "no Exit item";
            }
            return 0;
        });
    setDialogRunner(nullptr);
    EXPECT_EQ(result, 0);

    for (const std::string& line : dialogs)
        std::printf("dialog: %s\n", line.c_str());
    for (const std::string& line : windowsOpened)
        std::printf("window: %s\n", line.c_str());
    // The example's logger header shows the GPS menu: both of its items were reached.
    const auto has = [](const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has(dialogs, "GPS / Export GPS data -> Write GPS-data to file"));
    EXPECT_TRUE(has(windowsOpened, "GPS / Plot GPS track (beta) -> GPS Plot"));
    // "Open quick guide" asks the desktop for a browser, which a bare X server lacks.
    for (const std::string& error : errors)
        if (error.find("quick guide") == std::string::npos)
            ADD_FAILURE() << "unexpected error: " << error;
}

} // namespace
} // namespace vistra
