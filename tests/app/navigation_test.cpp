// Stepping through album pages and folder lists with keys, double clicks
// and the 100 ms tick (driven by hand), the folder list itself, and the
// tick's bounce and spin.
#include <functional>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/shell_paths.h"
#include "app/tick.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "image/folder_list.h"
#include "tests/app/viewer_fixture.h"

namespace {
// A key, or (key 0) a double click at x.
struct Gesture {
    WPARAM key;
    int x;
};

class NavigationTest : public ViewerWindowTest {
protected:
    void Do(Gesture g) {
        if (g.key) SendMessageA(window_, WM_KEYDOWN, g.key, 0);
        if (!g.key) SendMessageA(window_, WM_LBUTTONDBLCLK, 0, MAKELPARAM(g.x, 10));
        Pump();
    }
};

class TickTest : public NavigationTest {
protected:
    void SetUp() override {
        ViewerWindowTest::SetUp();
        // The test gives the ticks itself.
        KillTimer(window_, 1);
        Pump();
    }
    void Tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            PostMessageA(window_, WM_COMMAND, kCommandTick, 0);
            Pump();
        }
    }
};
}  // namespace

// Each step runs on the page the previous one left. At either end a key
// does nothing: no reload (which would restart the slideshow's count) and
// the picture stays; the slideshow alone wraps from the last page to the
// first.
TEST_F(TickTest, KeysAndDoubleClicksStepThroughPagesWithoutWrappingTheSlideshowWraps) {
    ViewerState& v = Viewer();
    for (int i = 0; i < 3; ++i) {
        const std::string name = dir_.File("p" + std::to_string(i) + ".bmp");
        WriteBmp(name, 16 + i, 16);
        v.Album->AddPage(name.c_str());
    }
    SetClientSize(640, 300);
    SetDisplayMode(window_, kZubDisplay);
    const std::pair<Gesture, unsigned> steps[] = {
        {{VK_LEFT, 0}, 0},    {{VK_RIGHT, 0}, 1}, {{VK_NUMPAD6, 0}, 2}, {{VK_RIGHT, 0}, 2},
        {{VK_NUMPAD4, 0}, 1}, {{VK_UP, 0}, 1},    {{0, 321}, 2},        {{0, 320}, 1},  // 320 is half of 640
    };
    for (const auto& [gesture, index] : steps) {
        SCOPED_TRACE(static_cast<int>(gesture.key) + gesture.x);
        const unsigned before = v.CurrentZubIndex;
        HBITMAP shown = v.ShownBitmap;
        v.SwitchCounter = 5;
        Do(gesture);
        EXPECT_EQ(v.CurrentZubIndex, index);
        EXPECT_EQ(v.PictureSize.cx, 16 + static_cast<int>(index));
        if (index == before) {
            EXPECT_EQ(v.SwitchCounter, 5);
            EXPECT_EQ(v.ShownBitmap, shown);
        }
    }
    Do({VK_RIGHT, 0});
    v.Settings.AutoSwitch = 1;
    v.Settings.SwitchTicks = 2;
    v.SwitchCounter = 0;
    Tick(2);
    EXPECT_EQ(v.CurrentZubIndex, 2u);
    Tick();
    EXPECT_EQ(v.CurrentZubIndex, 0u);
    EXPECT_EQ(v.CurrentPath, dir_.File("p0.bmp"));
    v.Settings.AutoSwitch = 0;
    // Pages removed under the index: the next step clamps to what is left.
    v.Album->RemovePage(2);
    v.Album->RemovePage(1);
    v.CurrentZubIndex = 1;
    Do({VK_RIGHT, 0});
    EXPECT_EQ(v.CurrentZubIndex, 0u);
    EXPECT_EQ(v.CurrentPath, dir_.File("p0.bmp"));
}

// The slideshow through the folder list switches on the eleventh tick and
// wraps at its end.
TEST_F(TickTest, NormalDisplayStepsThroughTheFolderListIfThereIsOneAndSoDoesTheSlideshow) {
    ViewerState& v = Viewer();
    for (const char* name : {"x.bmp", "y.bmp", "z.bmp"}) WriteBmp(dir_.File(name), 20, 20);
    Show(dir_.File("x.bmp"));
    Do({VK_RIGHT, 0});  // no list: the picture stays
    EXPECT_NE(v.ShownBitmap, nullptr);
    EXPECT_EQ(v.CurrentPath, dir_.File("x.bmp"));
    NameListBox names({"x.bmp", "y.bmp", "z.bmp"});
    ASSERT_EQ(FolderListFromListBox(&v.FolderList, dir_.Path().c_str(), names.get()), 3u);
    const std::pair<Gesture, unsigned> steps[] = {
        {{VK_RIGHT, 0}, 1}, {{VK_RIGHT, 0}, 2}, {{VK_RIGHT, 0}, 2}, {{0, 0}, 1}};
    for (const auto& [gesture, index] : steps) {
        Do(gesture);
        EXPECT_EQ(v.FolderIndex, index);
        EXPECT_EQ(v.CurrentPath, dir_.File(std::string(1, static_cast<char>('x' + index)) + ".bmp"));
        EXPECT_EQ(v.CurrentFolder, dir_.Path());
    }
    v.Settings.AutoSwitch = 1;
    v.Settings.SwitchTicks = 10;
    v.SwitchCounter = 0;
    Texts shown;
    for (int tick = 1; tick <= 33; ++tick) {
        Tick();
        if (tick % 11 == 0 || tick == 10) shown.push_back(v.CurrentPath);
    }
    EXPECT_EQ(shown, (Texts{dir_.File("y.bmp"), dir_.File("z.bmp"), dir_.File("x.bmp"), dir_.File("y.bmp")}));
}

// The folder is cut after the last separator and given one; a text of 259
// bytes without a separator would need 261 and leaves the folder alone.
TEST(CutToFolder, CutsAtTheLastSeparatorWithinTheBuffer) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\a\\b.bmp", "C:\\a\\"},
        {"b.bmp", "b.bmp\\"},
        {"C:\\x\\" + std::string(251, 'n'), "C:\\x\\"},
        {std::string(258, 'n'), std::string(258, 'n') + "\\"},
        {std::string(259, 'n'), "kept\\"}};
    for (const auto& [path, expected] : cases) {
        char folder[MAX_PATH + 1] = "kept\\";
        folder[MAX_PATH] = '!';
        CutToFolder(folder, path.c_str());
        EXPECT_EQ(expected, std::string(folder)) << path.size();
        EXPECT_EQ('!', folder[MAX_PATH]);
    }
}

// Building again replaces the list; freeing twice frees once.
TEST(FolderList, HoldsTheFolderAndNames) {
    FolderList list;
    const std::pair<const char*, std::vector<const char*>> cases[] = {
        {"C:\\pics\\", {"a.jpg", "bb.png", "表紙.bmp"}}, {"C:\\x\\", {}}, {"C:\\y\\", {"a.bmp"}}};
    for (const auto& [folder, names] : cases) {
        SCOPED_TRACE(folder);
        NameListBox box({names.begin(), names.end()});
        ASSERT_EQ(FolderListFromListBox(&list, folder, box.get()), names.size());
        EXPECT_STREQ(list.folder, folder);
        for (size_t i = 0; i < names.size(); ++i) EXPECT_STREQ(list.names[i], names[i]);
    }
    EXPECT_EQ(FolderListFree(&list), 1);
    EXPECT_EQ(list.block, nullptr);
    EXPECT_EQ(FolderListFree(&list), 0);
}

// A left drag pauses the slideshow however it then ends: the button
// released, the capture lost to a menu (right button during the drag), the
// mode cancelled, or the button found up on the next move.
TEST_F(TickTest, SlideshowPausesForALeftDragAndResumesHoweverItEnds) {
    ViewerState& v = Viewer();
    AddPages({"a.bmp", "b.bmp"});
    SetDisplayMode(window_, kZubDisplay);
    v.Settings.AutoSwitch = 1;
    v.Settings.SwitchTicks = 1;
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const std::pair<const char*, std::function<void()>> endings[] = {
        {"release", [&] { SendMessageA(window_, WM_LBUTTONUP, 0, 0); }},
        {"capture taken", [&] { SetCapture(other), ReleaseCapture(); }},
        {"cancel mode", [&] { SendMessageA(window_, WM_CANCELMODE, 0, 0); }},
        {"move with the button up", [&] { SendMessageA(window_, WM_MOUSEMOVE, 0, 0); }}};
    for (const auto& [name, end] : endings) {
        SCOPED_TRACE(name);
        const unsigned before = v.CurrentZubIndex;
        SendMessageA(window_, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageA(window_, WM_MOUSEMOVE, MK_LBUTTON, 0);  // still held: still a drag
        Tick(2);
        EXPECT_EQ(v.CurrentZubIndex, before);
        end();
        EXPECT_EQ(v.LeftDragging, 0);
        EXPECT_EQ(GetCapture(), nullptr);
        Tick();
        EXPECT_NE(v.CurrentZubIndex, before);
    }
    DestroyWindow(other);
}

// The view bounces between the edges of a picture 100 pixels wider than
// the client: the first tick turns the step at the left edge, so the view
// starts to move on the second.
TEST_F(TickTest, BounceTurnsAtTheEdgesOfAWidePicture) {
    ViewerState& v = Viewer();
    SetClientSize(400, 300);
    WriteBmp(dir_.File("wide.bmp"), 500, 200);
    Command(kCommandFitOrTrueSize);
    Show(dir_.File("wide.bmp"));
    ASSERT_EQ(v.OverflowX, 1);
    v.Settings.Animate = 1;
    const struct { int ticks, step, scroll; } steps[] = {{1, -5, 0}, {1, 5, 5}, {19, 5, 100}, {1, -5, 95}};
    for (const auto& step : steps) {
        Tick(step.ticks);
        EXPECT_EQ((std::vector<int>{v.Settings.MoveStepX, v.ScrollX, v.ScrollY}),
                  (std::vector<int>{step.step, step.scroll, 0}));
    }
    // A direction without overflow keeps its step.
    int still = 5;
    EXPECT_EQ(BounceStep(still, false, 0, 300, 500), 5);
    EXPECT_EQ(still, 5);
}

TEST_F(TickTest, SpinDrawsThePictureMirroredForHalfATurn) {
    ViewerState& v = Viewer();
    SetClientSize(400, 200);
    WriteBmp(dir_.File("halves.bmp"), 400, 200, 24, false, [](int x, int) {
        return x < 200 ? Rgb{220, 0, 0} : Rgb{0, 0, 220};
    });
    Show(dir_.File("halves.bmp"));
    v.Settings.Animate = 1;
    v.AnimPhase = 39;
    Tick();  // phase 40: sin(4.0) x 400 = -302.7, cut to -302, centred: columns 49 to 350
    ClientPixels pixels(window_);
    // Mirrored: blue now on the left, red on the right; black bands beside.
    EXPECT_TRUE(pixels.IsBlack(46, 100));
    const Rgb leftSide = pixels.At(59, 100), rightSide = pixels.At(341, 100);
    EXPECT_TRUE(leftSide.b > 150 && leftSide.r < 60) << int(leftSide.r) << " " << int(leftSide.b);
    EXPECT_TRUE(rightSide.r > 150 && rightSide.b < 60) << int(rightSide.r) << " " << int(rightSide.b);
    EXPECT_TRUE(pixels.IsBlack(399, 100));
}
