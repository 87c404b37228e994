#include "views/histogram.h"

#include "core/signal.h"
#include "store/store.h"
#include "views/analysis_range.h"
#include "views/handler_guard.h"
#include "views/plot_colour.h"
#include "views/time_box.h"

#include <gtkmm/clipboard.h>
#include <pangomm/layout.h>

#include <cmath>
#include <mutex>

namespace vistra {

namespace {

enum class Align { Start, Centre, End };

// Shows `text` at the current point: starting there, centred on it or ending there.
void drawLabel(const Cairo::RefPtr<Cairo::Context>& cr, const Glib::ustring& text, Align align)
{
    auto layout = Pango::Layout::create(cr);
    Pango::FontDescription font("10");
    font.set_family("Monospace");
    font.set_weight(static_cast<Pango::Weight>(1000));
    layout->set_font_description(font);
    layout->set_text(text);
    int w = 0, h = 0;
    layout->get_pixel_size(w, h);
    double x = 0.0, y = 0.0;
    cr->get_current_point(x, y);
    if (align == Align::End)
        x -= w;
    else if (align == Align::Centre)
        x -= w / 2;
    cr->move_to(x, y);
    layout->show_in_cairo_context(cr);
    cr->begin_new_path();
}

void drawTick(const Cairo::RefPtr<Cairo::Context>& cr, double x, double height)
{
    cr->move_to(x, height - 24.0);
    cr->line_to(x, height - 16.0);
    cr->stroke();
}

} // namespace

Histogram::Histogram(std::shared_ptr<Signal> shown) : signal(std::move(shown))
{
    set_size_request(400, 400);
    add_events(Gdk::POINTER_MOTION_MASK | Gdk::SCROLL_MASK);
    set_can_focus(false);
    // Widgets are trackable: these connections end with the widget.
    timeBox().changed.connect(sigc::mem_fun(*this, &Histogram::onRangeChanged));
    Store::instance().markersChanged.connect(sigc::mem_fun(*this, &Histogram::onRangeChanged));
    computeHistogram();
}

Histogram::~Histogram() = default;

void Histogram::onRangeChanged()
{
    guardHandler("Computing the histogram", [this] { computeHistogram(); });
}

void Histogram::computeHistogram()
{
    const Store& store = Store::instance();
    const TimeBox& box = timeBox();
    const AnalysisRange range = analysisRange(store.leftRuler, store.rightRuler, box.from, box.to);
    {
        std::lock_guard lock(*signal->samplesMutex);
        histogram =
            countHistogram(signal->samples, range.from, range.to, binCount, signal->limitLow, signal->limitHigh);
    }
    table = histogramTable(histogram, signal->unit);
    queue_resize();
}

void Histogram::setBins(u64 n)
{
    if (n > 1000)
        return;
    binCount = n;
    computeHistogram();
}

void Histogram::copyToClipboard() { Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD)->set_text(table); }

bool Histogram::on_configure_event(GdkEventConfigure* event)
{
    width = event->width;
    height = event->height;
    layout = histogramLayout(width, height, margin, binCount, histogram.maxBin, zoom);
    queue_draw();
    return true;
}

bool Histogram::on_draw(const Cairo::RefPtr<Cairo::Context>& cr)
{
    if (histogram.bins.empty() || !signal->hasData)
        return false;
    setSourceColour(cr, signal->colour, 0.8);
    const double bottom = height - 20.0 - margin;
    for (std::size_t i = 0; i < histogram.bins.size(); ++i) {
        const double h = static_cast<double>(histogram.bins[i]) * layout.scale;
        cr->rectangle(margin + layout.gap + static_cast<double>(i) * (layout.barWidth + layout.gap), bottom - h,
                      layout.barWidth, h);
    }
    cr->fill();
    drawAxes(cr);
    return true;
}

void Histogram::drawAxes(const Cairo::RefPtr<Cairo::Context>& cr)
{
    const bool ranged = histogram.rangeFound();
    cr->set_source_rgba(0.5, 0.5, 0.5, 0.3);
    cr->set_line_width(2.0);
    cr->move_to(10.0, height - 20.0);
    cr->line_to(width - 10.0, height - 20.0);
    cr->stroke();

    const auto ticks = axisTicks(width);
    const double step = ranged ? (histogram.maxValue - histogram.minValue) * 0.25 : 0.0;
    double value = ranged ? histogram.minValue : 0.0;
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        drawTick(cr, ticks[k], height);
        cr->move_to(ticks[k], height - 16.0);
        drawLabel(cr, fixedPoint(value, 2), k == 0 ? Align::Start : k + 1 == ticks.size() ? Align::End : Align::Centre);
        value += step;
    }

    const auto bin = binUnderPointer(pointerX, layout, margin, histogram.bins.size());
    if (!bin)
        return;
    cr->set_source_rgba(0.0, 0.0, 0.0, 1.0);
    const double pitch = layout.gap + layout.barWidth;
    const double x = std::trunc(static_cast<double>(*bin + 1) * pitch + margin + layout.gap - pitch / 2.0);
    drawTick(cr, x, height);
    const double centre =
        ranged ? histogram.minValue + histogram.binWidth() * static_cast<double>(2 * *bin + 1) * 0.5 : 0.0;
    cr->move_to(x, height - 16.0);
    drawLabel(cr, fixedPoint(centre, 2) + " " + signal->unit, Align::Centre);
}

bool Histogram::on_scroll_event(GdkEventScroll* event)
{
    if (event->direction != GDK_SCROLL_UP && event->direction != GDK_SCROLL_DOWN)
        return false;
    return guardHandler("Zooming the histogram", true, [&] {
        zoom = event->direction == GDK_SCROLL_UP ? 0.8 * zoom : std::min(1.25 * zoom, 1.0);
        computeHistogram();
        return true;
    });
}

bool Histogram::on_motion_notify_event(GdkEventMotion* event)
{
    pointerX = event->x;
    queue_draw();
    return true;
}

} // namespace vistra
