// The popup menu read back from the real menu after UpdateMenu.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/popup_menu.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "tests/app/viewer_fixture.h"

namespace {
struct MenuItem {
    int id;  // -1 for a submenu
    std::string text;
    UINT state;
    bool separator;
};

std::vector<MenuItem> ReadMenu(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[128] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_ID | MIIM_STATE;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        const bool separator = (info.fType & MFT_SEPARATOR) != 0;
        items.push_back(MenuItem{info.hSubMenu ? -1 : static_cast<int>(info.wID), text,
                                 GetMenuState(menu, i, MF_BYPOSITION), separator});
    }
    return items;
}

bool Grayed(int command) {
    return (GetMenuState(Viewer().PopupMenu, command, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

std::string TextOf(int command) {
    char text[128] = "";
    GetMenuStringA(Viewer().PopupMenu, command, text, sizeof text, MF_BYCOMMAND);
    return text;
}
}  // namespace

TEST_F(ViewerWindowTest, MenuHasEveryItemInItsOrder) {
    UpdateMenu(Viewer().DisplayMode);
    const std::vector<MenuItem> items = ReadMenu(Viewer().PopupMenu);
    struct Expected {
        int id;
        const char* text;
    };
    // 0 marks a separator, -1 a submenu.
    const std::vector<Expected> expected = {
        {40002, "ファイルＢｏｘを開く（ファイルを開く）"},
        {18, "ズブＢｏｘを開く（ズブの内容）"},
        {15, "画像インフォメーションＢｏｘを開く"},
        {0, ""},
        {13, "ズブ表示モードへ"},
        {0, ""},
        {9, "表示画像をズブへ"},
        {0, ""},
        {-1, "ズブ操作"},
        {0, ""},
        {5, "最大化"},
        {21, "ＴＲＵＥサイズ表示"},
        {3, "タイトルバーON/OFF"},
        {-1, "表示位置設定"},
        {40003, "オプション設定"},
        {0, ""},
        {-1, "表示画像を壁紙にする"},
        {0, ""},
        {40, "バージョン情報..."},
        {24, "ＨＥＬＰ..."},
        {40001, "終了"},
    };
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        if (expected[i].id == 0) {
            EXPECT_TRUE(items[i].separator);
            continue;
        }
        EXPECT_EQ(items[i].id, expected[i].id);
        EXPECT_EQ(items[i].text, expected[i].text);
    }

    const std::vector<MenuItem> zub = ReadMenu(GetSubMenu(Viewer().PopupMenu, 8));
    ASSERT_EQ(zub.size(), 5u);
    EXPECT_EQ(zub[0].id, 20);
    EXPECT_EQ(zub[0].text, "ズブのカラを上書き保存");
    EXPECT_EQ(zub[1].id, 11);
    EXPECT_EQ(zub[1].text, "ズブのカラを新規保存");
    EXPECT_TRUE(zub[2].separator);
    EXPECT_EQ(zub[3].id, 17);
    EXPECT_EQ(zub[3].text, "ズブの内容をクリア");
    EXPECT_EQ(zub[4].id, 19);
    EXPECT_EQ(zub[4].text, "ファイル複製・移動");

    const std::vector<MenuItem> position = ReadMenu(GetSubMenu(Viewer().PopupMenu, 13));
    ASSERT_EQ(position.size(), 3u);
    EXPECT_EQ(position[0].text, "常に手前に表示");
    EXPECT_EQ(position[1].text, "通常表示");
    EXPECT_TRUE(position[1].state & MF_CHECKED);
    EXPECT_FALSE(position[0].state & MF_CHECKED);
    EXPECT_EQ(position[2].text, "常に一番奥に表示");

    const std::vector<MenuItem> wallpaper = ReadMenu(GetSubMenu(Viewer().PopupMenu, 16));
    ASSERT_EQ(wallpaper.size(), 2u);
    EXPECT_EQ(wallpaper[0].id, 22);
    EXPECT_EQ(wallpaper[0].text, "中央");
    EXPECT_EQ(wallpaper[1].id, 23);
    EXPECT_EQ(wallpaper[1].text, "タイル");
}

TEST_F(ViewerWindowTest, MenuEnablingFollowsTheState) {
    ViewerState& v = Viewer();
    // Nothing shown, empty album, normal display.
    UpdateMenu(v.DisplayMode);
    EXPECT_TRUE(Grayed(9));
    EXPECT_TRUE(Grayed(13));
    EXPECT_EQ(TextOf(13), "ズブ表示モードへ");
    EXPECT_TRUE(Grayed(20));
    // Commands that no layer has registered are offered greyed.
    for (int command : {15, 18, 19, 40002}) EXPECT_TRUE(Grayed(command)) << command;
    // The shell's own table-driven commands are there from window creation.
    for (int command : {22, 23, 24, 40003}) EXPECT_FALSE(Grayed(command)) << command;
    SetCommandHandler(18, [](HWND) {});
    UpdateMenu(v.DisplayMode);
    EXPECT_FALSE(Grayed(18));

    // A picture not yet in the album can be added; once in, it cannot.
    WriteBmp(dir_.File("a.bmp"), 32, 32);
    Show(dir_.File("a.bmp"));
    UpdateMenu(v.DisplayMode);
    EXPECT_FALSE(Grayed(9));
    Command(kCommandAddShown);
    EXPECT_EQ(v.Album->PageCount(), 1);
    EXPECT_EQ(v.AlbumUnsaved, 1);
    UpdateMenu(v.DisplayMode);
    EXPECT_TRUE(Grayed(9));
    EXPECT_FALSE(Grayed(13));
    EXPECT_FALSE(Grayed(20));

    // Zub display offers normal display in the same place.
    Command(kCommandZubDisplay);
    UpdateMenu(v.DisplayMode);
    EXPECT_EQ(TextOf(14), "通常表示モードへ");
    EXPECT_EQ(GetMenuItemID(v.PopupMenu, 4), 14u);
    Command(kCommandNormalDisplay);
    UpdateMenu(v.DisplayMode);
    EXPECT_EQ(GetMenuItemID(v.PopupMenu, 4), 13u);

    // An open dialog greys the command that opens it.
    v.ZubBOXWindow = window_;
    UpdateMenu(v.DisplayMode);
    EXPECT_TRUE(Grayed(18));
    v.ZubBOXWindow = nullptr;
    SetCommandHandler(18, nullptr);
}

TEST_F(ViewerWindowTest, MenuTextsFollowTheirModes) {
    ViewerState& v = Viewer();
    UpdateMenu(v.DisplayMode);
    EXPECT_EQ(TextOf(21), "ＴＲＵＥサイズ表示");
    Command(kCommandFitOrTrueSize);
    EXPECT_EQ(TextOf(21), "ウィンドウサイズ表示");

    Command(kCommandMaximise);
    EXPECT_EQ(GetMenuItemID(v.PopupMenu, 10), 4u);
    EXPECT_EQ(TextOf(4), "元の大きさに戻す");
    Command(kCommandRestore);
    EXPECT_EQ(GetMenuItemID(v.PopupMenu, 10), 5u);
    EXPECT_EQ(TextOf(5), "最大化");

    Command(kCommandTopmost);
    EXPECT_TRUE(GetMenuState(v.PopupMenu, 6, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(v.PopupMenu, 7, MF_BYCOMMAND) & MF_CHECKED);
    Command(kCommandNotTopmost);
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
    g_menuWasOpen = false;
    POINT inside{40, 40};
    ClientToScreen(window_, &inside);
    SetCursorPos(inside.x, inside.y);
    SendMessageA(window_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 40));
    SetTimer(nullptr, 0, 200, CloseOpenMenu);
    SendMessageA(window_, WM_RBUTTONUP, 0, MAKELPARAM(40, 40));
    EXPECT_TRUE(g_menuWasOpen);
    EXPECT_EQ(Viewer().RightDragging, 0);
}
