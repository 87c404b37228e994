#pragma once
// A menu item with a theme icon, a label (with a mnemonic or literal) and a right-aligned
// accelerator text, and a spare label for a grey key hint at its end.
#include <gdkmm/types.h>
#include <gtkmm/accellabel.h>
#include <gtkmm/box.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/menuitem.h>

#include <memory>

namespace vistra {

class MenuIconItem : public Gtk::MenuItem {
public:
    // An empty icon name, or one the icon theme lacks, gives an item without an image.
    // With `mnemonic`, an underscore in the label marks the mnemonic; otherwise the label
    // shows as it stands.
    MenuIconItem(const Glib::ustring& iconName, const Glib::ustring& text, bool mnemonic);

    // The accelerator is only shown; the keys themselves are handled elsewhere.
    void setAccel(guint key, Gdk::ModifierType modifiers);
    // Shows `markup` at the end of the item.
    void setHint(const Glib::ustring& markup);

    const Glib::ustring iconName;
    Gtk::Box box{Gtk::ORIENTATION_HORIZONTAL, 6};
    std::unique_ptr<Gtk::Image> image;
    Gtk::AccelLabel label;
    Gtk::Label hint;
};

} // namespace vistra
