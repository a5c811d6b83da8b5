#include "app/options_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/picture_display.h"
#include "app/popup_menu.h"
#include "app/read_ahead.h"
#include "app/shell_integration.h"
#include "app/viewer_state.h"
#include "browse/box_place.h"
#include "browse/file_utils.h"
#include "browse/user_prompt.h"
#include "image/picture_pipeline.h"
#include "image/thumbnail_cache.h"
#include "resources/resource_ids.h"

namespace {
struct CheckBoxSetting {
    int id;
    int ViewerSettings::*setting;
};
constexpr CheckBoxSetting kCheckBoxes[] = {
    {PILTRIN_OPTIONS_FIT, &ViewerSettings::FitToWindow},
    {PILTRIN_OPTIONS_KEEP_SIZE, &ViewerSettings::KeepWindowSize},
    {PILTRIN_OPTIONS_ANIMATE, &ViewerSettings::Animate},
    {PILTRIN_OPTIONS_AUTO_SWITCH, &ViewerSettings::AutoSwitch},
    {PILTRIN_OPTIONS_AUTO_ADD, &ViewerSettings::AutoAddDropped},
};

// The display options' check boxes.
struct DisplayCheckBox {
    int id;
    bool DisplayOptions::*option;
};
constexpr DisplayCheckBox kDisplayCheckBoxes[] = {
    {PILTRIN_OPTIONS_EXIF_UPRIGHT, &DisplayOptions::uprightByExif},
    {PILTRIN_OPTIONS_MANAGE_COLOURS, &DisplayOptions::manageColours},
    {PILTRIN_OPTIONS_TRANSPARENCY, &DisplayOptions::keepTransparency},
};

// The background colour as the edit shows it: red, green, blue in hex.
void ShowBackground(HWND dialog, const Background& background) {
    CheckRadioButton(dialog, PILTRIN_OPTIONS_CHECKERBOARD, PILTRIN_OPTIONS_COLOUR,
                     background.checkerboard ? PILTRIN_OPTIONS_CHECKERBOARD : PILTRIN_OPTIONS_COLOUR);
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", GetRValue(background.colour),
                  GetGValue(background.colour), GetBValue(background.colour));
    SetDlgItemTextA(dialog, PILTRIN_OPTIONS_COLOUR_VALUE, text);
}

// Text that is no colour leaves the colour as it was.
void ReadBackground(HWND dialog, Background* background) {
    background->checkerboard = IsDlgButtonChecked(dialog, PILTRIN_OPTIONS_CHECKERBOARD) == BST_CHECKED;
    char text[16] = "";
    GetDlgItemTextA(dialog, PILTRIN_OPTIONS_COLOUR_VALUE, text, sizeof text);
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    if (std::strlen(text) == 6 && end && *end == 0)
        background->colour = RGB(value >> 16 & 0xFF, value >> 8 & 0xFF, value & 0xFF);
}

// The bounce steps are shown without their direction; the magnitude of the
// most negative step still fits an unsigned number.
UINT Magnitude(int value) {
    return value < 0 ? 0u - static_cast<UINT>(value) : static_cast<UINT>(value);
}

// The caps the cache fields take: the read-ahead lives in the program's
// address space, the thumbnails on disk.
constexpr int kMostReadAheadMegabytes = sizeof(void*) == 8 ? 65536 : 1024;
constexpr int kMostCacheMegabytes = 1 << 20;

UINT NumberOf(HWND dialog, int id) {
    BOOL ok = FALSE;
    const UINT value = GetDlgItemInt(dialog, id, &ok, FALSE);
    return ok ? value : 0;
}

// Up-down controls count upward over the numbers the settings can take (the
// control's own default range would count down from 100 to 0).
void SetSpinRanges(HWND dialog) {
    for (int id : {PILTRIN_OPTIONS_ROTATION_SPIN, PILTRIN_OPTIONS_STEP_X_SPIN, PILTRIN_OPTIONS_STEP_Y_SPIN}) {
        SendDlgItemMessageA(dialog, id, UDM_SETRANGE32, 0, INT_MAX);
    }
    SendDlgItemMessageA(dialog, PILTRIN_OPTIONS_SWITCH_SECONDS_SPIN, UDM_SETRANGE32, 1, INT_MAX / 10);
    SendDlgItemMessageA(dialog, PILTRIN_OPTIONS_READ_AHEAD_MB_SPIN, UDM_SETRANGE32, 0,
                        kMostReadAheadMegabytes);
    SendDlgItemMessageA(dialog, PILTRIN_OPTIONS_THUMBNAIL_CACHE_MB_SPIN, UDM_SETRANGE32, 0,
                        kMostCacheMegabytes);
}

INT_PTR OnInitDialog(HWND dialog) {
    const ViewerSettings& s = Viewer().Settings;
    SetSpinRanges(dialog);
    for (const CheckBoxSetting& box : kCheckBoxes) {
        CheckDlgButton(dialog, box.id, s.*box.setting ? BST_CHECKED : BST_UNCHECKED);
    }
    for (const DisplayCheckBox& box : kDisplayCheckBoxes) {
        CheckDlgButton(dialog, box.id, PictureDisplayOptions().*box.option ? BST_CHECKED : BST_UNCHECKED);
    }
    ShowBackground(dialog, PictureDisplayOptions().background);
    SetDlgItemInt(dialog, PILTRIN_OPTIONS_ROTATION, static_cast<UINT>(s.RotationParam), FALSE);
    SetDlgItemInt(dialog, PILTRIN_OPTIONS_STEP_X, Magnitude(s.MoveStepX), FALSE);
    SetDlgItemInt(dialog, PILTRIN_OPTIONS_STEP_Y, Magnitude(s.MoveStepY), FALSE);
    SetDlgItemInt(dialog, PILTRIN_OPTIONS_SWITCH_SECONDS, static_cast<UINT>(s.SwitchTicks / 10), FALSE);
    SetDlgItemInt(dialog, PILTRIN_OPTIONS_READ_AHEAD_MB, static_cast<UINT>(s.ReadAheadMegabytes), FALSE);
    SetDlgItemInt(dialog, PILTRIN_OPTIONS_THUMBNAIL_CACHE_MB, static_cast<UINT>(s.ThumbnailCacheMegabytes),
                  FALSE);
    ReturnBoxToPlace(dialog, s.OptionsDialogRect, Viewer().MainWindow, FirstBoxPlace::AsMade);
    return TRUE;
}

void Accept(HWND dialog) {
    ViewerSettings& s = Viewer().Settings;
    for (const CheckBoxSetting& box : kCheckBoxes) {
        s.*box.setting = IsDlgButtonChecked(dialog, box.id) == BST_CHECKED ? 1 : 0;
    }
    for (const DisplayCheckBox& box : kDisplayCheckBoxes) {
        PictureDisplayOptions().*box.option = IsDlgButtonChecked(dialog, box.id) == BST_CHECKED;
    }
    ReadBackground(dialog, &PictureDisplayOptions().background);
    // Taken as typed: a step of 0 stops the bounce in its direction.
    s.RotationParam = static_cast<int>(NumberOf(dialog, PILTRIN_OPTIONS_ROTATION));
    s.MoveStepX = static_cast<int>(NumberOf(dialog, PILTRIN_OPTIONS_STEP_X));
    s.MoveStepY = static_cast<int>(NumberOf(dialog, PILTRIN_OPTIONS_STEP_Y));
    // An interval of 0 seconds cannot be set; one too long for the tick
    // counter becomes the longest it can count.
    const unsigned long long seconds = NumberOf(dialog, PILTRIN_OPTIONS_SWITCH_SECONDS);
    if (seconds != 0) s.SwitchTicks = static_cast<int>(seconds * 10 > INT_MAX ? INT_MAX : seconds * 10);
    // New caps hold at once: the read-ahead drops what lies past its own, the
    // thumbnail folder is trimmed to its at the next store.
    s.ReadAheadMegabytes =
        int(std::min<UINT>(NumberOf(dialog, PILTRIN_OPTIONS_READ_AHEAD_MB), kMostReadAheadMegabytes));
    ApplyReadAheadCap();
    s.ThumbnailCacheMegabytes =
        int(std::min<UINT>(NumberOf(dialog, PILTRIN_OPTIONS_THUMBNAIL_CACHE_MB), kMostCacheMegabytes));
    SetThumbnailCacheCap(uint64_t(s.ThumbnailCacheMegabytes) << 20);
}

void RegisterZubType() {
    char program[MAX_PATH];
    ProgramPath(program);
    RegisterDocType(".zub", "Zub file", "Piltrin group file", program, 3, program, 1);
}

INT_PTR OnCommand(HWND dialog, int id) {
    switch (id) {
        case IDOK:
            Accept(dialog);
            RememberBoxPlace(dialog, Viewer().Settings.OptionsDialogRect);
            EndDialog(dialog, IDOK);
            break;
        case IDCANCEL:
            RememberBoxPlace(dialog, Viewer().Settings.OptionsDialogRect);
            EndDialog(dialog, IDCANCEL);
            break;
        case PILTRIN_OPTIONS_REGISTER_ZUB:
            RegisterZubType();
            break;
    }
    return FALSE;
}
}  // namespace

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_COMMAND:
            return OnCommand(dialog, LOWORD(wParam));
    }
    return FALSE;
}

void ShowOptionsDialog(HWND window) {
    ViewerState& v = Viewer();
    v.TickActive = 0;
    const DisplayOptions before = PictureDisplayOptions();
    RunModalDialog(v.Instance, MAKEINTRESOURCEA(PILTRIN_DIALOG_OPTIONS), window, OptionsDialogProc, 0);
    // The shown picture was prepared under the old options: it is loaded
    // again under the new ones.
    if (!(PictureDisplayOptions() == before) && v.ShownBitmap) ShowPicture(window);
    // Whatever the answer: the true-size view starts again at the top left.
    if (!v.Settings.FitToWindow && v.ShownBitmap) v.ScrollX = v.ScrollY = 0;
    RefreshOverflow(window);
    v.TickActive = 1;
    v.SwitchCounter = 0;
    UpdateMenu(v.DisplayMode);
    InvalidateRect(window, nullptr, TRUE);
}
