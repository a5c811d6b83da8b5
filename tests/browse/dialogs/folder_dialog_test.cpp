// The folder dialog in the FileBOX: the tree of one drive, the current
// directory that follows it, new folders and renaming, drops, folders that
// are gone, long and double-byte names, the pumped listing, the chrome.
#include <gtest/gtest.h>

#include <cstring>

#include "app/file_drops.h"
#include "browse/dialogs/drive_combo.h"
#include "tests/browse/dialogs/file_box_fixture.h"

namespace {
std::string Label(HWND tree, HTREEITEM item) {
    char text[MAX_PATH] = "";
    TVITEMA query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = MAX_PATH;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
    return text;
}

HTREEITEM Child(HWND tree, HTREEITEM parent, const std::string& label) {
    for (HTREEITEM c = TreeView_GetChild(tree, parent); c; c = TreeView_GetNextSibling(tree, c))
        if (Label(tree, c) == label) return c;
    return nullptr;
}

HDROP DropOf(const std::string& name) {
    const std::string list = name + '\0';
    const std::vector<uint8_t> bytes = MakeDropFilesBlock(list.c_str(), list.size() + 1, POINT{5, 5});
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

}  // namespace

class FolderDialogTest : public FileBoxTest {};

TEST_F(FolderDialogTest, TheTreeHoldsTheChainFromTheDriveAndTheCurrentDirectoryFollows) {
    // C:\pictures\ with pictures, a text file and a double-byte sub-folder.
    const std::string pictures = "C:\\pictures\\";
    const std::string sub = pictures + "ソ表\\";
    CreateDirectoryA(pictures.c_str(), nullptr);
    CreateDirectoryA(sub.c_str(), nullptr);
    const std::vector<std::string> files = {pictures + "a.bmp", pictures + "b.bmp", pictures + "note.txt",
                                            sub + "表.bmp"};
    for (const std::string& f : files) WriteBmp(f, 8, 8);

    Open(pictures);
    HWND tree = Tree();
    HTREEITEM root = TreeView_GetRoot(tree);
    EXPECT_EQ(Label(tree, root), "C:");
    EXPECT_EQ(TreeView_GetNextSibling(tree, root), nullptr);  // one drive
    EXPECT_EQ(Selected(), pictures);
    EXPECT_EQ(Text(PILTRIN_FOLDER_PATH), pictures);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"a.bmp", "b.bmp"}));
    EXPECT_EQ(CurrentDirectory(), "C:\\pictures");
    EXPECT_EQ(Text(PILTRIN_FOLDER_DRIVES), "C:");

    // A sub-folder whose name holds 0x5C second bytes; then up again.
    TreeView_SelectItem(tree, Child(tree, TreeView_GetSelection(tree), "ソ表"));
    EXPECT_EQ(Selected(), sub);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"表.bmp"}));
    EXPECT_EQ(CurrentDirectory(), "C:\\pictures\\ソ表");
    Send(PILTRIN_FOLDER_UPDIR);
    EXPECT_EQ(Selected(), pictures);

    // The drive's own item: C:\ shown, the directory set with "C:" alone,
    // which keeps the drive's own current directory.
    TreeView_SelectItem(tree, root);
    EXPECT_EQ(Text(PILTRIN_FOLDER_PATH), "C:\\");
    EXPECT_EQ(CurrentDirectory(), "C:\\pictures");
    Send(PILTRIN_FOLDER_UPDIR);  // no parent: nothing
    EXPECT_EQ(Selected(), "C:\\");

    DestroyWindow(Box());
    for (const std::string& f : files) DeleteFileA(f.c_str());
    SetCurrentDirectoryA("C:\\");
    RemoveDirectoryA(sub.c_str());
    RemoveDirectoryA(pictures.c_str());
}

TEST_F(FolderDialogTest, MkdirStartsARenameThatOnlyAUsableNameCompletes) {
    Open(dir_.Path());
    struct Case {
        const char* name;
        bool renamed;
    };
    const Case cases[] = {{"表ソ", true}, {"", false}, {"a\\b", false}, {"a/b", false}, {"x:y", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Send(PILTRIN_FOLDER_MKDIR);
        ASSERT_EQ(Selected(), dir_.File("NewDir\\"));
        EXPECT_EQ(Config()->LabelEditing, 1);
        HWND edit = TreeView_GetEditControl(Tree());
        ASSERT_NE(edit, nullptr);
        SetWindowTextA(edit, c.name);
        SendMessageA(Tree(), TVM_ENDEDITLABELNOW, FALSE, 0);
        EXPECT_EQ(Config()->LabelEditing, 0);
        const std::string now = c.renamed ? dir_.File(std::string(c.name) + "\\") : dir_.File("NewDir\\");
        EXPECT_EQ(Text(PILTRIN_FOLDER_PATH), now);
        EXPECT_EQ(GetFileAttributesA(now.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
        Send(PILTRIN_FOLDER_UPDIR);
        if (!c.renamed) {
            // "NewDir" is there already: Mkdir does nothing.
            Send(PILTRIN_FOLDER_MKDIR);
            EXPECT_EQ(Selected(), dir_.Path());
            EXPECT_EQ(Config()->LabelEditing, 0);
        }
        RemoveDirectoryA(now.c_str());
        Send(PILTRIN_FOLDER_REREAD);
    }

    // The drive keeps its name.
    HTREEITEM root = TreeView_GetRoot(Tree());
    TreeView_SelectItem(Tree(), root);
    SendMessageA(Tree(), TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(root));
    SetWindowTextA(TreeView_GetEditControl(Tree()), "D");
    SendMessageA(Tree(), TVM_ENDEDITLABELNOW, FALSE, 0);
    EXPECT_EQ(Label(Tree(), root), "C:");
    EXPECT_EQ(Text(PILTRIN_FOLDER_PATH), "C:\\");
}

TEST_F(FolderDialogTest, DropsAndFoldersThatAreGoneLeaveARealFolderShown) {
    const std::string sub = dir_.File("表\\");
    CreateDirectoryA(sub.c_str(), nullptr);
    WriteBmp(sub + "ソ.bmp", 8, 8);
    SetCurrentDirectoryA(dir_.Path().c_str());
    // Start folders on a vanished drive or removed: the current directory.
    for (const char* gone : {"Q:\\gone\\", "C:\\no such folder\\x\\"}) {
        SCOPED_TRACE(gone);
        Open(gone);
        EXPECT_EQ(Selected(), dir_.Path());
        DestroyWindow(Box());
    }
    Open(dir_.Path());
    struct Case {
        std::string dropped;
        std::string shown;
    };
    const Case cases[] = {
        {sub + "ソ.bmp", sub},
        {dir_.File("表"), sub},
        {dir_.File("missing.bmp"), sub},  // nothing happens
        {dir_.File(""), dir_.Path()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dropped);
        SendMessageA(Box(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(c.dropped)), 0);
        EXPECT_EQ(Selected(), c.shown);
    }
    // A folder removed while the tree shows it: selecting it lists nothing
    // and keeps the current directory; a re-read shows that directory.
    DeleteFileA((sub + "ソ.bmp").c_str());
    ASSERT_TRUE(RemoveDirectoryA(sub.c_str()));
    TreeView_SelectItem(Tree(), Child(Tree(), TreeView_GetSelection(Tree()), "表"));
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(CurrentDirectory() + "\\", dir_.Path());
    Send(PILTRIN_FOLDER_REREAD);
    EXPECT_EQ(Selected(), dir_.Path());
    EXPECT_EQ(Child(Tree(), TreeView_GetSelection(Tree()), "表"), nullptr);
    EXPECT_TRUE(IsWindowEnabled(Box()));
}

TEST_F(FolderDialogTest, LongAndDoubleByteNamesAndTheListingPumpsMessages) {
    // Full paths of 259 bytes are listed; 260 and 261 do not fit a path.
    std::vector<std::wstring> longFiles;
    for (size_t length : {259, 260, 261}) longFiles.push_back(LongFile(dir_.Path(), length));
    for (const char* name : {"表.bmp", "ソ.jpg", "十.zub", "B2.bmp", "a-b.bmp", "a_b.bmp", "ｱ.bmp", "あ.bmp",
                             "[y].bmp", "Ab.BMP"})
        WriteBmp(dir_.File(name), 8, 8);
    for (int i = 0; i < 300; ++i) WriteBmp(dir_.File("f" + std::to_string(i) + ".bmp"), 1, 1);
    Open(dir_.Path());
    EXPECT_EQ(Lines().size(), 310u);
    // In the order the sorted list box gives its own lines.
    HWND sorted = CreateWindowExA(0, "LISTBOX", "", WS_POPUP | LBS_SORT, 0, 0, 9, 9, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    const std::vector<std::string> lines = Lines();
    for (const std::string& line : lines)
        SendMessageA(sorted, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    for (int i = 0; i < 310; ++i) {
        char line[MAX_PATH];
        SendMessageA(sorted, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
        EXPECT_EQ(lines[i], line) << i;
    }
    DestroyWindow(sorted);
    EXPECT_NE(LineOf("ソ.jpg"), -1);
    EXPECT_NE(LineOf("表.bmp"), -1);
    EXPECT_NE(LineOf(LongName(dir_.Path(), 259) + ".bmp"), -1);
    EXPECT_EQ(Lines(PILTRIN_FILEBOX_ALBUMS), (std::vector<std::string>{"十.zub"}));

    // Every 102nd entry the waiting messages run; a quit abandons the list
    // and stays queued for the loop.
    PostQuitMessage(7);
    SendMessageA(Box(), WM_COMMAND, PILTRIN_FOLDER_REREAD, 0);
    EXPECT_LT(Lines().size(), 310u);
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 7u);
    EXPECT_TRUE(IsWindowEnabled(Box()));
    for (const std::wstring& f : longFiles) DeleteFileW(f.c_str());
}

TEST_F(FolderDialogTest, ChromeTooltipsDriveIconsAndTraceLines) {
    // The trace lines go to the standard output handle.
    const std::string trace = dir_.File("trace.txt");
    HANDLE out =
        CreateFileA(trace.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    Open(dir_.Path());
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CloseHandle(out);
    const Bytes written = ReadFileBytes(trace);
    EXPECT_EQ(std::string(written.begin(), written.end()),
              "KELTVD:new FileList (KELTVD2_LV) \n"
              "KELTVD:TVN_SELCHANGED.\n"
              "KELTVD:TVN_SELCHANGED SendMessage.\n"
              "KELTVD:TVN_SELCHANGED SendMessage End.\n"
              "KELTVD:TVN_SELCHANGED NestDirCheck.\n"
              "KELTVD:TVN_SELCHANGED SetDirName.\n"
              "KELTVD:TVN_SELCHANGED END.\n");

    // The combo's item height was answered before the record arrived.
    EXPECT_EQ(SendDlgItemMessageA(Box(), PILTRIN_FOLDER_DRIVES, CB_GETITEMHEIGHT, 0, 0), 16);
    HWND tip = Config()->Tooltip;
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 6);
    char text[80] = "";
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = Box();
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(Box(), PILTRIN_FOLDER_UPDIR));
    tool.lpszText = text;
    SendMessageA(tip, TTM_GETTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text, "親ディレクトリを選択します");
    EXPECT_TRUE(SendDlgItemMessageA(Box(), PILTRIN_FOLDER_DESKTOP, BM_GETIMAGE, IMAGE_ICON, 0));
    // The desktop button goes to the user's desktop folder.
    char desktop[MAX_PATH] = "";
    DWORD size = sizeof desktop;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop",
                           RRF_RT_REG_SZ, nullptr, desktop, &size),
              ERROR_SUCCESS);
    CreateDirectoryA(desktop, nullptr);
    Send(PILTRIN_FOLDER_DESKTOP);
    EXPECT_EQ(Selected(), std::string(desktop) + "\\");

    struct Drive {
        UINT type;
        char letter;
        int image;
    };
    const Drive drives[] = {
        {DRIVE_REMOVABLE, 'A', 0}, {DRIVE_REMOVABLE, 'b', 0}, {DRIVE_REMOVABLE, 'E', 1},
        {DRIVE_FIXED, 'C', 2},     {DRIVE_REMOTE, 'N', 3},    {DRIVE_CDROM, 'D', 5},
        {DRIVE_RAMDISK, 'R', 6},   {DRIVE_UNKNOWN, 'U', -1},  {DRIVE_NO_ROOT_DIR, 'X', -1}};
    for (const Drive& d : drives) EXPECT_EQ(DriveImageIndex(d.type, d.letter), d.image) << d.type << d.letter;
}
