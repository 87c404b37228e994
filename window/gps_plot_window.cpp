// The main window's GPS plot window: built once with the main window, given the track of
// the current load on the first "Plot GPS track" after each reload, and only shown later.
#include "window/window.h"

namespace vistra {

void Window::showGpsPlot()
{
    if (!gpsPlotWin.trackAttached) {
        gpsPlotWin.trackAttached = true;
        gpsPlotWin.plot.setSource(gpsTrack);
    }
    gpsPlotWin.show();
}

void Window::releaseGpsPlotTrack()
{
    gpsPlotWin.trackAttached = false;
    gpsPlotWin.plot.releaseSource();
    gpsPlotWin.hide();
}

} // namespace vistra
