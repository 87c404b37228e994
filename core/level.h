#pragma once
// The severity of a reported diagnostic. Standard error and the message log show it as a
// three-letter tag.
namespace vistra {

enum class Level { Info, Warning, Error };

inline const char* levelTag(Level level)
{
    switch (level) {
    case Level::Error: return "ERR";
    case Level::Warning: return "WRN";
    default: return "INF";
    }
}

} // namespace vistra
