#pragma once
// The main window of the desktop application.
#include <gtkmm/applicationwindow.h>

namespace vistra {

class Window : public Gtk::ApplicationWindow {
public:
    // The one main window, created on the first call and destroyed at process exit.
    static Window& instance();

private:
    Window();
};

} // namespace vistra
