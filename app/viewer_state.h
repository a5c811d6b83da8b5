// The shell's one process-wide record: the user's options, the display
// state, the album state shared with the dialogs, and the window handles.
// Nothing of it is stored: every start begins from these defaults.
#pragma once

#include <windows.h>

#include <memory>

#include "image/folder_list.h"

class PictureReadAhead;
class ZubAlbum;

// The two display modes carry the numbers of the commands that select them.
constexpr int kZubDisplay = 13;
constexpr int kNormalDisplay = 14;

struct ViewerSettings {
    int FitToWindow = 1;     // scale the picture to the client area; 0 = true size
    int KeepWindowSize = 1;  // 0: the window takes each picture's size
    int Animate = 0;         // spin or bounce on every tick
    int AutoSwitch = 0;      // slideshow
    int AutoAddDropped = 0;  // dropped pictures join the album
    int RotationParam = 10;  // divisor of AnimPhase in the true-size spin
    int MoveStepX = 5;       // bounce step per tick; its sign is the direction
    int MoveStepY = 5;
    int SwitchTicks = 150;  // slideshow interval in ticks of 100 ms
    // A picture refused for its size says so in the title (0: the title
    // keeps the last picture's name, as with any other failure).
    int TellRefusedPictures = 1;
    // The fitted picture is scaled once by area averaging and kept; 0 =
    // every paint stretches the whole picture with GDI's halftone mode.
    int KeepFittedPicture = 1;
    // Thumbnails kept between runs in %LOCALAPPDATA%\Piltrin\, at most this
    // many megabytes; 0 = every thumbnail is built from its file.
    int ThumbnailCacheMegabytes = 128;
    // The next and previous pictures read ahead into at most this many
    // megabytes; 0 = every step loads from the file.
    int ReadAheadMegabytes = sizeof(void*) == 8 ? 256 : 96;
    RECT OptionsDialogRect{0, 0, 0, 0};
};

struct ViewerState {
    ViewerState();
    ~ViewerState();
    ViewerState(const ViewerState&) = delete;
    ViewerState& operator=(const ViewerState&) = delete;

    ViewerSettings Settings;

    // Display.
    int DisplayMode = kNormalDisplay;
    char CurrentPath[MAX_PATH] = "";
    char CurrentFolder[MAX_PATH] = "";
    int CurrentOrientation = 0;
    HBITMAP ShownBitmap = nullptr;
    // The shown bitmap is a 32-bit section of premultiplied coverage, drawn
    // over the background the options name.
    bool ShownCoverage = false;
    // The shown picture scaled to its fit rectangle (FittedSize), kept so
    // that a paint is a copy; made from ShownBitmap's own pixels.
    HBITMAP FittedBitmap = nullptr;
    HDC FittedDC = nullptr;  // a memory DC holding FittedBitmap, ready to copy from
    SIZE FittedSize{0, 0};
    int Resizing = 0;  // between WM_ENTERSIZEMOVE and WM_EXITSIZEMOVE
    SIZE PictureSize{0, 0};
    SIZE ClientSize{0, 0};
    SIZE ScreenSize{640, 400};
    POINT WindowOrigin{0, 0};
    int OverflowX = 0;
    int OverflowY = 0;
    int ScrollX = 0;
    int ScrollY = 0;
    int TitleBarOn = 1;
    RECT SavedWindowRect{0, 0, 0, 0};
    int SavedTitleBar = 0;
    int AnimPhase = 0;
    int SwitchCounter = 0;
    int TickActive = 1;
    int LeftDragging = 0;
    int RightDragging = 0;
    POINT DragPosition{0, 0};
    ::FolderList FolderList;
    DWORD FolderIndex = 0;
    // Facts of the shown picture for the image information box.
    DWORD PictureFileKiB = 0;
    FILETIME PictureWriteTime{0, 0};
    int PictureColorDepth = 0;
    // The neighbours read ahead (null while the cap is 0 or nothing was
    // shown yet); asked for at the first paint of each picture.
    std::unique_ptr<PictureReadAhead> ReadAhead;
    int ReadAheadDue = 0;

    // The album and what the dialogs share of it.
    std::unique_ptr<ZubAlbum> Album;
    DWORD CurrentZubIndex = 0;
    int ZubBOXPage = 1;
    int ZubBOXCurrent = 0;
    int AlbumUnsaved = 0;
    int ExportMove = 0;

    // Windows, menus, cursors.
    HINSTANCE Instance = nullptr;
    HWND MainWindow = nullptr;
    HWND ZubBOXWindow = nullptr;
    HWND InfoBOXWindow = nullptr;
    HWND FileBOXWindow = nullptr;
    HWND FileBOXAlbumList = nullptr;
    HBITMAP FileBOXPreviewBitmap = nullptr;
    int FileBOXPreviewOn = 1;
    char FileBOXPreviewPath[MAX_PATH] = "";
    RECT FileBOXRect{0, 0, 0, 0};  // at the last close by a command; right 0 until then
    char FileBOXFolder[MAX_PATH] = "";
    int FileBOXDoubleClick = 0;  // a double-click open keeps the box open
    char CopyMoveFolder[MAX_PATH] = "";
    HMENU PopupMenu = nullptr;
    HCURSOR WaitCursor = nullptr;
    HCURSOR ArrowCursor = nullptr;
    HCURSOR NoDropCursor = nullptr;
    HCURSOR DropCursor = nullptr;
};

// The process-wide record.
ViewerState& Viewer();

// Back to the defaults: the first thing the program does, and what a test
// does before it builds a window of its own.
void ResetViewerState();
