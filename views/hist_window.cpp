#include "views/hist_window.h"

#include "core/signal.h"
#include "views/analysis_range.h"
#include "views/handler_guard.h"

#include <algorithm>
#include <cmath>

namespace vistra {

HistWindow::HistWindow(std::shared_ptr<Signal> signal)
    : histogram(signal),
      // The page size of 10 leaves the scale running from 2 to 100.
      binsScale(Gtk::Adjustment::create(10.0, 2.0, 110.0, 1.0, 10.0, 10.0), Gtk::ORIENTATION_HORIZONTAL)
{
    set_title(messageAndSignalName(*signal));
    set_keep_above(true);
    binsScale.set_digits(0);
    binsScale.signal_change_value().connect(
        [this](Gtk::ScrollType, double value) {
            return guardHandler("Changing the bins", true, [&] { return onBinsChanged(value); });
        },
        false);
    copyButton.signal_clicked().connect([this] { guardHandler("Copying the histogram", [this] { onCopyClicked(); }); });
    vbox.pack_start(histogram, Gtk::PACK_EXPAND_WIDGET);
    vbox.pack_start(hbox, Gtk::PACK_SHRINK);
    hbox.pack_start(binsScale, Gtk::PACK_EXPAND_WIDGET);
    hbox.pack_end(copyButton, Gtk::PACK_SHRINK);
    add(vbox);
    show_all_children();
    show();
}

HistWindow::~HistWindow() = default;

bool HistWindow::onBinsChanged(double value)
{
    // Keys and the wheel on the scale can ask for less than the scale shows, down to 0.
    const double whole = std::trunc(value);
    const int n = std::isnan(whole) ? 0 : static_cast<int>(std::clamp(whole, 0.0, 100.0));
    binsScale.set_value(n);
    binCount = n;
    histogram.setBins(static_cast<u64>(n));
    return true;
}

void HistWindow::onCopyClicked() { histogram.copyToClipboard(); }

} // namespace vistra
