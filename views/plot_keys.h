#pragma once
// Which action a key press on the detail plot asks for, kept apart from the widget so that
// the matching of keys and modifiers can be checked without a display.
namespace vistra {

enum class PlotKey {
    None, // not the plot's: the key goes on to the main window
    ExportAsc,
    Copy,
    ToggleDelta,
    TogglePrettyTime,
    Uncrop,
    Crop,
    DeleteRulers,
    PanEarlier,
    PanLater,
    ZoomIn,
    ZoomOut,
};

// `keyval` and `state` as a GdkEventKey carries them. Letters match in either case; Caps
// Lock and Num Lock never count as modifiers.
PlotKey plotKeyAction(unsigned keyval, unsigned state);

} // namespace vistra
