// Choosing a signal's line colour.
#include "window/window.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/dialog_runner.h"

#include <gtkmm/colorchooserdialog.h>

#include <cstdio>

namespace vistra {

void Window::chooseLineColor(std::shared_ptr<Signal> signal)
{
    if (!signal)
        return;
    Gtk::ColorChooserDialog dialog("Select line color");
    dialog.set_transient_for(*this);
    // Lines are drawn opaque: a transparency to choose would not show.
    dialog.set_use_alpha(false);
    Gdk::RGBA current;
    if (current.set(signal->colour))
        dialog.set_rgba(current);
    dialog.set_keep_above(true);
    if (runDialog(dialog) != Gtk::RESPONSE_OK)
        return;
    const Gdk::RGBA chosen = dialog.get_rgba();
    // The settings' colour form: four hexadecimal digits per channel.
    char text[16];
    std::snprintf(text, sizeof text, "#%04x%04x%04x", chosen.get_red_u(), chosen.get_green_u(), chosen.get_blue_u());
    signal->colour = text;
    if (signal->parent && signal->parent->iface)
        Settings::instance()->setSignalColor(signal->parent->iface->name, signal->parent->name, signal->name,
                                             signal->colour);
    if (!dataList.updateSignalColor(signal))
        statList.updateSignalColor(signal);
    Store::instance().emitDataChanged();
}

} // namespace vistra
