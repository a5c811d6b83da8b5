#include "app/viewer_window.h"

#include <cstring>

#include "album/album_memory.h"
#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/command_table.h"
#include "app/file_drops.h"
#include "app/navigation.h"
#include "app/picture_display.h"
#include "app/popup_menu.h"
#include "app/read_ahead.h"
#include "app/shell_commands.h"
#include "app/tick.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/file_utils.h"
#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/picture_read_ahead.h"
#include "image/plugin_host.h"
#include "resources/resource_ids.h"

const char kViewerTitle[] = "Piltrin V1.81";

namespace {
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickPeriod = 100;

LRESULT OnCreate(HWND window) {
    ViewerState& v = Viewer();
    if (!LoadPluginsFromCommonFiles()) LoadPluginsFromProgramFolder();
    v.WaitCursor = LoadCursorA(nullptr, IDC_WAIT);
    v.ArrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    v.NoDropCursor = LoadCursorA(v.Instance, MAKEINTRESOURCEA(PILTRIN_CURSOR_DROP_NO));
    v.DropCursor = LoadCursorA(v.Instance, MAKEINTRESOURCEA(PILTRIN_CURSOR_DROP_OK));
    GetCurrentDirectoryA(MAX_PATH, v.CurrentFolder);
    AddDirSeparator(v.CurrentFolder);
    v.ScreenSize = SIZE{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    v.FolderList = FolderList{};
    v.OverflowX = v.OverflowY = 0;
    v.Album = std::make_unique<ZubAlbum>();
    v.Album->ThumbSizeParam = 90;
    RegisterShellCommands();
    UpdateMenu(0);
    SetTimer(window, kTickTimer, kTickPeriod, TickTimerProc);
    FollowDisplayProfile(window, true);
    return 0;
}

LRESULT OnDestroy(HWND window) {
    ViewerState& v = Viewer();
    DropShownBitmap(window);
    // The boxes have no owner, so nothing else ends them with the viewer;
    // they read the album, so they go before it does, and whatever is still
    // queued for them (a thumbnail step) then finds no window.
    for (HWND box : {v.ZubBOXWindow, v.InfoBOXWindow, v.FileBOXWindow})
        if (box && IsWindow(box)) DestroyWindow(box);
    v.ReadAhead.reset();
    // Unsaved album changes are dropped without a question.
    v.Album.reset();
    if (v.FolderList.block) FolderListFree(&v.FolderList);
    if (v.FileBOXPreviewBitmap) {
        DeleteObject(v.FileBOXPreviewBitmap);
        v.FileBOXPreviewBitmap = nullptr;
    }
    UnloadPlugins();
    KillTimer(window, kTickTimer);
    DestroyPopupMenu();
    PostQuitMessage(0);
    return 0;
}

LRESULT OnSize(HWND window) {
    RefreshOverflow(window);
    InvalidateRect(window, nullptr, TRUE);
    return 0;
}

// While the user drags the frame the kept fitted picture is stretched to
// follow it; letting go makes one sharp pass for the final size.
LRESULT OnSizeMove(HWND window, bool entering) {
    Viewer().Resizing = entering;
    if (!entering) InvalidateRect(window, nullptr, FALSE);
    return 0;
}

LRESULT OnMove(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    Viewer().WindowOrigin = POINT{rect.left, rect.top};
    FollowDisplayProfile(window, false);
    return 0;
}

LRESULT OnPaint(HWND window) {
    {
        PaintDC dc(window);
        PaintPicture(window, dc);
    }
    // The neighbours are read once the new picture is on screen, so that
    // their decoding never delays it.
    ViewerState& v = Viewer();
    if (v.ReadAheadDue) {
        v.ReadAheadDue = 0;
        ReadNeighboursAhead();
    }
    return 1;
}

LRESULT OnLeftButtonDown(HWND window) {
    ViewerState& v = Viewer();
    GetCursorPos(&v.DragPosition);
    SetCapture(window);
    v.LeftDragging = 1;
    v.TickActive = 0;
    return 0;
}

// Ends a left drag however it ends: the button released, the capture taken
// by a menu or another window, or the button found up on a move. The tick
// (slideshow, animation) resumes with it.
void EndLeftDrag() {
    ViewerState& v = Viewer();
    v.LeftDragging = 0;
    v.TickActive = 1;
}

LRESULT OnLeftButtonUp() {
    const bool dragging = Viewer().LeftDragging != 0;
    EndLeftDrag();
    if (dragging && GetCapture()) ReleaseCapture();
    return 0;
}

LRESULT OnCaptureLost() {
    ViewerState& v = Viewer();
    if (v.LeftDragging) EndLeftDrag();
    v.RightDragging = 0;
    return 0;
}

LRESULT OnMouseMove(HWND window, WPARAM keys) {
    ViewerState& v = Viewer();
    if (v.LeftDragging && !(keys & MK_LBUTTON)) {
        EndLeftDrag();
        if (GetCapture() == window) ReleaseCapture();
    }
    if (v.LeftDragging) {
        // The picture follows the mouse.
        if (v.OverflowX || v.OverflowY) {
            POINT now;
            GetCursorPos(&now);
            ScrollPicture(window, v.DragPosition.x - now.x, v.DragPosition.y - now.y);
            v.DragPosition = now;
        }
        return 0;
    }
    if (v.RightDragging) ShowDropTargetCursor(window);
    return 0;
}

// Returns true when the command was handled here; the rest go on to the
// default window procedure.
bool OnCommand(HWND window, int command) {
    if (CommandHandler handler = CommandHandlerFor(command)) {
        handler(window);
        return true;
    }
    switch (command) {
        case kCommandTick:
            OnTick(window);
            return false;
        case kCommandTitleBar:
            ToggleTitleBar(window);
            return true;
        case kCommandRestore:
            RestoreWindow(window);
            return true;
        case kCommandMaximise:
            MaximiseWindow(window);
            return true;
        case kCommandTopmost:
        case kCommandNotTopmost:
        case kCommandBottom:
            SetStackingPosition(window, command);
            return true;
        case kCommandAddShown:
            AddShownPicture(window);
            return true;
        case kCommandSaveAs:
            SaveAlbumAs(window);
            return true;
        case kCommandZubDisplay:
        case kCommandNormalDisplay:
            SetDisplayMode(window, command);
            return true;
        case kCommandClearAlbum:
            ClearAlbum(window);
            return true;
        case kCommandSave:
            SaveAlbum(window);
            return true;
        case kCommandFitOrTrueSize:
            ToggleFitToWindow(window);
            return true;
        case kCommandAbout:
            ShowAboutBox(window);
            return true;
        case kCommandExit:
            DestroyWindow(window);
            return true;
    }
    return false;
}
// While a plug-in works the viewer still takes what other programs send, so
// that the system never takes it for hung; what could start another load
// (a command, a drop, a key, a click, closing) is posted again and runs once
// the load has returned, never inside it.
bool DeferredDuringLoad(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
        case WM_SYSCOMMAND:
        case WM_DROPFILES:
        case WM_CLOSE:
        case WM_KEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            return PluginCallWaiting() && PostMessageA(window, message, wParam, lParam);
    }
    return false;
}
}  // namespace

namespace {
// A long-run driver (scripts/soak) asks with this registered message how
// many picture blocks (wParam 0) and album blocks (1) the viewer holds. It
// exists only when PILTRIN_REPORT_BLOCKS is set in the environment; without
// it the window answers every message as it always did.
UINT BlockCountMessage() {
    static const UINT message = GetEnvironmentVariableA("PILTRIN_REPORT_BLOCKS", nullptr, 0) > 0
                                    ? RegisterWindowMessageA("PiltrinLiveBlocks")
                                    : 0;
    return message;
}

LRESULT OnBlockCountQuery(WPARAM which) {
    return which == 0 ? LiveDibBlocks() : LiveAlbumAllocations();
}
}  // namespace

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == BlockCountMessage()) return OnBlockCountQuery(wParam);
    if (DeferredDuringLoad(window, message, wParam, lParam)) return 0;
    switch (message) {
        case WM_CREATE:
            OnCreate(window);
            break;
        case WM_DESTROY:
            OnDestroy(window);
            break;
        case WM_SIZE:
            return OnSize(window);
        case WM_ENTERSIZEMOVE:
        case WM_EXITSIZEMOVE:
            return OnSizeMove(window, message == WM_ENTERSIZEMOVE);
        case WM_MOVE:
            return OnMove(window);
        case WM_DISPLAYCHANGE:
            FollowDisplayProfile(window, true);
            break;
        case WM_ERASEBKGND:
            if (EraseAroundPicture(reinterpret_cast<HDC>(wParam))) return 1;
            break;
        case WM_PAINT:
            return OnPaint(window);
        case WM_LBUTTONDOWN:
            return OnLeftButtonDown(window);
        case WM_LBUTTONUP:
            return OnLeftButtonUp();
        case WM_MOUSEMOVE:
            return OnMouseMove(window, wParam);
        case WM_CAPTURECHANGED:
            return OnCaptureLost();
        case WM_CANCELMODE:
            OnCaptureLost();
            break;
        case WM_LBUTTONDBLCLK:
            return OnDoubleClick(window, lParam);
        case WM_RBUTTONDOWN:
            return OnRightButtonDown(window);
        case WM_RBUTTONUP:
            return OnRightButtonUp(window);
        case WM_KEYDOWN:
            OnKeyDown(window, wParam);
            break;
        case WM_DROPFILES:
            return OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
        case WM_COMMAND:
            if (OnCommand(window, LOWORD(wParam))) return 0;
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

ATOM RegisterViewerClass(HINSTANCE instance) {
    WNDCLASSA windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = ViewerWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(PILTRIN_ICON_PROGRAM));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kViewerTitle;
    return RegisterClassA(&windowClass);
}

HWND CreateViewerWindow(HINSTANCE instance) {
    Viewer().Instance = instance;
    HWND window =
        CreateWindowExA(WS_EX_ACCEPTFILES, kViewerTitle, kViewerTitle, kStyleWithTitle, CW_USEDEFAULT,
                        CW_USEDEFAULT, 320, 216, nullptr, nullptr, instance, nullptr);
    Viewer().MainWindow = window;
    return window;
}
