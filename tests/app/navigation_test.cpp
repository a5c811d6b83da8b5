// Stepping through album pages and folder lists with keys and double
// clicks, and the folder list itself.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/shell_paths.h"
#include "app/viewer_state.h"
#include "image/folder_list.h"
#include "tests/app/viewer_fixture.h"

namespace {
// A gesture: a key, or (key 0) a double click at x.
struct Gesture {
    WPARAM key;
    int x;
};
}  // namespace

class NavigationTest : public ViewerWindowTest {
protected:
    void Do(Gesture g) {
        if (g.key)
            SendMessageA(window_, WM_KEYDOWN, g.key, 0);
        else
            SendMessageA(window_, WM_LBUTTONDBLCLK, 0, MAKELPARAM(g.x, 10));
        Pump();
    }
};

// Each step runs on the page the previous one left. At either end a key
// does nothing: no reload (which would restart the slideshow's count) and
// the picture stays.
TEST_F(NavigationTest, KeysAndDoubleClicksStepThroughPagesWithoutWrapping) {
    ViewerState& v = Viewer();
    for (int i = 0; i < 3; ++i) {
        const std::string name = dir_.File("p" + std::to_string(i) + ".bmp");
        WriteBmp(name, 16 + i, 16);
        v.Album->AddPage(name.c_str());
    }
    SetClientSize(640, 300);
    SetDisplayMode(window_, kZubDisplay);
    const struct {
        Gesture gesture;
        unsigned index;
    } steps[] = {
        {{VK_LEFT, 0}, 0},    {{VK_RIGHT, 0}, 1}, {{VK_NUMPAD6, 0}, 2}, {{VK_RIGHT, 0}, 2},
        {{VK_NUMPAD4, 0}, 1}, {{VK_UP, 0}, 1},    {{0, 321}, 2},        {{0, 320}, 1},  // 320 is half of 640
    };
    for (const auto& step : steps) {
        const unsigned before = v.CurrentZubIndex;
        HBITMAP shown = v.ShownBitmap;
        v.SwitchCounter = 5;
        Do(step.gesture);
        SCOPED_TRACE(static_cast<int>(step.gesture.key) + step.gesture.x);
        EXPECT_EQ(v.CurrentZubIndex, step.index);
        EXPECT_EQ(v.PictureSize.cx, 16 + static_cast<int>(step.index));
        if (step.index == before) {
            EXPECT_EQ(v.SwitchCounter, 5);
            EXPECT_EQ(v.ShownBitmap, shown);
        }
    }
    // Pages removed under the index: the next step clamps to what is left.
    v.Album->RemovePage(2);
    v.Album->RemovePage(1);
    Do({VK_RIGHT, 0});
    EXPECT_EQ(v.CurrentZubIndex, 0u);
    EXPECT_EQ(v.CurrentPath, dir_.File("p0.bmp"));
}

TEST_F(NavigationTest, NormalDisplayStepsThroughTheFolderListIfThereIsOne) {
    ViewerState& v = Viewer();
    for (const char* name : {"x.bmp", "y.bmp", "z.bmp"}) WriteBmp(dir_.File(name), 20, 20);
    Show(dir_.File("x.bmp"));
    Do({VK_RIGHT, 0});  // no list: the picture stays
    EXPECT_NE(v.ShownBitmap, nullptr);
    EXPECT_EQ(v.CurrentPath, dir_.File("x.bmp"));
    NameListBox names({"x.bmp", "y.bmp", "z.bmp"});
    ASSERT_EQ(FolderListFromListBox(&v.FolderList, dir_.Path().c_str(), names.get()), 3u);
    const struct {
        Gesture gesture;
        unsigned index;
    } steps[] = {{{VK_RIGHT, 0}, 1}, {{VK_RIGHT, 0}, 2}, {{VK_RIGHT, 0}, 2}, {{0, 0}, 1}};
    for (const auto& step : steps) {
        Do(step.gesture);
        EXPECT_EQ(v.FolderIndex, step.index);
        EXPECT_EQ(v.CurrentPath, dir_.File(std::string(1, static_cast<char>('x' + step.index)) + ".bmp"));
        EXPECT_EQ(v.CurrentFolder, dir_.Path());
    }
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

// Folder, names, then the pointer array, in one block with a spare byte;
// building again releases the first block before taking a new one.
TEST(FolderList, HoldsTheFolderAndNamesInOneBlock) {
    FolderList list;
    const struct {
        const char* folder;
        std::vector<const char*> names;
    } cases[] = {{"C:\\pics\\", {"a.jpg", "bb.png", "表紙.bmp"}}, {"C:\\x\\", {}}, {"C:\\y\\", {"a.bmp"}}};
    HGLOBAL previous = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        NameListBox box({c.names.begin(), c.names.end()});
        size_t bytes = std::strlen(c.folder) + 1;
        for (const char* name : c.names) bytes += std::strlen(name) + 1;
        ASSERT_EQ(FolderListFromListBox(&list, c.folder, box.get()), c.names.size());
        const char* base = static_cast<const char*>(list.block);
        EXPECT_STREQ(list.folder, c.folder);
        EXPECT_EQ(static_cast<void*>(list.folder), list.block);
        for (size_t i = 0; i < c.names.size(); ++i) EXPECT_STREQ(list.names[i], c.names[i]);
        if (!c.names.empty()) {
            EXPECT_EQ(list.names[0], base + std::strlen(c.folder) + 1);
            EXPECT_EQ(reinterpret_cast<const char*>(list.names), base + bytes);
        }
        const size_t pointers = c.names.empty() ? 0 : c.names.size() * sizeof(char*);
        EXPECT_EQ(GlobalSize(GlobalHandle(list.block)), bytes + pointers + 1);
        // The first block is gone: its handle is invalid or was handed out again.
        EXPECT_TRUE(!previous || GlobalHandle(list.block) == previous ||
                    GlobalFlags(previous) == GMEM_INVALID_HANDLE);
        previous = GlobalHandle(list.block);
    }
    EXPECT_EQ(FolderListFree(&list), 1);
    EXPECT_EQ(list.block, nullptr);
    EXPECT_EQ(FolderListFree(&list), 0);
}
