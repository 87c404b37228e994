#pragma once
// How much of the screen a window may take: dialogs that grow with their content are held
// inside it.
#include <gdkmm/rectangle.h>

namespace Gtk {
class Window;
}

namespace vistra {

// The work area (the screen less panels) of the monitor that shows `window`, else of the
// primary or first monitor; empty without a display.
Gdk::Rectangle workAreaOf(Gtk::Window* window);

} // namespace vistra
