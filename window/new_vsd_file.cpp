#include "window/new_vsd_file.h"

#include <giomm/file.h>

namespace vistra {

const char* const kNewVsdText = "# Example settings file\n"
                                "[settings]\n"
                                "ifname_0=PRIMARY\n"
                                "dbcfile_0=dbc_in_sam_dir.dbc;/home/me/path/to/file/dbc_in_other_dir.dbc\n"
                                "\n"
                                "ifname_1=SECONDARY\n"
                                "dbcfile_1=some_dbc_file.dbc\n"
                                "\n"
                                "# optional, split VSD into several files\n"
                                "include=path_to_other.vsd\n"
                                "\n";

std::string withExtension(const std::string& name, const std::string& extension)
{
    if (name.size() >= extension.size() && name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        return name;
    return name + extension;
}

bool replaceFileWithBackup(const std::string& path, const std::string& text, Glib::ustring& error)
{
    try {
        auto stream = Gio::File::create_for_path(path)->replace("", true);
        gsize written = 0;
        stream->write_all(text, written);
        stream->close();
        return true;
    } catch (const Glib::Error& e) {
        error = e.what();
        return false;
    }
}

} // namespace vistra
