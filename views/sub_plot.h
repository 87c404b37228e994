#pragma once
// The detail plot: every plotted signal over the visible interval, one lane per signal
// (split view) or all overlaid, with the two rulers, their value texts and times, and a
// fading highlight band over one lane.
//
// Curves are painted by the widget's own painter pool; the GUI thread only composites the
// finished images and draws the texts. A render (on every size allocation) starts a new
// generation and submits one task per signal for the shown interval widened by up to
// half a span on each side; until all tasks of the generation are in, the previous image
// stays on screen, scaled and shifted into the new interval.
//
// Listens to TimeBox::changed (follow the visible interval), Store::dataChanged
// (re-render; throttled to once a second while live data arrive),
// Store::settingsChanged (text row height) and IPC::rulersChanged (rulers moved in another
// linked copy).
//
// The user's side: rulers on buttons 1 and 3, zoom and pan on the wheel and the arrow
// keys, crop, copy and ASC export, and the click modes that the main window switches on
// while C, F, H or S is held. Zoom, pan and crop go through TimeBox, so that every view
// follows; rulers go to the Store and the inter-process link. A ruler drag only redraws:
// the image stays, and the redraws of many motion events fold into one frame.
#include "core/types.h"
#include "views/plot_math.h"
#include "views/plot_renderer.h"
#include "views/sample_rate_dialogue.h"
#include "views/sub_plot_host.h"

#include <cairomm/context.h>
#include <gtkmm/drawingarea.h>

#include <memory>

namespace vistra {

class Signal;

// What a one-shot redraw timer does when it fires; a higher level includes the lower.
enum class RedrawLevel { None, Redraw, Rerender };

class SubPlot : public Gtk::DrawingArea {
public:
    SubPlot();

    SubPlot(const SubPlot&) = delete;
    SubPlot& operator=(const SubPlot&) = delete;

    // The main window, which the click modes and the popup act on; none in tests of the
    // widget alone.
    void setHost(SubPlotHost* newHost) { host = newHost; }

    // Reload: drops the queued and running tasks and the image.
    void reset();

    // Moves the held ruler (main before secondary) to the time at pixel x; nothing while
    // no ruler button is held.
    void moveRuler(int x);
    void deleteRulers();
    // One step of the arrow keys; x = 0 zooms about the middle.
    void zoomOrPan(bool zoomIn, bool zoomOut, bool panLeft, bool panRight, double x);
    // Shrinks the view window to the rulers, or to the shown interval without both.
    void crop();
    // Opens the copy dialog on the rulers, or on the visible interval without both.
    void copyToClipboard();
    // Asks for a file and has the Store write the frames of the ruler or visible range
    // to it as an ASC trace.
    void dumpVisibleRangeAsc();
    void toggleSplitView();
    void togglePrettyTime();
    void toggleShowDelta();
    // The click modes; on, the pointer is a crosshair.
    void setHideMode(bool on);
    void setColorMode(bool on);
    void setFindMode(bool on);
    void setStatsMode(bool on);
    // The plot popup for the signal whose lane holds y.
    void showPopupMenu(double y);
    // Lights the lane of `signal` with a band in its colour that fades out over a second
    // (split view only; the signal must be plotted and loaded).
    void highlightSignal(std::shared_ptr<Signal> signal);
    // The plotted signal whose split-view lane holds y (also in overlay); empty when none.
    std::shared_ptr<Signal> signalAtY(double y);
    // x of t in the widget, clamped to what Cairo can take.
    int timeToX(u64 t);
    // t as the ruler texts show it (absolute with date when "pretty_time" is on), in one
    // static buffer.
    const char* timeText(u64 t);
    // The distance between the rulers, dt = main − secondary: ' ' when the secondary
    // ruler lies later, '-' otherwise; seconds, or with "pretty_time" years, months and
    // days. One static buffer.
    static const char* rulerDeltaText(i64 dt);
    // Arms a one-shot timer unless one of at least `level` is armed. GUI thread.
    void scheduleRedraw(RedrawLevel level, unsigned ms);

    // True while tasks of the current generation are out.
    bool renderPending() { return renderer.renderPending(); }
    // The interval at the widget's edges; shownTo = 0 before the first render.
    u64 shownFrom = 0;
    u64 shownTo = 0;

    // Button 1 and 3 held: motion moves the main ruler first.
    bool heldMain = false;
    bool heldSecondary = false;
    bool hideMode = false;
    bool colorMode = false;
    bool findMode = false;
    bool statsMode = false;
    SampleRateDialogue sampleRateDialogue;

    bool on_configure_event(GdkEventConfigure* event) override;
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
    bool on_button_press_event(GdkEventButton* event) override;
    bool on_button_release_event(GdkEventButton* event) override;
    bool on_motion_notify_event(GdkEventMotion* event) override;
    bool on_scroll_event(GdkEventScroll* event) override;
    bool on_key_press_event(GdkEventKey* event) override;

private:
    bool clickModeOn() const { return hideMode || colorMode || findMode || statsMode; }
    void setClickMode(bool& mode, bool on);
    // Acts on the signal under the pointer in the first click mode that is on.
    void clickModeAction(double y);
    // Hands the moved interval to TimeBox and shows it only when TimeBox takes it.
    void publishInterval(SignedInterval interval);
    void move(PlotMove step, double x);
    // The ruler times moved: the link, the analysis windows and the drawing follow.
    void rulersMoved();
    void render(int width, int height);
    void onTimeBoxChanged();
    void onStoreData();
    void onLinkedRulersChanged();
    void updateRowHeight();
    bool onRedrawTimeout();
    void drawImage(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height);
    void drawHighlight(const Cairo::RefPtr<Cairo::Context>& cr, int width, bool& fading);
    void drawLegend(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height);
    void drawRulerLine(const Cairo::RefPtr<Cairo::Context>& cr, int x, int height);
    void drawValueMarker(const Cairo::RefPtr<Cairo::Context>& cr, int x, double y);
    void drawTextBox(const Cairo::RefPtr<Cairo::Context>& cr, const char* text, bool left, bool outOfRange,
                     double x, double y, int width);

    i32 rowHeight = 16;
    // Its mutex also guards the fields from here to `highlightY`.
    PlotRenderer renderer;
    RedrawLevel pendingRedraw = RedrawLevel::None;
    i32 imageWidth = 0;
    i32 imageHeight = 0;
    i32 laneHeight = 0;
    std::shared_ptr<Signal> highlighted;
    u32 highlightUntil = 0;
    i32 highlightY = 0;
    SubPlotHost* host = nullptr;
};

} // namespace vistra
