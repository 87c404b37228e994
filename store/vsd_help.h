#pragma once
// The VSD format help that `tarnwick -e` prints.
#include <string>

namespace vistra {

// The help text with its terminal colours: group names bold white, keys bold green,
// values yellow, explanations after '#' plain.
const std::string& vsdHelpText();

// Colours one plain help text by its line structure ("[group]" lines and "key=value  # note"
// lines); every other line stays as it is.
std::string colourVsdHelp(const std::string& plain);

} // namespace vistra
