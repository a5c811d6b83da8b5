// The picture surface of the viewer window: loading the current picture into
// the shown bitmap, drawing it fitted or at true size, and scrolling it.
#pragma once

#include <windows.h>

// Loads CurrentPath turned by CurrentOrientation, makes it the shown bitmap,
// lays the window out, titles it and repaints.
void ShowPicture(HWND window);

// Draws the shown bitmap by the display mode into dc. Always 1.
// WM_ERASEBKGND while the kept fitted picture is drawn: only the bands
// around the picture are filled black, since the paint covers the rest.
// False when the whole client area is to be erased as usual.
bool EraseAroundPicture(HDC dc);
int PaintPicture(HWND window, HDC dc);

// Moves the true-size view by (dx, dy) as far as the picture allows and
// repaints only what came into view. 0.
int ScrollPicture(HWND window, int dx, int dy);

// ClientSize from the window; the overflow flags from the picture and the
// client (both 0 in fit display or without a picture).
void RefreshOverflow(HWND window);

// Deletes the shown bitmap, if any, and the fitted picture made from it.
void DropShownBitmap(HWND window);
// Deletes the kept fitted picture; the next fitted paint makes it again.
// Whatever changes how the shown picture looks calls it.
void DropFittedPicture();

// Keeps the display options' profile to the monitor window is on: read
// again when the window reaches another monitor, or always with force (at
// creation, when the display settings change). A shown picture whose
// colours would change is shown again.
void FollowDisplayProfile(HWND window, bool force);
