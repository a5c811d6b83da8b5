#include "browse/dialogs/drive_combo.h"

#include <cstdio>
#include <cstring>

#include "browse/late_libraries.h"

namespace {
HIMAGELIST driveImages = nullptr;
int driveImageUsers = 0;
}  // namespace

int DriveImageIndex(UINT driveType, char letter) {
    switch (driveType) {
        case DRIVE_REMOVABLE:
            return (letter == 'A' || letter == 'B' || letter == 'a' || letter == 'b') ? 0 : 1;
        case DRIVE_FIXED:
            return 2;
        case DRIVE_REMOTE:
            return 3;
        case DRIVE_CDROM:
            return 5;
        case DRIVE_RAMDISK:
            return 6;
    }
    return -1;
}

void FillDriveCombo(HWND combo) {
    if (driveImageUsers++ == 0) driveImages = MakeShellIconList({6, 7, 8, 9, 10, 11, 12});
    const DWORD drives = GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if (!(drives & (1u << bit))) continue;
        char text[8];
        std::snprintf(text, sizeof text, "%c:", 'A' + bit);
        char root[8];
        std::snprintf(root, sizeof root, "%s\\", text);
        LRESULT index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (index >= 0) SendMessageA(combo, CB_SETITEMDATA, index, GetDriveTypeA(root));
    }
}

void DetachDriveImages() {
    if (driveImageUsers > 0 && --driveImageUsers == 0 && driveImages) {
        DestroyImageList(driveImages);
        driveImages = nullptr;
    }
}

void SelectDriveOf(HWND combo, const char* path) {
    if (!path[0]) return;
    const char text[3] = {path[0], ':', '\0'};
    SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
}

void DrawDriveItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) return;
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    HBRUSH background =
        selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FillRect(dc, &rect, background);
    char text[16] = "";
    if (SendMessageA(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0) < static_cast<LRESULT>(sizeof text))
        SendMessageA(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, selected ? RGB(255, 255, 255) : RGB(0, 0, 0));
    const int textLeft = rect.left + (driveImages ? 19 : 3) + 4;
    TextOutA(dc, textLeft, rect.top + 2, text, static_cast<int>(std::strlen(text)));
    const int image = DriveImageIndex(static_cast<UINT>(item.itemData), text[0]);
    if (driveImages && image >= 0)
        DrawListImage(driveImages, image, dc, rect.left + 3, rect.top, ILD_TRANSPARENT);
    if (selected) DrawFocusRect(dc, &rect);
}
