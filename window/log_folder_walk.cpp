#include "window/log_folder_walk.h"

#include <filesystem>

namespace vistra {
namespace {

namespace fs = std::filesystem;

void walk(const fs::path& folder, const std::function<void(const std::string&)>& add, bool& opened)
{
    std::error_code error;
    fs::directory_iterator entry(folder, error);
    if (error)
        return;
    opened = true;
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        if (error)
            return; // the folder's listing broke off: nothing more can be read from it
        std::error_code entryError;
        const fs::file_status own = entry->symlink_status(entryError);
        if (entryError)
            continue;
        if (fs::is_directory(own)) {
            bool sub = false;
            walk(entry->path(), add, sub);
            continue;
        }
        if (entry->path().extension() != ".lz4")
            continue;
        // Links to files count as the files they lead to.
        if (fs::is_regular_file(entry->status(entryError)) && !entryError)
            add(entry->path().string());
    }
}

} // namespace

bool collectLogFiles(const std::string& folder, const std::function<void(const std::string&)>& add)
{
    bool opened = false;
    walk(folder, add, opened);
    return opened;
}

} // namespace vistra
