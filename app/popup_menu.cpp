#include "app/popup_menu.h"

#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"

namespace {
// Texts of the items whose number changes in place.
const char* CommandText(int command) {
    switch (command) {
        case kCommandZubDisplay:
            return "ズブ表示モードへ";
        case kCommandNormalDisplay:
            return "通常表示モードへ";
        case kCommandMaximise:
            return "最大化";
        case kCommandRestore:
            return "元の大きさに戻す";
    }
    return "";
}

void AddItem(HMENU menu, int command, const char* text, UINT flags = MF_STRING) {
    AppendMenuA(menu, flags, static_cast<UINT_PTR>(command), text);
}
void AddSeparator(HMENU menu) {
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
}
void AddSubmenu(HMENU menu, HMENU submenu, const char* text) {
    AppendMenuA(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu), text);
}

HMENU BuildPopupMenu() {
    HMENU zub = CreatePopupMenu();
    AddItem(zub, kCommandSave, "ズブのカラを上書き保存");
    AddItem(zub, kCommandSaveAs, "ズブのカラを新規保存");
    AddSeparator(zub);
    AddItem(zub, kCommandClearAlbum, "ズブの内容をクリア");
    AddItem(zub, kCommandCopyMove, "ファイル複製・移動");

    HMENU position = CreatePopupMenu();
    AddItem(position, kCommandTopmost, "常に手前に表示");
    AddItem(position, kCommandNotTopmost, "通常表示", MF_STRING | MF_CHECKED);
    AddItem(position, kCommandBottom, "常に一番奥に表示");

    HMENU wallpaper = CreatePopupMenu();
    AddItem(wallpaper, kCommandWallpaperCentre, "中央");
    AddItem(wallpaper, kCommandWallpaperTile, "タイル");

    HMENU menu = CreatePopupMenu();
    AddItem(menu, kCommandFileBox, "ファイルＢｏｘを開く（ファイルを開く）");
    AddItem(menu, kCommandZubBox, "ズブＢｏｘを開く（ズブの内容）");
    AddItem(menu, kCommandInfoBox, "画像インフォメーションＢｏｘを開く");
    AddSeparator(menu);
    AddItem(menu, kCommandZubDisplay, CommandText(kCommandZubDisplay));
    AddSeparator(menu);
    AddItem(menu, kCommandAddShown, "表示画像をズブへ");
    AddSeparator(menu);
    AddSubmenu(menu, zub, "ズブ操作");
    AddSeparator(menu);
    AddItem(menu, kCommandMaximise, CommandText(kCommandMaximise));
    AddItem(menu, kCommandFitOrTrueSize, "ＴＲＵＥサイズ表示");
    AddItem(menu, kCommandTitleBar, "タイトルバーON/OFF");
    AddSubmenu(menu, position, "表示位置設定");
    AddItem(menu, kCommandOptions, "オプション設定");
    AddSeparator(menu);
    AddSubmenu(menu, wallpaper, "表示画像を壁紙にする");
    AddSeparator(menu);
    AddItem(menu, kCommandAbout, "バージョン情報...");
    AddItem(menu, kCommandHelp, "ＨＥＬＰ...");
    AddItem(menu, kCommandExit, "終了");
    return menu;
}

void Enable(int command, bool enabled) {
    EnableMenuItem(Viewer().PopupMenu, command,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
}

int PageCount() {
    const ViewerState& v = Viewer();
    return v.Album ? v.Album->PageCount() : 0;
}
}  // namespace

void ReplaceMenuCommand(int from, int to) {
    ModifyMenuA(Viewer().PopupMenu, from, MF_BYCOMMAND | MF_STRING, static_cast<UINT_PTR>(to),
                CommandText(to));
}

void UpdateMenu(int mode) {
    ViewerState& v = Viewer();
    if (mode == 0) v.PopupMenu = BuildPopupMenu();
    if (mode == kNormalDisplay) {
        ReplaceMenuCommand(kCommandNormalDisplay, kCommandZubDisplay);
        Enable(kCommandZubDisplay, PageCount() > 0);
    } else if (mode == kZubDisplay) {
        ReplaceMenuCommand(kCommandZubDisplay, kCommandNormalDisplay);
    }
    ModifyMenuA(v.PopupMenu, kCommandFitOrTrueSize, MF_BYCOMMAND | MF_STRING, kCommandFitOrTrueSize,
                v.Settings.FitToWindow ? "ＴＲＵＥサイズ表示" : "ウィンドウサイズ表示");
    Enable(kCommandAddShown, v.ShownBitmap && v.Album && v.Album->FindPage(v.CurrentPath) == -1);
    // A command that no layer has registered is offered greyed.
    Enable(kCommandFileBox, v.FileBOXWindow == nullptr && CommandHandlerFor(kCommandFileBox));
    Enable(kCommandZubBox, v.ZubBOXWindow == nullptr && CommandHandlerFor(kCommandZubBox));
    Enable(kCommandInfoBox, v.InfoBOXWindow == nullptr && CommandHandlerFor(kCommandInfoBox));
    for (int command :
         {kCommandCopyMove, kCommandWallpaperCentre, kCommandWallpaperTile, kCommandHelp, kCommandOptions}) {
        Enable(command, CommandHandlerFor(command) != nullptr);
    }
    Enable(kCommandSave, v.AlbumUnsaved != 0);
}

void CheckStackingItem(int command) {
    for (int item : {kCommandTopmost, kCommandNotTopmost, kCommandBottom}) {
        CheckMenuItem(Viewer().PopupMenu, item, MF_BYCOMMAND | (item == command ? MF_CHECKED : MF_UNCHECKED));
    }
}

void DestroyPopupMenu() {
    ViewerState& v = Viewer();
    if (v.PopupMenu) DestroyMenu(v.PopupMenu);
    v.PopupMenu = nullptr;
}
