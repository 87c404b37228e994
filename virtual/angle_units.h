#pragma once
// The factors between degrees and radians, for the trigonometric functions of the
// expression parser and of the multi-input methods (degrees unless a signal says radians).

namespace vistra {

inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;

} // namespace vistra
