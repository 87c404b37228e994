#include "views/sub_plot.h"

#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/handler_guard.h"
#include "views/ipc.h"
#include "views/plot_colour.h"
#include "views/plot_font.h"
#include "views/plot_grid.h"
#include "views/plot_math.h"
#include "views/ruler_label.h"
#include "views/time_box.h"

#include <gdkmm/general.h>
#include <glibmm/main.h>
#include <pangomm/layout.h>

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vistra {
namespace {

constexpr int kGridStep = 100;
constexpr unsigned kLiveRerenderMs = 1000;
constexpr unsigned kFadeStepMs = 50;

} // namespace

SubPlot::SubPlot()
    : renderer(*this, {.laneScale = 1,
                       .holdsBusyMark = true,
                       .redrawContext = "Redrawing the plot",
                       // While live data arrive: render again a second after each render.
                       .followLive = [this] { scheduleRedraw(RedrawLevel::Rerender, kLiveRerenderMs); }})
{
    set_size_request(400, 400);
    rowHeight = Settings::instance()->getFontSize() + 6;
    add_events(Gdk::SCROLL_MASK | Gdk::POINTER_MOTION_MASK | Gdk::POINTER_MOTION_HINT_MASK |
               Gdk::BUTTON_PRESS_MASK | Gdk::BUTTON_RELEASE_MASK | Gdk::KEY_PRESS_MASK | Gdk::KEY_RELEASE_MASK);
    set_can_focus(true);
    timeBox().changed.connect(sigc::mem_fun(*this, &SubPlot::onTimeBoxChanged));
    Store& store = Store::instance();
    store.dataChanged.connect(sigc::mem_fun(*this, &SubPlot::onStoreData));
    store.settingsChanged.connect(sigc::mem_fun(*this, &SubPlot::updateRowHeight));
    IPC::instance().rulersChanged.connect(sigc::mem_fun(*this, &SubPlot::onLinkedRulersChanged));
}

void SubPlot::onTimeBoxChanged()
{
    guardHandler("Following the visible interval", [this] {
        const TimeBox& box = timeBox();
        shownFrom = box.from;
        shownTo = box.to;
        queue_resize(); // the new allocation's configure event renders
    });
}

// Rulers moved in another linked copy: shown here, but neither sent back to the link nor
// passed on to the analysis windows.
void SubPlot::onLinkedRulersChanged()
{
    guardHandler("Following the linked rulers", [this] {
        const IPC& link = IPC::instance();
        Store& store = Store::instance();
        store.leftRuler = link.leftRuler();
        store.rightRuler = link.rightRuler();
        queue_draw();
    });
}

void SubPlot::onStoreData()
{
    guardHandler("Showing new data", [this] {
        if (storeHost().live)
            scheduleRedraw(RedrawLevel::Rerender, kLiveRerenderMs);
        else
            queue_resize();
    });
}

void SubPlot::updateRowHeight()
{
    guardHandler("Reading the font size", [this] { rowHeight = Settings::instance()->getFontSize() + 6; });
}

void SubPlot::scheduleRedraw(RedrawLevel level, unsigned ms)
{
    std::lock_guard lock(renderer.mutex);
    if (pendingRedraw >= level)
        return;
    Glib::signal_timeout().connect(sigc::mem_fun(*this, &SubPlot::onRedrawTimeout), ms);
    pendingRedraw = level;
}

bool SubPlot::onRedrawTimeout()
{
    guardHandler("Redrawing the plot", [this] {
        RedrawLevel level;
        {
            std::lock_guard lock(renderer.mutex);
            level = pendingRedraw;
            pendingRedraw = RedrawLevel::None;
        }
        if (level == RedrawLevel::Redraw)
            queue_draw();
        else if (level == RedrawLevel::Rerender)
            queue_resize();
    });
    return false;
}

void SubPlot::reset() { renderer.reset(); }

bool SubPlot::on_configure_event(GdkEventConfigure* event)
{
    guardHandler("Rendering the plot", [&] { render(event->width, event->height); });
    return true;
}

void SubPlot::render(int width, int height)
{
    const std::vector<std::shared_ptr<Signal>> signals = storeHost().plotSignals();
    const StoreHost& host = storeHost();
    // Runs with the renderer's mutex held.
    renderer.render(signals, Settings::instance()->getSplitView(), [&]() -> std::optional<RenderFrame> {
        const int n = static_cast<int>(signals.size());
        if (n == 0) {
            renderer.frontImage.reset();
            return std::nullopt;
        }
        const ImageWindow w = imageWindow(shownFrom, shownTo, host.viewStart, host.viewEnd, width);
        shownFrom = w.shownFrom;
        shownTo = w.shownTo;
        imageWidth = w.width;
        imageHeight = height;
        const int plotHeight = height - rowHeight;
        laneHeight = renderer.split ? plotHeight / n : plotHeight;
        if (w.width <= 0)
            return std::nullopt; // no data yet, or an empty interval: the old image stays
        if (laneHeight < 1) {
            renderer.frontImage.reset(); // more signals than pixel rows: no lane to paint
            return std::nullopt;
        }
        return RenderFrame{w.imageStart, w.imageEnd, w.width, height, laneHeight};
    });
}

std::shared_ptr<Signal> SubPlot::signalAtY(double y)
{
    const std::vector<std::shared_ptr<Signal>> signals = storeHost().plotSignals();
    const int n = static_cast<int>(signals.size());
    if (n == 0)
        return {};
    const int lane = (get_allocated_height() - rowHeight) / n;
    const double index = lane > 0 ? std::trunc(y / lane) : 0.0;
    if (!(index >= 0.0) || index >= n)
        return {};
    return signals[static_cast<std::size_t>(index)];
}

int SubPlot::timeToX(u64 t)
{
    return timeToPixel(t, shownFrom, shownTo, get_allocated_width());
}

const char* SubPlot::timeText(u64 t)
{
    static char buffer[100];
    return Store::instance().formatTime(static_cast<i64>(t), buffer, sizeof buffer,
                                        Settings::instance()->getPrettyTime(), true);
}

const char* SubPlot::rulerDeltaText(i64 dt)
{
    static char buffer[100];
    const char sign = dt < 0 ? ' ' : '-';
    const u64 a = dt < 0 ? 0 - static_cast<u64>(dt) : static_cast<u64>(dt);
    const u64 seconds = a / 1000;
    const unsigned ms = static_cast<unsigned>(a % 1000);
    if (Settings::instance()->getPrettyTime()) {
        // The difference read as a date after the epoch: years, months and days.
        std::tm parts{};
        const std::time_t s = static_cast<std::time_t>(seconds);
        if (!gmtime_r(&s, &parts)) {
            reportWarning("Could not get delta time for ruler");
            parts = std::tm{};
        }
        std::snprintf(buffer, sizeof buffer, "%c %04u-%02u-%02u %02u:%02u:%02u.%03u", sign,
                      static_cast<unsigned>(parts.tm_year - 70), static_cast<unsigned>(parts.tm_mon),
                      static_cast<unsigned>(parts.tm_mday - 1), static_cast<unsigned>(parts.tm_hour),
                      static_cast<unsigned>(parts.tm_min), static_cast<unsigned>(parts.tm_sec), ms);
    } else {
        std::snprintf(buffer, sizeof buffer, "%c%llu.%03us", sign, static_cast<unsigned long long>(seconds), ms);
    }
    return buffer;
}

void SubPlot::highlightSignal(std::shared_ptr<Signal> signal)
{
    if (!signal)
        return;
    {
        std::lock_guard lock(renderer.mutex);
        const bool shown = signal->enabled && (Store::instance().networkMode ? signal->hasData : signal->loaded);
        if (!shown || !Settings::instance()->getSplitView())
            return;
        const std::vector<std::shared_ptr<Signal>> signals = storeHost().plotSignals();
        const auto index = std::find(signals.begin(), signals.end(), signal) - signals.begin();
        highlighted = signal;
        highlightY = laneHeight * static_cast<i32>(index);
        highlightUntil = Store::monotonicMs() + 1000;
        if (highlightUntil == 0)
            highlightUntil = 1; // 0 means no band
    }
    renderer.requestRedraw();
}

bool SubPlot::on_draw(const Cairo::RefPtr<Cairo::Context>& cr)
{
    return guardHandler("Drawing the plot", true, [&] {
        const int width = get_allocated_width();
        const int height = get_allocated_height();
        bool fading = false;
        {
            std::lock_guard lock(renderer.mutex);
            setSourceColour(cr, Settings::instance()->getBgColor(), 1.0);
            cr->paint();
            drawPlotGrid(cr, width, height, kGridStep, 0.8);
            if (renderer.frontImage && shownFrom != shownTo) {
                drawHighlight(cr, width, fading);
                drawImage(cr, width, height);
                drawLegend(cr, width, height);
                renderer.releaseBusyMark();
            }
        }
        // Armed after drawing, outside the lock, so the frame above stays consistent.
        if (fading)
            scheduleRedraw(RedrawLevel::Redraw, kFadeStepMs);
        return true;
    });
}

void SubPlot::drawHighlight(const Cairo::RefPtr<Cairo::Context>& cr, int width, bool& fading)
{
    if (highlightUntil == 0 || !highlighted)
        return;
    // Signed: the monotonic clock's 32 bits wrap after 49 days.
    const i32 left = static_cast<i32>(highlightUntil - Store::monotonicMs());
    if (left < 0) {
        highlightUntil = 0;
        highlighted.reset();
        return;
    }
    cr->save();
    setSourceColour(cr, highlighted->colour, left * 0.0005);
    cr->rectangle(0, highlightY, std::max(imageWidth, width), laneHeight);
    cr->fill();
    cr->restore();
    fading = true;
}

// The last complete image, scaled and shifted into the shown interval: zoom and pan show
// at once while the new image is painted.
void SubPlot::drawImage(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height)
{
    const Glib::RefPtr<Gdk::Pixbuf>& frontImage = renderer.frontImage;
    const u64 frontStart = renderer.frontStart;
    const u64 frontEnd = renderer.frontEnd;
    const int sourceWidth = frontImage->get_width();
    const double shown = static_cast<double>(static_cast<i64>(shownTo) - static_cast<i64>(shownFrom));
    const double scale =
        width * static_cast<double>(static_cast<i64>(frontEnd) - static_cast<i64>(frontStart)) / (sourceWidth * shown);
    const double offset = width * static_cast<double>(static_cast<i64>(frontStart) - static_cast<i64>(shownFrom)) / shown;
    if (!(scale > 0.0) || !std::isfinite(scale) || !std::isfinite(offset))
        return;
    // Only the part of the widget the image covers: beyond its edges the scaler would
    // repeat the edge columns.
    const double left = std::max(0.0, offset);
    const double right = std::min(static_cast<double>(width), offset + sourceWidth * scale);
    const int destX = static_cast<int>(std::floor(left));
    const int destWidth = std::min(width, static_cast<int>(std::ceil(right))) - destX;
    const int destHeight = std::min(height, frontImage->get_height());
    if (destWidth <= 0 || destHeight <= 0)
        return;
    const auto shownImage = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, width, height);
    shownImage->fill(0);
    frontImage->scale(shownImage, destX, 0, destWidth, destHeight, offset, 0, scale, 1.0, Gdk::INTERP_BILINEAR);
    Gdk::Cairo::set_source_pixbuf(cr, shownImage, 0, 0);
    cr->paint();
}

void SubPlot::drawRulerLine(const Cairo::RefPtr<Cairo::Context>& cr, int x, int height)
{
    cr->set_line_width(2.0);
    cr->set_antialias(Cairo::ANTIALIAS_NONE);
    Settings& settings = *Settings::instance();
    setSourceColour(cr, settings.getRulerColor(), settings.getRulerTransparency());
    cr->move_to(x, 0);
    cr->line_to(x, height);
    cr->stroke();
}

void SubPlot::drawValueMarker(const Cairo::RefPtr<Cairo::Context>& cr, int x, double y)
{
    cr->set_line_width(2.0);
    cr->set_antialias(Cairo::ANTIALIAS_NONE);
    Settings& settings = *Settings::instance();
    setSourceColour(cr, settings.getRulerColor(), settings.getRulerTransparency());
    cr->move_to(std::max(x - 3, 0), y);
    cr->line_to(x + 3, y);
    cr->stroke();
}

void SubPlot::drawTextBox(const Cairo::RefPtr<Cairo::Context>& cr, const char* text, bool left, bool outOfRange,
                          double x, double y, int width)
{
    Settings& settings = *Settings::instance();
    // A text cut at its buffer's end may end inside a character: Pango takes only whole ones.
    const gchar* valid = nullptr;
    const std::string whole = text;
    g_utf8_validate(whole.c_str(), -1, &valid);
    const auto layout = create_pango_layout(whole.substr(0, static_cast<std::size_t>(valid - whole.c_str())));
    layout->set_font_description(plotTextFont());
    int w = 0;
    int h = 0;
    layout->get_pixel_size(w, h);
    x -= 1;
    w += 2;
    if (y < 0)
        y = 2.0;
    // Flip to the left of the line when the box would leave the widget, or when this
    // ruler's texts prefer the left and there is room.
    if (x + w > width || (left && x - w > 0))
        x -= w + 6;
    const double r = 5.0;
    cr->begin_new_sub_path();
    cr->arc(x + w - r, y + r, r, -M_PI / 2, 0);
    cr->arc(x + w - r, y + h - r, r, 0, M_PI / 2);
    cr->arc(x + r, y + h - r, r, M_PI / 2, M_PI);
    cr->arc(x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cr->close_path();
    setSourceColour(cr, settings.getRulerTextBackgroundColor(), settings.getRulerTxtBackgroundTransparency());
    cr->fill();
    if (outOfRange)
        cr->set_source_rgba(1.0, 0.0, 0.0, settings.getRulerTxtTransparency());
    else
        setSourceColour(cr, settings.getRulerTextColor(), settings.getRulerTxtTransparency());
    cr->move_to(x, y);
    layout->show_in_cairo_context(cr);
    cr->stroke();
}

void SubPlot::drawLegend(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height)
{
    const std::vector<std::shared_ptr<Signal>> signals = storeHost().plotSignals();
    const int n = static_cast<int>(signals.size());
    if (n == 0)
        return;
    Store& store = Store::instance();
    Settings& settings = *Settings::instance();
    const bool showDelta = settings.getShowDelta();
    const int fontRow = settings.getFontSize() + 6;
    // Unset rulers hold kNoTime, which reads as −1.
    const i64 r1 = static_cast<i64>(store.leftRuler.load());
    const i64 r2 = static_cast<i64>(store.rightRuler.load());
    const int x1 = timeToPixel(static_cast<u64>(r1), shownFrom, shownTo, width);
    const int x2 = timeToPixel(static_cast<u64>(r2), shownFrom, shownTo, width);
    // The texts of the two rulers face away from the stretch between them.
    const bool mainLeft = !(r1 > 0 && r2 > 0 && x2 < x1);
    const bool secondaryLeft = !mainLeft;
    const int plotHeight = height - rowHeight;
    const int lane = renderer.split ? plotHeight / n : plotHeight;

    if (r1 > 0)
        drawRulerLine(cr, x1, height);
    if (r2 > 0)
        drawRulerLine(cr, x2, height);

    struct Ruler {
        i64 time;
        int x;
        bool left;
        bool secondary;
    };
    const Ruler rulers[] = {{r1, x1, mainLeft, false}, {r2, x2, secondaryLeft, true}};
    int offset = 0;
    for (const auto& signal : signals) {
        for (const Ruler& ruler : rulers) {
            if (ruler.time <= 0)
                continue;
            const u64 t = static_cast<u64>(ruler.time);
            // Without a sample at or before the ruler the box is placed as for a zero,
            // but it shows no value and no marker.
            // Value, range and flag in one locked read: values may be arriving.
            const SignalReading reading = signal->readingAt(t);
            const std::optional<double>& value = reading.value;
            const double v = value.value_or(0.0);
            const double viewMin = reading.view.low;
            const double viewMax = reading.view.high;
            const double rangeShift = viewMin != viewMax && reading.hasData ? 1 - (v - viewMin) / (viewMax - viewMin) : 0;
            double markerY;
            double shift = 0.0;
            bool outOfRange = false;
            if (v >= viewMin && v <= viewMax) {
                markerY = offset + valueToY(v, lane, store.lineWidth.load(std::memory_order_relaxed), reading.view);
                shift = rangeShift;
            } else {
                // Out of the lane's range: at its top when above, else at its bottom.
                markerY = offset + (v > viewMax ? 0 : lane);
                if (reading.hasData) {
                    // A value exists from the first sample on.
                    if (value) {
                        outOfRange = true;
                        shift = v <= viewMin ? 1.0 : 0.0;
                    } else {
                        shift = rangeShift;
                    }
                }
            }
            if (!std::isfinite(shift))
                shift = 0.0;
            shift = std::clamp(shift, 0.0, 1.0);
            if (value)
                drawValueMarker(cr, ruler.x, markerY);
            const std::optional<u64> deltaFrom =
                ruler.secondary && showDelta && r1 > 0 ? std::optional<u64>(static_cast<u64>(r1)) : std::nullopt;
            const std::string text = rulerValueText(*signal, t, deltaFrom);
            drawTextBox(cr, text.c_str(), ruler.left, outOfRange, ruler.x + 5, markerY - shift * fontRow, width);
        }
        if (renderer.split)
            offset += lane;
    }
    if (r1 > 0)
        drawTextBox(cr, timeText(static_cast<u64>(r1)), mainLeft, false, x1 + 5, plotHeight, width);
    if (r2 > 0) {
        if (showDelta && r1 >= 0)
            drawTextBox(cr, rulerDeltaText(r1 - r2), secondaryLeft, false, x2, plotHeight, width);
        else
            drawTextBox(cr, timeText(static_cast<u64>(r2)), secondaryLeft, false, x2 + 5, plotHeight, width);
    }
    cr->stroke();
}

} // namespace vistra
