#pragma once
// Runs the program's start-up as a user starts it, with the main window shown: `body`
// runs inside the application once the window is shown, and its result is the
// application's. The window is hidden again afterwards, so that the next test of the
// process starts from a closed window.
#include "store/command_line.h"
#include "store/store.h"
#include "window/window.h"

#include <gtkmm/application.h>

#include <functional>
#include <string>
#include <vector>

namespace vistra::test {

inline int runInWindow(std::vector<std::string> args, const std::function<int(Window&)>& body)
{
    Store& store = Store::instance();
    CommandLineHooks hooks;
    // As the program does: the window is built before the worker starts.
    Glib::RefPtr<Gtk::Application> app;
    hooks.buildWindow = [&] {
        app = Gtk::Application::create("", Gio::APPLICATION_NON_UNIQUE);
        app->register_application();
        Window::instance();
    };
    hooks.runApplication = [&] {
        Window& window = Window::instance();
        store.guiRunning = true;
        window.set_default_size(1200, 800);
        window.show();
        const int result = body(window);
        store.guiRunning = false;
        window.hide();
        return result;
    };
    args.insert(args.begin(), "tarnwick");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return CommandLine(store, hooks).run(int(argv.size()) - 1, argv.data());
}

} // namespace vistra::test
