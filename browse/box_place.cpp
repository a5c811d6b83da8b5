#include "browse/box_place.h"

RECT NormalWindowRect(HWND window) {
    RECT rect{0, 0, 0, 0};
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!IsIconic(window) || !GetWindowPlacement(window, &placement)) {
        if (window) GetWindowRect(window, &rect);
        return rect;
    }
    rect = placement.rcNormalPosition;
    // The normal rectangle of a window other than a tool window counts from
    // the work area's corner, not the screen's.
    if (!(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoA(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor))
            OffsetRect(&rect, monitor.rcWork.left - monitor.rcMonitor.left,
                       monitor.rcWork.top - monitor.rcMonitor.top);
    }
    return rect;
}

void RememberBoxPlace(HWND box, RECT& place) {
    place = NormalWindowRect(box);
}

void ReturnBoxToPlace(HWND box, const RECT& place, HWND viewer, FirstBoxPlace first) {
    POINT at{place.left, place.top};
    if (place.right == 0) {
        if (first == FirstBoxPlace::AsMade) return;
        const RECT v = NormalWindowRect(viewer);
        at.x = first == FirstBoxPlace::ViewerCentre ? (v.left + v.right) / 2 : v.left;
        at.y = (v.top + v.bottom) / 2;
    }
    SetWindowPos(box, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
