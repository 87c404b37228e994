#pragma once
// The items of the main window's four popup menus: every menu is built from one
// catalogue of item kinds, and each holds some of them.
namespace vistra {

enum PopupKind {
    PopupHeader, // the target's name in the plot menu; never sensitive
    PopupFindInList,
    PopupCopyName,
    PopupChangeColor,
    PopupHistogram,
    PopupMessageRate,
    PopupShowStats,
    PopupHideSignal,
    PopupExpandSelected,
    PopupExpandAll,
    PopupCollapseAll,
    PopupUncheckAll,
    PopupStoreSelected,
    PopupRestoreSelected,
    PopupCrop,
    PopupUncrop,
    PopupEditSignal,
    PopupNewSignal,
    PopupToggleHidden,
    PopupDeleteRulers,
    PopupSeparator1,
    PopupSeparator2,
    PopupSeparator3,
    kPopupKinds,
};

// Which menu: on a plot lane, on a signal row, on a message row, on an interface row or
// the list's background.
enum PopupSet {
    PopupPlot,
    PopupSignal,
    PopupMessage,
    PopupList,
    kPopupSets,
};

} // namespace vistra
