#include "views/file_chooser.h"

#include <glibmm/convert.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/filefilter.h>

namespace vistra {

void setUpFileChooser(Gtk::FileChooserDialog& dialog, const Glib::ustring& name,
                      std::initializer_list<const char*> patterns, const Glib::ustring& allName)
{
    auto named = Gtk::FileFilter::create();
    named->set_name(name);
    for (const char* pattern : patterns)
        named->add_pattern(pattern);
    dialog.add_filter(named);
    auto all = Gtk::FileFilter::create();
    all->set_name(allName);
    all->add_pattern("*");
    dialog.add_filter(all);
    dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
    dialog.add_button("Select", Gtk::RESPONSE_OK);
}

Glib::ustring utf8FileName(const std::string& name)
{
    try {
        return Glib::filename_to_utf8(name);
    } catch (const Glib::ConvertError&) {
        return Glib::filename_display_name(name);
    }
}

} // namespace vistra
