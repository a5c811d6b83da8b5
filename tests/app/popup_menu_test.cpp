// The popup menu read back from the real menu after UpdateMenu.
#include <tuple>

#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/popup_menu.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "tests/app/viewer_fixture.h"

namespace {
// The id (0 a separator, -1 a submenu), the text, and MF_CHECKED and MF_GRAYED only.
using MenuItem = std::tuple<int, std::string, UINT>;

// The item at a position (by MF_BYPOSITION) or of a command (MF_BYCOMMAND).
MenuItem ItemOf(HMENU menu, UINT item, UINT by) {
    char text[128] = "";
    GetMenuStringA(menu, item, text, sizeof text, by);
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_ID;
    GetMenuItemInfoA(menu, item, by == MF_BYPOSITION, &info);
    const int id = (info.fType & MFT_SEPARATOR) ? 0 : info.hSubMenu ? -1 : static_cast<int>(info.wID);
    return MenuItem{id, text, id ? GetMenuState(menu, item, by) & (MF_CHECKED | MF_GRAYED) : 0};
}
constexpr UINT G = MF_GRAYED, C = MF_CHECKED;
}  // namespace

// Each step runs on the state the previous one left; the items named in a
// step must have the state and text given.
TEST_F(ViewerWindowTest, MenuItemsFollowTheState) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("a.bmp"), 32, 32);
    enum Action { kNone, kRegister18, kShow, kOpenBox, kCloseBox };
    // What is done, the command sent then (0 none), where the first item must stand (-1 anywhere), and the
    // items, looked up by command.
    const std::tuple<Action, int, int, std::vector<MenuItem>> steps[] = {
        // A new window: no dialog layer registered, nothing shown, an empty album.
        {kNone,
         0,
         0,
         {{40002, "ファイルＢｏｘを開く（ファイルを開く）", G},
          {18, "ズブＢｏｘを開く（ズブの内容）", G},
          {15, "画像インフォメーションＢｏｘを開く", G}}},
        {kRegister18, 0, 4, {{13, "ズブ表示モードへ", G}, {18, "ズブＢｏｘを開く（ズブの内容）", 0}}},
        {kShow, 0, -1, {{9, "表示画像をズブへ", 0}, {20, "ズブのカラを上書き保存", G}}},
        // Once in the album, a picture cannot be added again.
        {kNone, kCommandAddShown, 4, {{13, "ズブ表示モードへ", 0}, {9, "表示画像をズブへ", G}}},
        {kNone, 0, -1, {{20, "ズブのカラを上書き保存", 0}}},
        // Zub display offers normal display in the same place.
        {kNone, kCommandZubDisplay, 4, {{14, "通常表示モードへ", 0}}},
        {kNone, kCommandNormalDisplay, 4, {{13, "ズブ表示モードへ", 0}}},
        // An open dialog greys the command that opens it.
        {kOpenBox, 0, -1, {{18, "ズブＢｏｘを開く（ズブの内容）", G}}},
        {kCloseBox, kCommandFitOrTrueSize, 10, {{5, "最大化", 0}, {21, "ウィンドウサイズ表示", 0}}},
        {kNone, kCommandMaximise, 10, {{4, "元の大きさに戻す", 0}}},
        {kNone, kCommandRestore, 10, {{5, "最大化", 0}}},
        {kNone, kCommandTopmost, -1, {{6, "常に手前に表示", C}, {7, "通常表示", 0}}},
        {kNone, kCommandNotTopmost, -1, {{6, "常に手前に表示", 0}, {7, "通常表示", C}}},
    };
    for (const auto& [action, command, position, items] : steps) {
        SCOPED_TRACE(command);
        if (action == kRegister18) SetCommandHandler(18, [](HWND) {});
        if (action == kShow) Show(dir_.File("a.bmp"));
        v.ZubBOXWindow = action == kOpenBox ? window_ : nullptr;
        if (command) Command(command);
        UpdateMenu(v.DisplayMode);
        if (position >= 0) {
            EXPECT_EQ(static_cast<int>(GetMenuItemID(v.PopupMenu, position)), std::get<0>(items[0]));
        }
        for (const MenuItem& item : items)
            EXPECT_EQ(ItemOf(v.PopupMenu, std::get<0>(item), MF_BYCOMMAND), item);
    }
    EXPECT_EQ(v.Album->PageCount(), 1);
    EXPECT_EQ(v.AlbumUnsaved, 1);
}

namespace {
bool g_menuWasOpen = false;
// Runs inside the menu's own loop: notes whether the popup is on screen and
// closes it, so the test goes on.
void CALLBACK CloseOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    HWND popup = FindWindowA("#32768", nullptr);
    g_menuWasOpen = popup && IsWindowVisible(popup);
    EndMenu();
}
}  // namespace

TEST_F(ViewerWindowTest, RightButtonReleasedOverTheViewerOpensTheMenu) {
    MouseAt(WM_RBUTTONDOWN, MK_RBUTTON, 40, 40);
    SetTimer(nullptr, 0, 200, CloseOpenMenu);
    SendMessageA(window_, WM_RBUTTONUP, 0, MAKELPARAM(40, 40));
    EXPECT_TRUE(g_menuWasOpen);
    EXPECT_EQ(Viewer().RightDragging, 0);
}
