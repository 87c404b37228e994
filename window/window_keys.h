#pragma once
// Which action a key press or release in the main window asks for, kept apart from the
// window so that the matching can be checked without a display.
namespace vistra {

enum class WindowKey {
    None,
    ShowHelp,
    ChangeTitle,
    UpdateSignals,
    ToggleFullscreen,
    ToggleListPane,
    OpenLogDirectories,
    FocusSearch,
    LoadVsdFile,
    ConnectLive,
    OpenLogFiles,
    Reload,
    RestoreSelection,
    StoreSelection,
    // Held letters: the detail plot's click modes, on while the key is down.
    ColorMode,
    FindMode,
    HideMode,
    StatsMode,
};

struct WindowKeyMatch {
    WindowKey action = WindowKey::None;
    // False: the key also goes on to the focused widget (always so for the click modes).
    bool handled = false;
};

// `keyval` and `state` as a GdkEventKey carries them. Letters match in either case; a
// letter without modifier is one without Shift, Control and Alt (Caps Lock and the rest
// do not count).
WindowKeyMatch windowKeyPress(unsigned keyval, unsigned state);
// The click mode that a released key ends, with any modifiers; None for other keys.
WindowKey windowKeyRelease(unsigned keyval);

} // namespace vistra
