#pragma once
// The process's registries of histogram and statistics windows. Their windows close on
// every reload of the main window.
#include "views/hist_window.h"
#include "views/open_windows.h"
#include "views/stat_window.h"

namespace vistra {

OpenWindows<HistWindow>& openHistWindows();
OpenWindows<StatWindow>& openStatWindows();

} // namespace vistra
