// The FileBOX opened by its command on the real viewer window: the folder
// dialog in its modeless form. Command 18 is answered by a stand-in window,
// so these tests need nothing of the ZubBOX.
#pragma once

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/command_table.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/dialogs/file_box.h"
#include "browse/dialogs/folder_dialog.h"
#include "resources/resource_ids.h"
#include "tests/app/viewer_fixture.h"

// The name that makes folder + name + ".bmp" exactly length bytes.
inline std::string LongName(const std::string& folder, size_t length) {
    return std::string(length - folder.size() - 4, 'n');
}

// A file whose full path is exactly `length` bytes, made through the wide
// call because the ANSI one stops at MAX_PATH.
inline std::wstring LongFile(const std::string& folder, size_t length) {
    const std::string name = LongName(folder, length);
    std::wstring wide = L"\\\\?\\" + std::wstring(folder.begin(), folder.end()) +
                        std::wstring(name.begin(), name.end()) + L".bmp";
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const Bytes bmp = MakeBmp(8, 8, 24);
    DWORD written = 0;
    WriteFile(file, bmp.data(), static_cast<DWORD>(bmp.size()), &written, nullptr);
    CloseHandle(file);
    return wide;
}
class FileBoxTest : public ViewerWindowTest {
protected:
    static inline int zubBoxRequests = 0;
    static void StandInZubBOX(HWND) {
        ++zubBoxRequests;
        Viewer().ZubBOXWindow = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                                GetModuleHandleA(nullptr), nullptr);
    }
    void SetUp() override {
        ViewerWindowTest::SetUp();
        zubBoxRequests = 0;
        RegisterFileBOXCommands();
        SetCommandHandler(kCommandZubBox, StandInZubBOX);
    }
    void TearDown() override {
        if (Box()) DestroyWindow(Box());
        if (Viewer().ZubBOXWindow) DestroyWindow(Viewer().ZubBOXWindow);
        SetCommandHandler(kCommandFileBox, nullptr);
        SetCommandHandler(kCommandZubBox, nullptr);
        SetCurrentDirectoryA("C:\\");
        ViewerWindowTest::TearDown();
    }
    void Open(const std::string& folder) {
        lstrcpynA(Viewer().CurrentFolder, folder.c_str(), MAX_PATH);
        Command(kCommandFileBox);
        ASSERT_NE(Box(), nullptr);
    }
    HWND Box() const { return Viewer().FileBOXWindow; }
    FolderDialogConfig* Config() const { return FolderDialogConfigOf(Box()); }
    HWND Tree() const { return GetDlgItem(Box(), PILTRIN_FOLDER_TREE); }
    std::string Text(int id) const {
        char text[MAX_PATH] = "";
        GetDlgItemTextA(Box(), id, text, MAX_PATH);
        return text;
    }
    std::string Selected() const {
        char path[MAX_PATH];
        GetSelectedFolder(Config(), path);
        return path;
    }
    std::vector<std::string> Lines(int id = PILTRIN_FOLDER_FILES) const {
        std::vector<std::string> lines;
        HWND list = GetDlgItem(Box(), id);
        for (LRESULT i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
            char line[MAX_PATH] = "";
            SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            lines.push_back(line);
        }
        return lines;
    }
    // A control's command, as a click or a list notification sends it.
    void Send(int id, int code = BN_CLICKED) {
        SendMessageA(Box(), WM_COMMAND, MAKEWPARAM(id, code),
                     reinterpret_cast<LPARAM>(GetDlgItem(Box(), id)));
        Pump();
    }
    // Makes line the list's current (and only selected) line and notifies.
    void Pick(int id, int line) {
        HWND list = GetDlgItem(Box(), id);
        if (id == PILTRIN_FOLDER_FILES) {
            SendMessageA(list, LB_SETSEL, FALSE, -1);
            SendMessageA(list, LB_SETSEL, TRUE, line);
            SendMessageA(list, LB_SETCARETINDEX, line, FALSE);
        } else {
            SendMessageA(list, LB_SETCURSEL, line, 0);
        }
        Send(id, LBN_SELCHANGE);
    }
    int LineOf(const std::string& name, int id = PILTRIN_FOLDER_FILES) const {
        const std::vector<std::string> lines = Lines(id);
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == name) return static_cast<int>(i);
        return -1;
    }
    static std::string CurrentDirectory() {
        char path[MAX_PATH] = "";
        GetCurrentDirectoryA(MAX_PATH, path);
        return path;
    }
};
