// Files dropped onto the viewer, built as the shell builds its drops, and
// the drop block the viewer gives to other windows.
#include <gtest/gtest.h>

#include <cstring>

#include "album/zub_album.h"
#include "app/file_drops.h"
#include "app/viewer_state.h"
#include "tests/app/viewer_fixture.h"

namespace {
// A window of this process that keeps the bytes of the drops it receives.
std::vector<std::vector<uint8_t>> g_receivedDrops;
LRESULT CALLBACK DropReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DROPFILES) {
        HGLOBAL block = reinterpret_cast<HGLOBAL>(wParam);
        const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
        g_receivedDrops.emplace_back(bytes, bytes + GlobalSize(block));
        GlobalUnlock(block);
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeDropReceiver(DWORD exStyle, HWND parent = nullptr) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DropReceiverProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PiltrinTestDropReceiver";
    RegisterClassA(&windowClass);
    return CreateWindowExA(exStyle, "PiltrinTestDropReceiver", "", parent ? WS_CHILD : WS_POPUP, 0, 0, 50, 50,
                           parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}
}  // namespace

class FileDropTest : public ViewerWindowTest {
protected:
    void Drop(const std::vector<std::string>& names) {
        SendMessageA(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
        Pump();
    }
    std::vector<std::string> ThreePictures() {
        std::vector<std::string> names;
        for (const char* name : {"one.bmp", "two.bmp", "three.bmp"}) {
            WriteBmp(dir_.File(name), 24, 24);
            names.push_back(dir_.File(name));
        }
        return names;
    }
};

// Dropped pictures are shown from the first; with adding on they join the
// album once each and the display stays as it was (not the default, so that
// "left as it was" can fail).
TEST_F(FileDropTest, DroppedPicturesAreShownAndJoinTheAlbumOnceWhenAddingIsOn) {
    ViewerState& v = Viewer();
    const struct {
        int autoAdd;
        int pages, index, unsaved, mode;
    } rows[] = {{0, 0, 0, 0, kNormalDisplay}, {1, 3, 1, 1, kZubDisplay}};  // one.bmp comes after two.bmp
    const std::vector<std::string> names = ThreePictures();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.autoAdd);
        v.Settings.AutoAddDropped = row.autoAdd;
        if (row.autoAdd) v.Album->AddPage(names[1].c_str());
        v.DisplayMode = kZubDisplay;
        Drop(names);
        EXPECT_EQ(v.CurrentPath, names[0]);
        EXPECT_EQ(v.CurrentFolder, dir_.Path());
        EXPECT_NE(v.ShownBitmap, nullptr);
        EXPECT_EQ((std::vector<int>{v.Album->PageCount(), static_cast<int>(v.CurrentZubIndex), v.AlbumUnsaved,
                                    v.DisplayMode}),
                  (std::vector<int>{row.pages, row.index, row.unsaved, row.mode}));
    }
}

TEST_F(FileDropTest, DroppedAlbumOpensAndTextFileIsIgnored) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("a.bmp"), 16, 16);
    {
        ZubAlbum album;
        album.AddPage(dir_.File("a.bmp").c_str());
        ASSERT_TRUE(album.SaveFile(dir_.File("album.zub").c_str()));
    }
    WriteFileBytes(dir_.File("notes.txt"), Bytes{'h', 'i'});
    Drop({dir_.File("notes.txt")});
    EXPECT_EQ(v.ShownBitmap, nullptr);
    EXPECT_EQ(v.Album->PageCount(), 0);
    EXPECT_TRUE(messages_.empty());

    Drop({dir_.File("album.zub")});
    EXPECT_EQ(v.Album->PageCount(), 1);
    EXPECT_EQ(v.DisplayMode, kZubDisplay);
    EXPECT_EQ(v.CurrentPath, dir_.File("a.bmp"));
}

TEST_F(FileDropTest, ShownPictureGoesOutAsAShellDropBlock) {
    g_receivedDrops.clear();
    HWND receiver = MakeDropReceiver(WS_EX_ACCEPTFILES);
    ASSERT_NE(receiver, nullptr);
    EXPECT_EQ(SendFileDrop(receiver, "C:\\a.jpg", 7, 9), 1);
    ASSERT_EQ(g_receivedDrops.size(), 1u);
    const std::vector<uint8_t>& block = g_receivedDrops[0];
    ASSERT_EQ(block.size(), 30u);
    Bytes expected;
    PutU32(expected, 20);
    PutU32(expected, 7);
    PutU32(expected, 9);
    PutU32(expected, 0);
    PutU32(expected, 0);
    PutText(expected, "C:\\a.jpg");
    PutU8(expected, 0);
    PutU8(expected, 0);
    EXPECT_EQ(Bytes(block.begin(), block.end()), expected);

    // A prepared list of two names, as the album box sends it.
    const char list[] = "C:\\a.jpg\0D:\\b.png\0";
    SendFilesDrop(receiver, list, sizeof list, 1, 2);
    ASSERT_EQ(g_receivedDrops.size(), 2u);
    EXPECT_EQ(g_receivedDrops[1].size(), sizeof list + 22);
    EXPECT_EQ(std::memcmp(g_receivedDrops[1].data() + 20, list, sizeof list), 0);
    DestroyWindow(receiver);
}

TEST_F(FileDropTest, DropTargetClimbsToTheWindowThatAcceptsFiles) {
    HWND top = MakeDropReceiver(0);
    HWND middle = MakeDropReceiver(WS_EX_ACCEPTFILES, top);
    HWND leaf = MakeDropReceiver(0, middle);
    EXPECT_EQ(DropTargetAt(leaf, false, false), middle);
    EXPECT_EQ(DropTargetAt(leaf, true, false), leaf);  // shift: the control itself
    EXPECT_EQ(DropTargetAt(leaf, false, true), top);   // ctrl: the top-level window
    EXPECT_EQ(DropTargetAt(middle, false, false), middle);
    DestroyWindow(top);
}

TEST_F(FileDropTest, RightDragShowsWhereAReleaseGoesAndDropsThePicture) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("shown.bmp"), 16, 16);
    Show(dir_.File("shown.bmp"));
    g_receivedDrops.clear();
    HWND taker = MakeDropReceiver(WS_EX_ACCEPTFILES);
    HWND refuser = MakeDropReceiver(0);
    SetWindowPos(taker, HWND_TOP, 600, 400, 60, 60, SWP_SHOWWINDOW);
    SetWindowPos(refuser, HWND_TOP, 700, 400, 60, 60, SWP_SHOWWINDOW);
    Pump();

    MouseAt(WM_RBUTTONDOWN, MK_RBUTTON, 20, 20);
    EXPECT_EQ(v.RightDragging, 1);
    ASSERT_NE(v.NoDropCursor, nullptr);
    ASSERT_NE(v.DropCursor, nullptr);
    // Over the viewer itself, over a window that takes no files, over one that does.
    POINT viewer{20, 20};
    ClientToScreen(window_, &viewer);
    for (const auto& [at, cursor] :
         {std::pair{viewer, v.ArrowCursor}, std::pair{POINT{730, 430}, v.NoDropCursor},
          std::pair{POINT{630, 430}, v.DropCursor}}) {
        SetCursorPos(at.x, at.y);
        SendMessageA(window_, WM_MOUSEMOVE, MK_RBUTTON, 0);
        EXPECT_EQ(GetCursor(), cursor) << at.x;
    }
    SendMessageA(window_, WM_RBUTTONUP, 0, 0);
    EXPECT_EQ(v.RightDragging, 0);
    ASSERT_EQ(g_receivedDrops.size(), 1u);
    const std::vector<uint8_t>& block = g_receivedDrops[0];
    EXPECT_EQ(block[4], 30);  // drop point in the target's client coordinates
    EXPECT_EQ(block[8], 30);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data() + 20)), dir_.File("shown.bmp"));
    // With nothing shown there is nothing to hand over.
    Show(dir_.File("missing.bmp"));
    SendMessageA(window_, WM_RBUTTONDOWN, MK_RBUTTON, 0);
    SendMessageA(window_, WM_RBUTTONUP, 0, 0);
    EXPECT_EQ(g_receivedDrops.size(), 1u);
    DestroyWindow(taker);
    DestroyWindow(refuser);
}
