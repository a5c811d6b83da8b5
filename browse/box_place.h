// Where a box was last closed. The options dialog, the information box, the
// ZubBOX and the FileBOX each open again where the user left them, and the
// first of them opens near the viewer.
#pragma once

#include <windows.h>

// Where a box goes before it was ever closed.
enum class FirstBoxPlace {
    AsMade,            // where the dialog manager put it
    ViewerLeftMiddle,  // top left corner at the viewer's left edge, half way down
    ViewerCentre,      // top left corner at the viewer's centre
};

// The window as it is when shown normally: a minimised window's own
// rectangle is the icon's, far off the screen, so its normal rectangle is
// taken instead.
RECT NormalWindowRect(HWND window);

// Keeps where `box` is as it closes (its normal rectangle); `place.right`
// stays 0 until a box was closed.
void RememberBoxPlace(HWND box, RECT& place);

// Moves `box` to its remembered place, or the first box to `first` of the
// viewer's normal rectangle; size, stacking and activation unchanged.
void ReturnBoxToPlace(HWND box, const RECT& place, HWND viewer, FirstBoxPlace first);
