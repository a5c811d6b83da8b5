// What the box keeps between messages (one box per process), shared by its
// handler files.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "image/thumbnail_prefetch.h"

struct ZubBOXState {
    int Anchor = 0;  // ZubBOXAnchor: the page last pressed
    bool LeftDown = false;
    bool PressedOnPage = false;  // the left button went down on a page of this box
    bool RightDrag = false;
    bool DoubleClicked = false;  // the next button-up does nothing
    bool EditingTitle = false;   // repaints leave the title field alone
    bool FillingTitle = false;   // the box itself is writing the title field
    RECT Rect{0, 0, 0, 0};       // ZubBoxRect: where the box was last closed
    int AheadPage = 0;           // the screen page the workers decode for
    int RebuildPage = 0;         // the screen page whose chain rebuilds built cells (再表示)
    std::unique_ptr<ThumbnailPrefetch> Ahead;
};

ZubBOXState& Box();

// Every mark 0, then mark 2 on index when it is a page.
void MarkOnly(int index);
// The current page's facts and title into the fields.
void ShowCurrentPageFacts(HWND box);

// Mouse handlers (zub_box_mouse.cpp).
void OnBoxLeftButtonDown(HWND box, WPARAM keys, LPARAM position);
void OnBoxRightButtonDown(HWND box);
void OnBoxMouseMove(HWND box);
void OnBoxButtonUp(HWND box, WPARAM keys, LPARAM position, bool right);
void OnBoxDoubleClick(HWND box, LPARAM position);
void OnBoxDropFiles(HWND box, HDROP drop);
