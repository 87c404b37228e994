#pragma once
// The histogram window of one signal: the bars, a scale for the number of bins and a
// "Copy" button that puts the histogram on the clipboard as a tab-separated table. The
// window registry creates it, one per signal, and destroys it once it is hidden.
#include "views/histogram.h"

#include <gtkmm/adjustment.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/scale.h>
#include <gtkmm/window.h>

#include <memory>

namespace vistra {

class Signal;

class HistWindow : public Gtk::Window {
public:
    explicit HistWindow(std::shared_ptr<Signal> signal);
    ~HistWindow() override;

    // A value of the bin scale, cut to a whole number in 0..100, becomes the bin count.
    // Handles the change itself (true).
    bool onBinsChanged(double value);
    void onCopyClicked();

    Gtk::Box vbox{Gtk::ORIENTATION_VERTICAL};
    Gtk::Box hbox{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::Button copyButton{"Copy"};
    Histogram histogram;
    Gtk::Scale binsScale;
    i32 binCount = 10;
};

} // namespace vistra
