#pragma once
// What the detail plot asks of the main window for the signal under the pointer: the
// actions of the click modes and the plot popup menu.
#include <memory>

namespace vistra {

class Signal;

class SubPlotHost {
public:
    virtual ~SubPlotHost() = default;
    virtual void hideSignal(std::shared_ptr<Signal> signal) = 0;
    virtual void chooseLineColor(std::shared_ptr<Signal> signal) = 0;
    virtual void findSignalInList(std::shared_ptr<Signal> signal) = 0;
    virtual void showStats(std::shared_ptr<Signal> signal) = 0;
    virtual void popupPlotMenu(std::shared_ptr<Signal> signal) = 0;
};

} // namespace vistra
