// The FileBOX opened by its command on the real viewer window: the folder
// dialog in its modeless form. Command 18 gets a stand-in window, so these
// tests need nothing of the ZubBOX.
#pragma once

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/dialogs/file_box.h"
#include "resources/resource_ids.h"
#include "tests/app/viewer_fixture.h"

using Names = std::vector<std::string>;

// The name that makes folder + name + ".bmp" exactly length bytes long.
inline std::string LongName(const std::string& folder, size_t length) {
    return std::string(length - folder.size() - 4, 'n');
}

class FileBoxTest : public ViewerWindowTest {
protected:
    static inline int zubBoxRequests = 0;
    static void StandInZubBOX(HWND) {
        ++zubBoxRequests;
        Viewer().ZubBOXWindow = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 9, 9, 0, 0, 0, 0);
    }
    void SetUp() override {
        ViewerWindowTest::SetUp();
        zubBoxRequests = 0;
        RegisterFileBOXCommands();
        SetCommandHandler(kCommandZubBox, StandInZubBOX);
    }
    void TearDown() override {
        ViewerWindowTest::TearDown();
        SetCurrentDirectoryA("C:\\");
    }
    void Open(const std::string& folder) {
        lstrcpynA(Viewer().CurrentFolder, folder.c_str(), MAX_PATH);
        Command(kCommandFileBox);
        ASSERT_NE(Box(), nullptr);
    }
    HWND Box() const { return Viewer().FileBOXWindow; }
    FolderDialogConfig* Config() const { return FolderDialogConfigOf(Box()); }
    HWND Tree() const { return GetDlgItem(Box(), PILTRIN_FOLDER_TREE); }
    std::string Text(int id) const { return ItemText(Box(), id); }
    std::string Selected() const {
        char path[MAX_PATH];
        GetSelectedFolder(Config(), path);
        return path;
    }
    Names Lines(int id = PILTRIN_FOLDER_FILES) const { return ListLines(GetDlgItem(Box(), id)); }
    int LineOf(const std::string& name, int id = PILTRIN_FOLDER_FILES) const {
        const Names lines = Lines(id);
        const auto found = std::find(lines.begin(), lines.end(), name);
        return found == lines.end() ? -1 : static_cast<int>(found - lines.begin());
    }
    // A control's command, as a click or a list notification sends it.
    void Send(int id, int code = BN_CLICKED) {
        SendMessageA(Box(), WM_COMMAND, MAKEWPARAM(id, code),
                     reinterpret_cast<LPARAM>(GetDlgItem(Box(), id)));
        Pump();
    }
    // Makes line the list's current (and only selected) line and notifies.
    void Pick(int id, int line) {
        if (id == PILTRIN_FOLDER_FILES) {
            SendDlgItemMessageA(Box(), id, LB_SETSEL, FALSE, -1);
            SendDlgItemMessageA(Box(), id, LB_SETSEL, TRUE, line);
            SendDlgItemMessageA(Box(), id, LB_SETCARETINDEX, line, FALSE);
        } else {
            SendDlgItemMessageA(Box(), id, LB_SETCURSEL, line, 0);
        }
        Send(id, LBN_SELCHANGE);
    }
};
