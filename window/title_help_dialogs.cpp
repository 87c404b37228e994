// The "Commands and controls" help and the "Change title" dialog of the main window.
#include "window/window.h"

#include "store/store.h"
#include "views/handler_guard.h"
#include "window/message_dialogs.h"

#include <gtkmm/dialog.h>

namespace vistra {
namespace {

// Return and keypad Enter differ only in bit 0x80 of the key value.
bool isEnter(guint keyval) { return (keyval & ~0x80u) == 0xff0du; }

} // namespace

void Window::showHelp() { showHelpDialog(*this, quickGuidePath()); }

void Window::changeTitle()
{
    Store& store = Store::instance();
    Gtk::Dialog dialog("Change title", *this, true);
    Gtk::Entry entry;
    entry.set_text(get_title());
    dialog.get_content_area()->pack_end(entry, true, true, 10);
    dialog.add_button("Update", Gtk::RESPONSE_OK);
    const auto apply = [this, &store, &entry] {
        store.title = entry.get_text();
        set_title(store.title);
    };
    entry.signal_key_press_event().connect(
        [&](GdkEventKey* event) {
            return guardHandler("Changing the title", false, [&] {
                if (isEnter(event->keyval)) {
                    apply();
                    dialog.hide();
                }
                return false;
            });
        },
        false);
    dialog.show_all_children();
    if (runDialog(dialog) == Gtk::RESPONSE_OK)
        apply();
}

} // namespace vistra
