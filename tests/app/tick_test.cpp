// The 100 ms tick driven by hand: the slideshow through the album and a
// folder list, the bounce and the spin.
#include <gtest/gtest.h>

#include <functional>

#include <cmath>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/tick.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "image/folder_list.h"
#include "tests/app/viewer_fixture.h"

class TickTest : public ViewerWindowTest {
protected:
    void SetUp() override {
        ViewerWindowTest::SetUp();
        // The test gives the ticks itself.
        KillTimer(window_, 1);
        Pump();
    }
    void AddPages(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            WriteBmp(dir_.File(name), 10, 10);
            Viewer().Album->AddPage(dir_.File(name).c_str());
        }
    }
    void Tick() {
        PostMessageA(window_, WM_COMMAND, kCommandTick, 0);
        Pump();
    }
};

TEST_F(TickTest, SlideshowWrapsFromTheLastPageToTheFirst) {
    ViewerState& v = Viewer();
    AddPages({"p0.bmp", "p1.bmp", "p2.bmp", "p3.bmp", "p4.bmp"});
    v.Settings.AutoSwitch = 1;
    v.Settings.SwitchTicks = 2;
    v.CurrentZubIndex = 4;
    SetDisplayMode(window_, kZubDisplay);
    Tick();
    Tick();
    EXPECT_EQ(v.CurrentZubIndex, 4u);
    Tick();
    EXPECT_EQ(v.CurrentZubIndex, 0u);
    EXPECT_EQ(v.CurrentPath, dir_.File("p0.bmp"));
}

TEST_F(TickTest, SlideshowThroughAFolderListSwitchesOnTheEleventhTick) {
    ViewerState& v = Viewer();
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) WriteBmp(dir_.File(name), 20, 20);
    FolderListFromListBox(&v.FolderList, dir_.Path().c_str(), NameListBox({"a.bmp", "b.bmp", "c.bmp"}).get());
    Show(dir_.File("a.bmp"));
    v.Settings.AutoSwitch = 1;
    v.Settings.SwitchTicks = 10;
    std::vector<std::string> shown;
    for (int tick = 1; tick <= 33; ++tick) {
        Tick();
        if (tick % 11 == 0) shown.push_back(v.CurrentPath);
        if (tick == 10) {
            EXPECT_EQ(v.CurrentPath, dir_.File("a.bmp"));
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{dir_.File("b.bmp"), dir_.File("c.bmp"), dir_.File("a.bmp")}));
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
    const struct {
        const char* name;
        std::function<void()> end;
    } endings[] = {{"release", [&] { SendMessageA(window_, WM_LBUTTONUP, 0, 0); }},
                   {"capture taken", [&] { SetCapture(other), ReleaseCapture(); }},
                   {"cancel mode", [&] { SendMessageA(window_, WM_CANCELMODE, 0, 0); }},
                   {"move with the button up", [&] { SendMessageA(window_, WM_MOUSEMOVE, 0, 0); }}};
    for (const auto& ending : endings) {
        const unsigned before = v.CurrentZubIndex;
        SendMessageA(window_, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageA(window_, WM_MOUSEMOVE, MK_LBUTTON, 0);  // still held: still a drag
        Tick();
        Tick();
        EXPECT_EQ(v.CurrentZubIndex, before) << ending.name;
        ending.end();
        EXPECT_EQ(v.LeftDragging, 0) << ending.name;
        EXPECT_EQ(GetCapture(), nullptr) << ending.name;
        Tick();
        EXPECT_NE(v.CurrentZubIndex, before) << ending.name;
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
        for (int i = 0; i < step.ticks; ++i) Tick();
        EXPECT_EQ(v.Settings.MoveStepX, step.step);
        EXPECT_EQ(v.ScrollX, step.scroll);
        EXPECT_EQ(v.ScrollY, 0);
    }
    // A direction without overflow keeps its step.
    int still = 5;
    EXPECT_EQ(BounceStep(still, false, 0, 300, 500), 5);
    EXPECT_EQ(still, 5);
}

TEST_F(TickTest, SpinDrawsThePictureMirroredForHalfATurn) {
    ViewerState& v = Viewer();
    SetClientSize(400, 200);
    // Left half red, right half blue.
    WriteBmp(dir_.File("halves.bmp"), 400, 200, 24, false, [](int x, int) {
        return x < 200 ? Rgb{220, 0, 0} : Rgb{0, 0, 220};
    });
    Show(dir_.File("halves.bmp"));
    v.Settings.Animate = 1;
    v.AnimPhase = 39;
    Tick();  // phase 40: sin(4.0) is about -0.757
    const int width = static_cast<int>(std::sin(4.0) * 400);
    ASSERT_LT(width, 0);
    const int left = (400 - width) / 2 + width;  // left edge of the mirrored drawing
    ClientPixels pixels(window_);
    // Mirrored: blue now on the left, red on the right; black bands beside.
    EXPECT_TRUE(pixels.IsBlack(left - 3, 100));
    const Rgb leftSide = pixels.At(left + 10, 100);
    const Rgb rightSide = pixels.At(left - width - 10, 100);
    EXPECT_GT(leftSide.b, 150);
    EXPECT_LT(leftSide.r, 60);
    EXPECT_GT(rightSide.r, 150);
    EXPECT_LT(rightSide.b, 60);
    EXPECT_TRUE(pixels.IsBlack(399, 100));
}
