#pragma once
// The process's registries of histogram and statistics windows. Their windows close on
// every reload of the main window.
#include "views/hist_window.h"
#include "views/open_windows.h"
#include "views/stat_window.h"

namespace vistra {

OpenWindows<HistWindow>& openHistWindows();
OpenWindows<StatWindow>& openStatWindows();

// Closes every histogram and statistics window. Called when the application ends, so that
// no window is left for the destruction of statics, after the toolkit has finished.
void closeAnalysisWindows();

} // namespace vistra
