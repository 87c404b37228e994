#pragma once
// The bars of the histogram window: how long one signal stayed in each value bin between
// the rulers (or over the visible interval), in the signal's colour, with a value axis, a
// readout of the bin under the pointer and a wheel that stretches the bars.
#include "core/types.h"
#include "views/histogram_counts.h"
#include "views/histogram_layout.h"

#include <gtkmm/drawingarea.h>

#include <memory>
#include <string>

namespace vistra {

class Signal;

class Histogram : public Gtk::DrawingArea {
public:
    explicit Histogram(std::shared_ptr<Signal> signal);
    ~Histogram() override;

    // Counts the bins again from the samples, builds the table and asks for a new size
    // allocation, whose configure event lays the bars out and redraws.
    void computeHistogram();
    // Takes n bins (up to 1000; more are ignored) and recomputes.
    void setBins(u64 n);
    void copyToClipboard();

    const std::shared_ptr<Signal>& shownSignal() const { return signal; }
    const HistogramCounts& counts() const { return histogram; }
    const std::string& tableText() const { return table; }
    u64 bins() const { return binCount; }
    double verticalZoom() const { return zoom; }

protected:
    bool on_scroll_event(GdkEventScroll* event) override;
    bool on_motion_notify_event(GdkEventMotion* event) override;
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
    bool on_configure_event(GdkEventConfigure* event) override;

private:
    void onRangeChanged();
    void drawAxes(const Cairo::RefPtr<Cairo::Context>& cr);

    std::shared_ptr<Signal> signal;
    HistogramCounts histogram;
    u64 binCount = 10;
    std::string table;
    double width = 0.0;
    double height = 0.0;
    HistogramLayout layout;
    double margin = 3.0;
    double zoom = 1.0; // divides the bar heights; at most 1
    double pointerX = 0.0;
};

} // namespace vistra
