#pragma once
// The window that copies the plotted signals of an interval to the clipboard as a
// tab-separated table, resampled at a step of 1 ms to 60 s. The detail plot owns one and
// opens it with setInterval; "Copy" puts the table on the clipboard and hides it. The
// chosen step is kept between uses.
#include "core/types.h"

#include <gtkmm/button.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/scale.h>
#include <gtkmm/window.h>

namespace vistra {

class SampleRateDialogue : public Gtk::Window {
public:
    SampleRateDialogue();
    ~SampleRateDialogue() override;

    // Takes the interval in either order and shows the window.
    void setInterval(u64 a, u64 b);
    // Puts the table of the plotted signals on the CLIPBOARD; leaves it alone when no
    // signal is plotted.
    void buildResampledTable();

private:
    void onCopyClicked();
    bool onMsScaleChanged(double v);
    bool onTensScaleChanged(double v);
    bool onSecondsScaleChanged(double v);
    void onMsClicked();
    void onTensClicked();
    void onSecondsClicked();
    // Stores the step and shows it on all three scales (each clamps it to its range).
    void setStep(u64 step);
    // Shows one scale and hides the other two.
    void showOnly(Gtk::Scale& scale);

    Gtk::Grid grid;
    Gtk::Label intervalLabel{"Interval in ms:"};
    Gtk::Scale msScale{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::Scale tensScale{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::Scale secondsScale{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::Button msButton{"1 ms"};
    Gtk::Button tensButton{"10 ms"};
    Gtk::Button secondsButton{"1 s"};
    Gtk::Button copyButton{"Copy"};
    u64 from = 0;
    u64 to = 0;
    u64 interval = 20;
};

} // namespace vistra
