#include "window/menu_icon_item.h"

#include <gtkmm/icontheme.h>

namespace vistra {

MenuIconItem::MenuIconItem(const Glib::ustring& iconName, const Glib::ustring& text, bool mnemonic)
    : iconName(iconName), label(text, mnemonic)
{
    add(box);
    // A name the theme lacks would show the "missing image" placeholder.
    if (!iconName.empty() && Gtk::IconTheme::get_default()->has_icon(iconName)) {
        image = std::make_unique<Gtk::Image>();
        image->set_from_icon_name(iconName, Gtk::ICON_SIZE_MENU);
        box.pack_start(*image, false, false, 0);
    }
    label.set_xalign(0);
    box.pack_start(label, true, true);
    show_all();
}

void MenuIconItem::setAccel(guint key, Gdk::ModifierType modifiers) { label.set_accel(key, modifiers); }

void MenuIconItem::setHint(const Glib::ustring& markup)
{
    hint.set_markup(markup);
    hint.show();
    if (!hint.get_parent())
        box.pack_end(hint, false, false);
}

} // namespace vistra
