#pragma once
// Every modal dialog of the GUI runs through runDialog, so that tests can answer dialogs
// without a nested main loop.
#include <functional>

namespace Gtk {
class Dialog;
} // namespace Gtk

namespace vistra {

using DialogRunner = std::function<int(Gtk::Dialog&)>;

// Runs the dialog modally (Gtk::Dialog::run) or through the runner set for tests; an
// empty runner restores the real one.
int runDialog(Gtk::Dialog& dialog);
void setDialogRunner(DialogRunner runner);
// True while a test's runner is set.
bool dialogRunnerSet();

} // namespace vistra
