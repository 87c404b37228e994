#pragma once
// The statistics window of one signal: ruler times and values, value difference, minimum,
// maximum, average, standard deviation and integral between the rulers (or over the
// visible interval), a "unit" button that steps the integral's time unit and a "Copy"
// button that puts the table on the clipboard. The window registry creates it, one per
// signal, and destroys it once it is hidden.
#include "core/types.h"

#include <gtkmm/button.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace vistra {

class Signal;

class StatWindow : public Gtk::Window {
public:
    static constexpr int kRows = 11;

    explicit StatWindow(std::shared_ptr<Signal> signal);
    ~StatWindow() override;

    // Recomputes every value from the samples and writes the labels.
    void computeStatistics();
    // s -> min -> h -> s ..., then recomputes.
    void cycleTimeUnit();
    // Puts statisticsTable() on the clipboard.
    void statisticsText();
    // "Name\tValue\tUnit", the window title, the signal, then caption, value and unit of
    // every row as the labels show them; each line ends in a line feed.
    std::string statisticsTable() const;

    Gtk::Grid grid;
    Gtk::Button copyButton{"Copy"};
    Gtk::Button unitButton{"unit"};
    // Caption, value and unit of each row.
    std::array<std::array<Gtk::Label, 3>, kRows> labels;
    std::vector<Glib::ustring> timeUnitNames{"s", "min", "h"};
    u64 timeUnit = 2;
    std::shared_ptr<Signal> signal;

private:
    void onRangeChanged();
    void writeIntegralUnit();
};

} // namespace vistra
