// The FileBOX at work: re-reading a folder of 10,000 pictures into its file
// list against a bare FindFirstFile/FindNextFile walk of the same folder,
// and previewing each of a folder of large JPEGs as the selection moves
// against one scaled decode (LoadPreviewBitmap at 300) of the same files.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "bench/bench_timer.h"
#include "browse/dialogs/file_box.h"
#include "image/picture_loader.h"
#include "resources/resource_ids.h"
#include "tests/support/jpeg_test_files.h"
#include "tests/support/test_files.h"

namespace {
int BareWalk(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &found);
    int count = 0;
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        ++count;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return count;
}

void Command(HWND box, int id, int code = BN_CLICKED) {
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

void PumpWaitingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HWND OpenBox(const std::string& folder) {
    lstrcpynA(Viewer().CurrentFolder, folder.c_str(), MAX_PATH);
    OpenFileBOX(Viewer().MainWindow);
    return Viewer().FileBOXWindow;
}
}  // namespace

int main() {
    ResetViewerState();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewerClass(instance);
    HWND window = CreateViewerWindow(instance);
    ShowWindow(window, SW_SHOWNORMAL);
    KillTimer(window, 1);

    TempDir many;
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%05d.jpg", (i * 7919) % 10000);
        WriteFileBytes(many.File(name), Bytes{});
    }
    HWND box = OpenBox(many.Path());
    // The selection of the folder in the tree lists it; its parent (a folder
    // of a few entries) is selected before each. Rounds of the three take
    // turns, so that a busy machine slows each of them alike.
    HWND tree = GetDlgItem(box, PILTRIN_FOLDER_TREE);
    HTREEITEM folder = TreeView_GetSelection(tree);
    HTREEITEM parent = TreeView_GetParent(tree, folder);
    double walk = 1e300, listing = 1e300, drawn = 1e300, reread = 1e300;
    for (int round = 0; round < 7; ++round) {
        walk = std::min(walk, MillisecondsPerCall(1, 1, [&] { BareWalk(many.Path()); }));
        // The parent's selection empties the list first and is not timed,
        // nor is its drawing: the user sees it before choosing the folder.
        TreeView_SelectItem(tree, parent);
        PumpWaitingMessages();
        const double listed = MillisecondsPerCall(1, 1, [&] { TreeView_SelectItem(tree, folder); });
        // What the user waits for: the listing and the drawing of its outcome.
        const double drawing = MillisecondsPerCall(1, 1, [&] {
            PumpWaitingMessages();
            GdiFlush();
        });
        listing = std::min(listing, listed);
        drawn = std::min(drawn, listed + drawing);
        reread = std::min(reread, MillisecondsPerCall(1, 1, [&] { Command(box, PILTRIN_FOLDER_REREAD); }));
        folder = TreeView_GetSelection(tree);  // the re-read built the tree anew
        parent = TreeView_GetParent(tree, folder);
    }
    const LRESULT lines = SendDlgItemMessageA(box, PILTRIN_FOLDER_FILES, LB_GETCOUNT, 0, 0);
    if (lines != 10000) std::printf("listed %ld lines instead of 10000\n", static_cast<long>(lines));
    PrintRatio("FileBOX listing of 10,000 files", listing, "bare FindFirst/FindNext", walk);
    PrintRatio("FileBOX listing, then its drawing", drawn, "bare FindFirst/FindNext", walk);
    PrintRatio("FileBOX re-read (tree and list) of them", reread, "bare FindFirst/FindNext", walk);
    DestroyWindow(box);

    TempDir large;
    const int kFiles = 6;
    const Bytes jpeg = MakeJpeg(2400, 1800, DistinctPixel);
    for (int i = 0; i < kFiles; ++i) WriteFileBytes(large.File("big" + std::to_string(i) + ".jpg"), jpeg);
    box = OpenBox(large.Path());
    HWND list = GetDlgItem(box, PILTRIN_FOLDER_FILES);
    const double decode = MillisecondsPerCall(3, kFiles, [&, i = 0]() mutable {
        const std::string path = large.File("big" + std::to_string(i++ % kFiles) + ".jpg");
        DeletePictureBitmap(window, LoadPreviewBitmap(window, path.c_str(), nullptr, 0, 300));
    });
    const double preview = MillisecondsPerCall(3, kFiles, [&, i = 0]() mutable {
        const int line = i++ % kFiles;
        SendMessageA(list, LB_SETSEL, FALSE, -1);
        SendMessageA(list, LB_SETSEL, TRUE, line);
        SendMessageA(list, LB_SETCARETINDEX, line, FALSE);
        Command(box, PILTRIN_FOLDER_FILES, LBN_SELCHANGE);
    });
    PrintRatio("FileBOX preview of a 2400 x 1800 JPEG", preview, "LoadPreviewBitmap at 300", decode);
    DestroyWindow(box);
    DestroyWindow(window);
    return 0;
}
