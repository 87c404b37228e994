#include "views/dialog_runner.h"

#include <gtkmm/dialog.h>

namespace vistra {
namespace {

DialogRunner& dialogRunner()
{
    static DialogRunner runner;
    return runner;
}

} // namespace

int runDialog(Gtk::Dialog& dialog)
{
    if (dialogRunner())
        return dialogRunner()(dialog);
    return dialog.run();
}

void setDialogRunner(DialogRunner runner) { dialogRunner() = std::move(runner); }

bool dialogRunnerSet() { return static_cast<bool>(dialogRunner()); }

} // namespace vistra
