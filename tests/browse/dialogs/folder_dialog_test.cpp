#include <gtest/gtest.h>

#include "browse/dialogs/drive_combo.h"
#include "browse/dialogs/folder_reader.h"
#include "tests/browse/dialogs/file_box_fixture.h"

class FolderDialogTest : public FileBoxTest {
protected:
    std::string Label(HTREEITEM item) const {
        char text[MAX_PATH] = "";
        TVITEMA query{};
        query.mask = TVIF_TEXT, query.hItem = item, query.pszText = text, query.cchTextMax = MAX_PATH;
        TreeView_GetItem(Tree(), &query);
        return text;
    }
    HTREEITEM Child(const std::string& label) const {
        HTREEITEM c = TreeView_GetChild(Tree(), TreeView_GetSelection(Tree()));
        while (c && Label(c) != label) c = TreeView_GetNextSibling(Tree(), c);
        return c;
    }
    static std::string CurrentDirectory() {
        char path[MAX_PATH] = "";
        GetCurrentDirectoryA(MAX_PATH, path);
        return path;
    }
};

TEST_F(FolderDialogTest, TheTreeHoldsTheChainFromTheDriveAndTheCurrentDirectoryFollows) {
    // C:\pictures\ with pictures, a text file and a double-byte sub-folder.
    const std::string pictures = "C:\\pictures\\", sub = pictures + "ソ表\\";
    CreateDirectoryA(pictures.c_str(), nullptr);
    CreateDirectoryA(sub.c_str(), nullptr);
    const Names files = {pictures + "a.bmp", pictures + "b.bmp", pictures + "note.txt", sub + "表.bmp"};
    for (const std::string& f : files) WriteBmp(f, 8, 8);
    Open(pictures);
    HTREEITEM root = TreeView_GetRoot(Tree());
    EXPECT_EQ(Label(root), "C:");
    EXPECT_EQ(TreeView_GetNextSibling(Tree(), root), nullptr);  // one drive
    EXPECT_EQ((Names{Selected(), Text(PILTRIN_FOLDER_PATH), Text(PILTRIN_FOLDER_DRIVES)}),
              (Names{pictures, pictures, "C:"}));
    EXPECT_EQ(Lines(), (Names{"a.bmp", "b.bmp"}));
    EXPECT_EQ(CurrentDirectory(), "C:\\pictures");
    // A sub-folder whose name holds 0x5C second bytes; then up again.
    TreeView_SelectItem(Tree(), Child("ソ表"));
    EXPECT_EQ(Lines(), Names{"表.bmp"});
    EXPECT_EQ(CurrentDirectory(), "C:\\pictures\\ソ表");
    Send(PILTRIN_FOLDER_UPDIR);
    EXPECT_EQ(Selected(), pictures);
    // The drive's item: C:\ shown, the directory set with "C:" alone, which
    // keeps the drive's own current directory; it has no parent.
    TreeView_SelectItem(Tree(), root);
    EXPECT_EQ(Text(PILTRIN_FOLDER_PATH), "C:\\");
    EXPECT_EQ(CurrentDirectory(), "C:\\pictures");
    Send(PILTRIN_FOLDER_UPDIR);
    EXPECT_EQ(Selected(), "C:\\");
    DestroyWindow(Box());
    SetCurrentDirectoryA("C:\\");
    for (const std::string& f : files) DeleteFileA(f.c_str());
    for (const std::string& folder : {sub, pictures}) RemoveDirectoryA(folder.c_str());
}

TEST_F(FolderDialogTest, MkdirStartsARenameThatOnlyAUsableNameCompletes) {
    Open(dir_.Path());
    for (std::string name : {"表ソ", "", "a\\b", "a/b", "x:y"}) {
        SCOPED_TRACE(name);
        const bool renamed = name == "表ソ";
        Send(PILTRIN_FOLDER_MKDIR);
        ASSERT_EQ(Selected(), dir_.File("NewDir\\"));
        EXPECT_EQ(Config()->LabelEditing, 1);
        SetWindowTextA(TreeView_GetEditControl(Tree()), name.c_str());
        SendMessageA(Tree(), TVM_ENDEDITLABELNOW, FALSE, 0);
        EXPECT_EQ(Config()->LabelEditing, 0);
        const std::string now = dir_.File((renamed ? name : "NewDir") + "\\");
        EXPECT_EQ(Text(PILTRIN_FOLDER_PATH), now);
        EXPECT_EQ(GetFileAttributesA(now.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
        Send(PILTRIN_FOLDER_UPDIR);
        if (!renamed) {  // "NewDir" is there already: Mkdir does nothing
            Send(PILTRIN_FOLDER_MKDIR);
            EXPECT_EQ(Selected(), dir_.Path());
        }
        RemoveDirectoryA(now.c_str());
        Send(PILTRIN_FOLDER_REREAD);
    }
    // The drive keeps its name.
    HTREEITEM root = TreeView_GetRoot(Tree());
    TreeView_SelectItem(Tree(), root);
    TreeView_EditLabel(Tree(), root);
    SetWindowTextA(TreeView_GetEditControl(Tree()), "D");
    SendMessageA(Tree(), TVM_ENDEDITLABELNOW, FALSE, 0);
    EXPECT_EQ(Label(root), "C:");
    EXPECT_EQ(Text(PILTRIN_FOLDER_PATH), "C:\\");
}

TEST_F(FolderDialogTest, DropsAndFoldersThatAreGoneLeaveARealFolderShown) {
    const std::string sub = dir_.File("表\\");
    CreateDirectoryA(sub.c_str(), nullptr);
    WriteBmp(sub + "ソ.bmp", 8, 8);
    SetCurrentDirectoryA(dir_.Path().c_str());
    // Start folders on a vanished drive or removed: the current directory.
    for (const char* gone : {"Q:\\gone\\", "C:\\no such folder\\x\\"}) {
        Open(gone);
        EXPECT_EQ(Selected(), dir_.Path()) << gone;
        DestroyWindow(Box());
    }
    Open(dir_.Path());
    const std::pair<std::string, std::string> drops[] = {{sub + "ソ.bmp", sub},
                                                         {dir_.File("表"), sub},
                                                         {dir_.File("missing.bmp"), sub},
                                                         {dir_.Path(), dir_.Path()}};
    for (const auto& [dropped, shown] : drops) {
        SendMessageA(Box(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({dropped})), 0);
        EXPECT_EQ(Selected(), shown) << dropped;
    }
    // A folder removed while the tree shows it: selecting it lists nothing
    // and keeps the current directory; a re-read shows that directory.
    DeleteFileA((sub + "ソ.bmp").c_str());
    ASSERT_TRUE(RemoveDirectoryA(sub.c_str()));
    TreeView_SelectItem(Tree(), Child("表"));
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(CurrentDirectory() + "\\", dir_.Path());
    Send(PILTRIN_FOLDER_REREAD);
    EXPECT_EQ(Selected(), dir_.Path());
    EXPECT_EQ(Child("表"), nullptr);
    EXPECT_TRUE(IsWindowEnabled(Box()));
}

TEST_F(FolderDialogTest, LongAndDoubleByteNamesAndTheListingPumpsMessages) {
    // Full paths of 259 bytes are listed; 260 and 261 do not fit a path (the
    // wide call with its prefix makes them).
    std::vector<std::wstring> longFiles;
    for (size_t length : {259, 260, 261}) {
        const std::string path = "\\\\?\\" + dir_.Path() + LongName(dir_.Path(), length) + ".bmp";
        longFiles.emplace_back(path.begin(), path.end());
        CloseHandle(CreateFileW(longFiles.back().c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0));
    }
    for (const char* name : {"表.bmp", "ソ.jpg", "十.zub", "B2.bmp", "a-b.bmp", "a_b.bmp", "ｱ.bmp", "あ.bmp",
                             "[y].bmp", "Ab.BMP"})
        WriteBmp(dir_.File(name), 8, 8);
    for (int i = 0; i < 300; ++i) WriteBmp(dir_.File("f" + std::to_string(i) + ".bmp"), 1, 1);
    // Names the code page cannot spell (a missing character, one it would only approximate) are left out.
    const std::wstring folder(dir_.Path().begin(), dir_.Path().end());
    const std::wstring unspelled[] = {folder + L"\uD55C.bmp", folder + L"a\u00A5b.bmp"};
    for (const std::wstring& name : unspelled)
        CloseHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0));
    // A second FileBOX asked for while the first lists its folder: the first is brought up.
    PostMessageA(window_, WM_COMMAND, kCommandFileBox, 0);
    Open(dir_.Path());
    HWND first = FindWindowExA(nullptr, nullptr, nullptr, "ファイルＢＯＸ");
    EXPECT_EQ(FindWindowExA(nullptr, first, nullptr, "ファイルＢＯＸ"), nullptr);
    const Names lines = Lines();
    ASSERT_EQ(lines.size(), 310u);
    for (const std::string& name :
         {std::string("ソ.jpg"), std::string("表.bmp"), LongName(dir_.Path(), 259) + ".bmp"})
        EXPECT_NE(LineOf(name), -1) << name;
    EXPECT_EQ(Lines(PILTRIN_FILEBOX_ALBUMS), Names{"十.zub"});
    // In the order the sorted list box gives its own lines.
    EXPECT_EQ(ListLines(NameListBox(lines, LBS_SORT).get()), lines);
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
    for (const std::wstring& name : unspelled) DeleteFileW(name.c_str());
}

// A young listing's pump runs input, posted and sent messages but leaves
// windows undrawn until its end; an older one draws them as it goes on.
TEST(ListFileEntryTest, PaintsWaitOnlyWhileTheListingIsYoung) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, 0, 0, 0, 0);
    FileEntry folder{};
    folder.Attributes = FILE_ATTRIBUTE_DIRECTORY;
    for (const auto& [age, drawn] : {std::pair{ULONGLONG{0}, false}, {kListingPaintDelay, true}}) {
        FolderDialogConfig config;
        config.ListedNames.started = GetTickCount64() - age;
        InvalidateRect(window, nullptr, TRUE);
        PostMessageA(window, WM_APP, 0, 0);
        for (int i = 0; i < 102; ++i) ASSERT_EQ(ListFileEntry(&config, folder), 0);
        MSG posted;
        EXPECT_FALSE(PeekMessageA(&posted, window, WM_APP, WM_APP, PM_NOREMOVE)) << age;
        EXPECT_EQ(GetUpdateRect(window, nullptr, FALSE) == FALSE, drawn) << age;
    }
    DestroyWindow(window);
}

TEST_F(FolderDialogTest, ChromeTooltipsDriveIconsAndTraceLines) {
    // The trace lines go to the standard output handle.
    const std::string trace = dir_.File("trace.txt");
    HANDLE out = CreateFileA(trace.c_str(), GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_ALWAYS, 0, 0);
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    Open(dir_.Path());
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CloseHandle(out);
    const Bytes written = ReadFileBytes(trace);
    EXPECT_EQ(
        std::string(written.begin(), written.end()),
        "KELTVD:new FileList (KELTVD2_LV) \nKELTVD:TVN_SELCHANGED.\nKELTVD:TVN_SELCHANGED SendMessage.\n"
        "KELTVD:TVN_SELCHANGED SendMessage End.\nKELTVD:TVN_SELCHANGED NestDirCheck.\n"
        "KELTVD:TVN_SELCHANGED SetDirName.\nKELTVD:TVN_SELCHANGED END.\n");
    // The combo's item height was answered before the record arrived.
    EXPECT_EQ(SendDlgItemMessageA(Box(), PILTRIN_FOLDER_DRIVES, CB_GETITEMHEIGHT, 0, 0), 16);
    EXPECT_TRUE(SendDlgItemMessageA(Box(), PILTRIN_FOLDER_DESKTOP, BM_GETIMAGE, IMAGE_ICON, 0));
    EXPECT_TRUE(TreeView_GetImageList(Config()->Tree, TVSIL_NORMAL));  // the folder images
    EXPECT_EQ(SendMessageA(Config()->Tooltip, TTM_GETTOOLCOUNT, 0, 0), 6);
    char text[80] = "";
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE, tool.hwnd = Box(), tool.lpszText = text;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(Box(), PILTRIN_FOLDER_UPDIR));
    SendMessageA(Config()->Tooltip, TTM_GETTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text, "親ディレクトリを選択します");
    // The desktop button goes to the user's desktop folder.
    char desktop[MAX_PATH] = "";
    DWORD size = sizeof desktop;
    RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                 "Desktop", RRF_RT_REG_SZ, nullptr, desktop, &size);
    CreateDirectoryA(desktop, nullptr);
    Send(PILTRIN_FOLDER_DESKTOP);
    EXPECT_EQ(Selected(), std::string(desktop) + "\\");
    // Drive icons by type; none for unknown drives or missing roots.
    const std::tuple<UINT, char, int> drives[] = {
        {DRIVE_REMOVABLE, 'A', 0}, {DRIVE_REMOVABLE, 'b', 0}, {DRIVE_REMOVABLE, 'E', 1},
        {DRIVE_FIXED, 'C', 2},     {DRIVE_REMOTE, 'N', 3},    {DRIVE_CDROM, 'D', 5},
        {DRIVE_RAMDISK, 'R', 6},   {DRIVE_UNKNOWN, 'U', -1},  {DRIVE_NO_ROOT_DIR, 'X', -1}};
    for (const auto& [type, letter, image] : drives)
        EXPECT_EQ(DriveImageIndex(type, letter), image) << letter;
}

// The reader hands over every entry once, in the file system's order, on
// both sides of the point where a worker takes over the reading; one that
// is dropped part-way (an abandoned fill) stops its worker.
TEST(FolderReaderTest, EveryEntryOnceInTheWalksOrderAndADroppedReaderStops) {
    TempDir dir;
    int made = 0;
    for (int count : {0, 1, 254, 255, 256, 700}) {
        for (; made < count; ++made) WriteFileBytes(dir.File("e" + std::to_string(made)), Bytes{});
        const std::string pattern = dir.Path() + "*";
        Names walk, read;
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(pattern.c_str(), &found);
        do walk.push_back(found.cFileName);
        while (FindNextFileA(find, &found));
        FindClose(find);
        {
            FolderReader reader(pattern.c_str());
            while (reader.Next(found)) read.push_back(found.cFileName);
            EXPECT_FALSE(reader.Next(found));
        }
        EXPECT_EQ(read, walk) << count;  // with "." and ".."
        for (size_t taken : {size_t{0}, size_t{1}, walk.size() / 2}) {
            FolderReader reader(pattern.c_str());
            for (size_t i = 0; i < taken; ++i) ASSERT_TRUE(reader.Next(found)) << count;
        }
    }
    WIN32_FIND_DATAA found;
    FolderReader missing((dir.Path() + "no such folder\\*").c_str());
    EXPECT_FALSE(missing.Next(found));
}
