#include "window/analysis_windows.h"

#include "window/window.h"

namespace vistra {

namespace {

sigc::connection connectToReload(const sigc::slot<void()>& slot) { return Window::instance().reloaded.connect(slot); }

} // namespace

OpenWindows<HistWindow>& openHistWindows()
{
    static OpenWindows<HistWindow> registry(connectToReload);
    return registry;
}

OpenWindows<StatWindow>& openStatWindows()
{
    static OpenWindows<StatWindow> registry(connectToReload);
    return registry;
}

void closeAnalysisWindows()
{
    openHistWindows().closeAllWindows();
    openStatWindows().closeAllWindows();
}

} // namespace vistra
