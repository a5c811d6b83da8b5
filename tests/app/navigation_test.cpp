// Stepping through album pages and folder lists with keys and double
// clicks, and the folder list itself.
#include <gtest/gtest.h>

#include <cstring>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/shell_paths.h"
#include "app/viewer_state.h"
#include "image/folder_list.h"
#include "tests/app/viewer_fixture.h"

namespace {
// A list box holding names, as the file browser shows a folder.
class NameListBox {
public:
    explicit NameListBox(std::initializer_list<const char*> names) {
        box_ = CreateWindowExA(0, "LISTBOX", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        for (const char* name : names) SendMessageA(box_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    ~NameListBox() { DestroyWindow(box_); }
    HWND get() const { return box_; }

private:
    HWND box_;
};
}  // namespace

class NavigationTest : public ViewerWindowTest {
protected:
    void AddPages(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string name = dir_.File("p" + std::to_string(i) + ".bmp");
            WriteBmp(name, 16 + i, 16);
            Viewer().Album->AddPage(name.c_str());
        }
    }
    void Key(WPARAM key) {
        SendMessageA(window_, WM_KEYDOWN, key, 0);
        Pump();
    }
    void DoubleClick(int x) {
        SendMessageA(window_, WM_LBUTTONDBLCLK, 0, MAKELPARAM(x, 10));
        Pump();
    }
};

TEST_F(NavigationTest, KeysStepThroughPagesWithoutWrapping) {
    ViewerState& v = Viewer();
    AddPages(3);
    SetDisplayMode(window_, kZubDisplay);
    EXPECT_EQ(v.CurrentZubIndex, 0u);
    // At either end the key does nothing: no reload (which would restart
    // the slideshow's count) and the picture stays.
    v.SwitchCounter = 5;
    HBITMAP shown = v.ShownBitmap;
    Key(VK_LEFT);
    EXPECT_EQ(v.CurrentZubIndex, 0u);
    EXPECT_EQ(v.SwitchCounter, 5);
    EXPECT_EQ(v.ShownBitmap, shown);
    Key(VK_RIGHT);
    EXPECT_EQ(v.CurrentZubIndex, 1u);
    Key(VK_NUMPAD6);
    EXPECT_EQ(v.CurrentZubIndex, 2u);
    v.SwitchCounter = 5;
    Key(VK_RIGHT);
    EXPECT_EQ(v.CurrentZubIndex, 2u);
    EXPECT_EQ(v.SwitchCounter, 5);
    EXPECT_EQ(v.PictureSize.cx, 18);
    Key(VK_NUMPAD4);
    EXPECT_EQ(v.CurrentZubIndex, 1u);
    Key(VK_UP);  // no other key does anything
    EXPECT_EQ(v.CurrentZubIndex, 1u);
}

// The folder is cut after the last separator and given one; a text of 259
// bytes without a separator would need 261 and leaves the folder alone.
TEST(CutToFolder, CutsAtTheLastSeparatorWithinTheBuffer) {
    const struct {
        std::string path, folder;
    } cases[] = {{"C:\\a\\b.bmp", "C:\\a\\"},
                 {"b.bmp", "b.bmp\\"},
                 {"C:\\x\\" + std::string(251, 'n'), "C:\\x\\"},
                 {std::string(258, 'n'), std::string(258, 'n') + "\\"},
                 {std::string(259, 'n'), "kept\\"}};
    for (const auto& c : cases) {
        char folder[MAX_PATH + 1] = "kept\\";
        folder[MAX_PATH] = '!';
        CutToFolder(folder, c.path.c_str());
        EXPECT_EQ(c.folder, std::string(folder)) << c.path.size();
        EXPECT_EQ('!', folder[MAX_PATH]);
    }
}

TEST_F(NavigationTest, DoubleClickRightOfTheMiddleStepsForward) {
    ViewerState& v = Viewer();
    AddPages(3);
    SetClientSize(640, 300);
    SetDisplayMode(window_, kZubDisplay);
    v.CurrentZubIndex = 1;
    DoubleClick(321);
    EXPECT_EQ(v.CurrentZubIndex, 2u);
    DoubleClick(320);  // 320 is not greater than half of 640
    EXPECT_EQ(v.CurrentZubIndex, 1u);
}

TEST_F(NavigationTest, PagesRemovedUnderTheIndexAreClampedTo) {
    ViewerState& v = Viewer();
    AddPages(3);
    SetDisplayMode(window_, kZubDisplay);
    v.CurrentZubIndex = 2;
    v.Album->RemovePage(2);
    v.Album->RemovePage(1);
    Key(VK_RIGHT);
    EXPECT_EQ(v.CurrentZubIndex, 0u);
    EXPECT_EQ(v.CurrentPath, dir_.File("p0.bmp"));
}

TEST_F(NavigationTest, NormalDisplayStepsThroughTheFolderList) {
    ViewerState& v = Viewer();
    for (const char* name : {"x.bmp", "y.bmp", "z.bmp"}) WriteBmp(dir_.File(name), 20, 20);
    NameListBox names{"x.bmp", "y.bmp", "z.bmp"};
    ASSERT_EQ(FolderListFromListBox(&v.FolderList, dir_.Path().c_str(), names.get()), 3u);
    Key(VK_RIGHT);
    EXPECT_EQ(v.FolderIndex, 1u);
    EXPECT_EQ(v.CurrentPath, dir_.File("y.bmp"));
    EXPECT_EQ(v.CurrentFolder, dir_.Path());
    Key(VK_RIGHT);
    Key(VK_RIGHT);
    EXPECT_EQ(v.FolderIndex, 2u);
    DoubleClick(0);
    EXPECT_EQ(v.CurrentPath, dir_.File("y.bmp"));
}

TEST_F(NavigationTest, NormalDisplayWithoutAListKeepsThePicture) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("only.bmp"), 20, 20);
    Show(dir_.File("only.bmp"));
    Key(VK_RIGHT);
    EXPECT_NE(v.ShownBitmap, nullptr);
    EXPECT_EQ(v.CurrentPath, dir_.File("only.bmp"));
}

TEST(FolderList, HoldsTheFolderAndNamesInOneBlock) {
    FolderList list;
    NameListBox names{"a.jpg", "bb.png", "表紙.bmp"};
    ASSERT_EQ(FolderListFromListBox(&list, "C:\\pics\\", names.get()), 3u);
    EXPECT_STREQ(list.folder, "C:\\pics\\");
    EXPECT_EQ(static_cast<void*>(list.folder), list.block);
    EXPECT_STREQ(list.names[0], "a.jpg");
    EXPECT_STREQ(list.names[1], "bb.png");
    EXPECT_STREQ(list.names[2], "表紙.bmp");
    // Folder, names, then the pointer array, in one block.
    const char* base = static_cast<const char*>(list.block);
    EXPECT_EQ(list.names[0], base + 9);
    EXPECT_EQ(reinterpret_cast<const char*>(list.names), base + 9 + 6 + 7 + std::strlen("表紙.bmp") + 1);
    HGLOBAL handle = GlobalHandle(list.block);
    EXPECT_EQ(GlobalSize(handle), 9 + 6 + 7 + std::strlen("表紙.bmp") + 1 + 3 * sizeof(char*) + 1);
    EXPECT_EQ(FolderListFree(&list), 1);
    EXPECT_EQ(list.block, nullptr);
    EXPECT_EQ(FolderListFree(&list), 0);
}

TEST(FolderList, EmptyListBoxKeepsOnlyTheFolderAndASpareByte) {
    FolderList list;
    NameListBox names{};
    EXPECT_EQ(FolderListFromListBox(&list, "C:\\x\\", names.get()), 0u);
    ASSERT_NE(list.block, nullptr);
    EXPECT_EQ(GlobalSize(GlobalHandle(list.block)), 6u + 1u);
    // Building again releases the first block before taking a new one.
    HGLOBAL first = GlobalHandle(list.block);
    NameListBox more{"a.bmp"};
    EXPECT_EQ(FolderListFromListBox(&list, "C:\\y\\", more.get()), 1u);
    // The first block is gone: its handle is either invalid or was handed
    // out again for the second.
    EXPECT_TRUE(GlobalHandle(list.block) == first || GlobalFlags(first) == GMEM_INVALID_HANDLE);
    FolderListFree(&list);
}
