#pragma once
// Places for the detail and overview plots in the main window until the plot widgets
// are in the tree: empty drawing areas of the plots' sizes with the operations the
// window calls.
#include <gtkmm/drawingarea.h>

#include <memory>

namespace vistra {

class Signal;

class SubPlot : public Gtk::DrawingArea {
public:
    SubPlot() { set_size_request(400, 400); }
    void reset() {}
    void highlightSignal(std::shared_ptr<Signal>) {}
};

class FullPlot : public Gtk::DrawingArea {
public:
    FullPlot() { set_size_request(-1, 200); }
    void reset() {}
};

} // namespace vistra
