#include "views/stat_window.h"

#include "core/signal.h"
#include "store/store.h"
#include "views/analysis_range.h"
#include "views/handler_guard.h"
#include "views/statistics_values.h"
#include "views/time_box.h"

#include <glibmm/markup.h>
#include <gtkmm/clipboard.h>

#include <mutex>

namespace vistra {

namespace {

enum Row { LeftTime, RightTime, Span, LeftValue, RightValue, Delta, Min, Max, Average, Deviation, Integral };

const char* const kCaptions[StatWindow::kRows] = {
    "<b>Left ruler time</b>", "<b>Right ruler time</b>", "<b>Time span</b>",       "<b>Left ruler value</b>",
    "<b>Right ruler value</b>", "<b>Value delta</b>",    "<b>Min value</b>",       "<b>Max value</b>",
    "<b>Average</b>",          "<b>Standard deviation</b>", ""};

Glib::ustring bold(const Glib::ustring& text) { return "<b>" + Glib::Markup::escape_text(text) + "</b>"; }

} // namespace

StatWindow::StatWindow(std::shared_ptr<Signal> shown) : signal(std::move(shown))
{
    grid.set_column_spacing(20);
    grid.set_row_spacing(5);
    grid.set_margin_top(10);
    grid.set_margin_left(10);
    grid.set_margin_right(10);
    grid.set_margin_bottom(5);
    grid.set_can_focus(true);

    for (int row = 0; row < kRows; ++row) {
        auto& [caption, value, unit] = labels[row];
        caption.set_markup(kCaptions[row]);
        caption.set_halign(Gtk::ALIGN_START);
        caption.set_valign(Gtk::ALIGN_START);
        value.set_text("-");
        value.set_halign(Gtk::ALIGN_END);
        value.set_valign(Gtk::ALIGN_END);
        value.set_selectable(true);
        unit.set_halign(Gtk::ALIGN_START);
        grid.attach(caption, 0, row);
        grid.attach(value, 1, row);
        if (row <= RightTime) {
            unit.set_valign(Gtk::ALIGN_START);
            unit.set_selectable(true);
            grid.attach(unit, 2, row, 2, 1);
        } else if (row < Integral) {
            unit.set_valign(Gtk::ALIGN_END);
            unit.set_markup(row == Span ? Glib::ustring("<b>s</b>") : bold(signal->unit));
            grid.attach(unit, 2, row, 2, 1);
        } else {
            unit.set_valign(Gtk::ALIGN_END);
            grid.attach(unit, 2, row);
            grid.attach(unitButton, 3, row);
        }
    }
    labels[Min][0].set_margin_top(10);
    copyButton.set_margin_top(10);
    grid.attach(copyButton, 2, kRows, 2, 1);
    writeIntegralUnit();

    set_resizable(false);
    set_keep_above(true);
    set_title(messageAndSignalName(*signal) + " Statistics");
    // Widgets are trackable: these connections end with the window.
    timeBox().changed.connect(sigc::mem_fun(*this, &StatWindow::onRangeChanged));
    Store::instance().markersChanged.connect(sigc::mem_fun(*this, &StatWindow::onRangeChanged));
    copyButton.signal_clicked().connect(
        [this] { guardHandler("Copying the statistics", [this] { statisticsText(); }); });
    unitButton.signal_clicked().connect(
        [this] { guardHandler("Changing the time unit", [this] { cycleTimeUnit(); }); });
    add(grid);
    show_all_children();
    computeStatistics();
    show();
}

StatWindow::~StatWindow() = default;

void StatWindow::onRangeChanged()
{
    guardHandler("Computing the statistics", [this] { computeStatistics(); });
}

void StatWindow::writeIntegralUnit()
{
    const Glib::ustring& name = timeUnitNames[timeUnit];
    labels[Integral][0].set_markup("<b>Integral [" + name + "]</b>");
    labels[Integral][2].set_markup(bold(signal->unit + "\u00b7" + name));
}

void StatWindow::computeStatistics()
{
    Store& store = Store::instance();
    const TimeBox& box = timeBox();
    StatisticsValues stats;
    {
        std::lock_guard lock(*signal->samplesMutex);
        stats = vistra::computeStatistics(signal->samples, store.leftRuler, store.rightRuler, box.from, box.to,
                                          signal->limitLow, signal->limitHigh);
    }
    const StatisticsTexts texts = statisticsTexts(stats, timeUnit, [&store](u64 t, bool absolute) {
        char text[64];
        return std::string(store.formatTime(static_cast<i64>(t), text, sizeof text, absolute, true));
    });
    for (int row = 0; row < kRows; ++row)
        labels[row][1].set_text(texts.values[row]);
    labels[LeftTime][2].set_text(texts.leftRelative);
    labels[RightTime][2].set_text(texts.rightRelative);
    writeIntegralUnit();
}

void StatWindow::cycleTimeUnit()
{
    timeUnit = (timeUnit + 1) % timeUnitNames.size();
    computeStatistics();
}

std::string StatWindow::statisticsTable() const
{
    std::string text = "Name\tValue\tUnit\n";
    text += "Window\t" + Store::instance().title.raw() + "\n";
    text += "Signal\t" + messageAndSignalName(*signal).raw() + "\n";
    for (const auto& [caption, value, unit] : labels)
        text += caption.get_text().raw() + "\t" + value.get_text().raw() + "\t" + unit.get_text().raw() + "\n";
    return text;
}

void StatWindow::statisticsText() { Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD)->set_text(statisticsTable()); }

} // namespace vistra
