#pragma once
// Finding the log files below a folder chosen in the "Open log directory" dialog.
#include <functional>
#include <string>

namespace vistra {

// Walks `folder` to any depth and calls `add` with the path of every regular file (or
// link to one) whose extension is exactly ".lz4", in walk order. Links to folders are not
// followed, so a link cycle cannot trap the walk; entries and subfolders that cannot be
// read are passed over. False when `folder` itself cannot be read.
bool collectLogFiles(const std::string& folder, const std::function<void(const std::string&)>& add);

} // namespace vistra
