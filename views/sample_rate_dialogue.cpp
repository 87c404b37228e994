#include "views/sample_rate_dialogue.h"

#include "core/settings.h"
#include "store/store.h"
#include "views/resample_table.h"

#include <gtkmm/adjustment.h>
#include <gtkmm/clipboard.h>

#include <algorithm>

namespace vistra {

namespace {

// The largest value each scale reaches (its upper end less its page size).
constexpr u64 kMsHighest = 10;
constexpr u64 kTensHighest = 1000;
constexpr u64 kSecondsHighest = 60000;

void setUpScale(Gtk::Scale& scale, double value, double lower, double upper, double step, double page,
                double pageSize)
{
    scale.set_adjustment(Gtk::Adjustment::create(value, lower, upper, step, page, pageSize));
    scale.set_round_digits(0);
    scale.set_hexpand(true);
    scale.set_margin_left(10);
    scale.set_margin_right(10);
}

} // namespace

SampleRateDialogue::SampleRateDialogue()
{
    set_title("Copy plot to clipboard");
    set_keep_above(true);
    set_default_size(300, -1);
    set_hexpand(true);

    setUpScale(msScale, 10, 1, 11, 1, 1, 1);
    setUpScale(tensScale, 20, 10, 1010, 10, 10, 10);
    setUpScale(secondsScale, 1000, 1000, 61000, 1000, 10000, 1000);

    grid.attach(intervalLabel, 0, 0, 5, 1);
    grid.attach(msScale, 0, 1, 5, 1);
    grid.attach(tensScale, 0, 2, 5, 1);
    grid.attach(secondsScale, 0, 3, 5, 1);
    msButton.set_margin_left(10);
    msButton.set_margin_bottom(10);
    tensButton.set_margin_bottom(10);
    secondsButton.set_margin_bottom(10);
    copyButton.set_margin_right(10);
    copyButton.set_margin_bottom(10);
    grid.attach(msButton, 0, 4, 1, 1);
    grid.attach(tensButton, 1, 4, 1, 1);
    grid.attach(secondsButton, 2, 4, 1, 1);
    grid.attach(copyButton, 4, 4, 1, 1);
    add(grid);

    copyButton.signal_clicked().connect(sigc::mem_fun(*this, &SampleRateDialogue::onCopyClicked));
    msScale.signal_change_value().connect(
        [this](Gtk::ScrollType, double v) { return onMsScaleChanged(v); });
    tensScale.signal_change_value().connect(
        [this](Gtk::ScrollType, double v) { return onTensScaleChanged(v); });
    secondsScale.signal_change_value().connect(
        [this](Gtk::ScrollType, double v) { return onSecondsScaleChanged(v); });
    msButton.signal_clicked().connect(sigc::mem_fun(*this, &SampleRateDialogue::onMsClicked));
    tensButton.signal_clicked().connect(sigc::mem_fun(*this, &SampleRateDialogue::onTensClicked));
    secondsButton.signal_clicked().connect(sigc::mem_fun(*this, &SampleRateDialogue::onSecondsClicked));

    show_all_children();
    onTensClicked(); // the default step of 20 ms, on the 10 ms scale
}

SampleRateDialogue::~SampleRateDialogue() = default;

void SampleRateDialogue::setInterval(u64 a, u64 b)
{
    from = std::min(a, b);
    to = std::max(a, b);
    show();
}

void SampleRateDialogue::onCopyClicked()
{
    buildResampledTable();
    hide();
}

// The change-value handlers see the value the user asked for, before the scale clamps it.
bool SampleRateDialogue::onMsScaleChanged(double v)
{
    setStep(snapStep(v, 1, kMsHighest));
    return true;
}

bool SampleRateDialogue::onTensScaleChanged(double v)
{
    setStep(snapStep(v, 10, kTensHighest));
    return true;
}

bool SampleRateDialogue::onSecondsScaleChanged(double v)
{
    setStep(snapStep(v, 1000, kSecondsHighest));
    return true;
}

void SampleRateDialogue::onMsClicked()
{
    setStep(snapStep(msScale.get_value(), 1, kMsHighest));
    showOnly(msScale);
}

void SampleRateDialogue::onTensClicked()
{
    setStep(snapStep(tensScale.get_value(), 10, kTensHighest));
    showOnly(tensScale);
}

void SampleRateDialogue::onSecondsClicked()
{
    setStep(snapStep(secondsScale.get_value(), 1000, kSecondsHighest));
    showOnly(secondsScale);
}

void SampleRateDialogue::setStep(u64 step)
{
    const double value = static_cast<double>(step);
    msScale.set_value(value);
    tensScale.set_value(value);
    secondsScale.set_value(value);
    interval = step;
}

void SampleRateDialogue::showOnly(Gtk::Scale& scale)
{
    for (Gtk::Scale* s : {&msScale, &tensScale, &secondsScale})
        if (s != &scale)
            s->hide();
    scale.show();
}

void SampleRateDialogue::buildResampledTable()
{
    const bool comma = Settings::instance()->getDecimalComma();
    const auto columns = plottedColumns(Store::instance().interfaces);
    if (columns.empty())
        return;
    const std::string text = resampledTable(columns, from, to, interval, comma);
    Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD)->set_text(text);
}

} // namespace vistra
