// Entry point of tarnwick: the start-up lives in store/command_line; this file wires the
// GTK side (the link to other copies, the main window and the message-log dialog) to it.
#include "store/command_line.h"
#include "store/store.h"
#include "views/ipc.h"
#include "window/analysis_windows.h"
#include "window/message_dialogs.h"
#include "window/window.h"

#include <gtk/gtk.h>
#include <gtkmm/application.h>

int main(int argc, char** argv)
{
    using namespace vistra;
    guardStandardStreams(); // before the store opens the settings
    Store& store = Store::instance();
    IPC& link = IPC::instance();
    CommandLineHooks hooks;
    hooks.enableLink = [&link] { link.enable(); };
    hooks.openLink = [&link] { return link.start(); };
    hooks.forwardTimeOffset = [&link](u64 time, u64 offset) { link.addTimeOffset(time, offset); };
    // Only the program name reaches GTK: the options are ours. The application keeps
    // these until it has run.
    int gtkArgc = 1;
    char* gtkArgv[] = {argv[0], nullptr};
    char** gtkArgvPtr = gtkArgv;
    Glib::RefPtr<Gtk::Application> app;
    hooks.buildWindow = [&] {
        gtk_disable_setlocale();
        // Not unique: copies run side by side (the linked copies of -g need that), so no
        // second start hands its work to the first.
        app = Gtk::Application::create(gtkArgc, gtkArgvPtr, TARNWICK_APP_ID, Gio::APPLICATION_NON_UNIQUE);
        Window::instance();
    };
    hooks.runApplication = [&store, &app] {
        Window& window = Window::instance();
        store.guiRunning = true;
        const int status = app->run(window);
        app.reset();
        closeAnalysisWindows();
        return status;
    };
    hooks.showMessageLog = [] { showMessageLogDialog(nullptr); };
    const int result = CommandLine(store, hooks).run(argc, argv);
    link.stop(); // its reader thread must not outlive main
    return result;
}
