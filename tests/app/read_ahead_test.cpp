// The neighbours read ahead: every step through an album shows exactly
// what a fresh load of the same page shows (pixels, title, picture size,
// the information box's facts), whether the page was read ahead, failed,
// or was replaced on disk after it was read.
#include <tuple>

#include "album/zub_album.h"
#include "app/picture_display.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "image/picture_read_ahead.h"
#include "tests/app/viewer_fixture.h"
#include "tests/support/jpeg_test_files.h"

namespace {
struct Shown {
    std::vector<Rgb> samples;
    std::string title;
    LONG width, height;
    DWORD kib;
    int depth;
    bool operator==(const Shown& o) const {
        return samples == o.samples && title == o.title && width == o.width && height == o.height &&
               kib == o.kib && depth == o.depth;
    }
};

Shown Capture(HWND window) {
    const ViewerState& v = Viewer();
    const ClientPixels pixels(window);
    Shown shown{
        {}, WindowText(window), v.PictureSize.cx, v.PictureSize.cy, v.PictureFileKiB, v.PictureColorDepth};
    for (int y = 5; y < pixels.Height(); y += 23)
        for (int x = 3; x < pixels.Width(); x += 19) shown.samples.push_back(pixels.At(x, y));
    return shown;
}
}  // namespace

TEST_F(ViewerWindowTest, AStepToAPictureReadAheadShowsWhatAFreshLoadShows) {
    SetClientSize(240, 180);
    const auto pattern = [](int k) {
        return [k](int x, int y) { return Rgb{uint8_t(x * k), uint8_t(y), 99}; };
    };
    const Bytes broken = MakeJpeg(300, 200, pattern(1));
    const std::pair<const char*, Bytes> pages[] = {
        {"p0.jpg", MakeJpeg(320, 200, pattern(2))},
        {"p1.jpg", MakeJpeg(200, 320, pattern(3))},
        {"p2.jpg", Bytes(broken.begin(), broken.begin() + 300)},
        {"p3.jpg", MakeJpeg(100, 90, pattern(5), {JpegKind::Grey})},
        {"p4.jpg", MakeJpeg(100, 90, pattern(6))}};  // p3's size: scaled ahead as well
    ViewerState& v = Viewer();
    for (const auto& [name, bytes] : pages) {
        WriteFileBytes(dir_.File(name), bytes);
        v.Album->AddPage(dir_.File(name).c_str());
    }
    v.Album->SetPageOrientation(1, 1);
    Command(kCommandZubDisplay);
    // Key, whether p1 is replaced on disk before it, whether the cache serves it.
    const struct {
        WPARAM key;
        bool replace;
        int hit;
    } steps[] = {{VK_RIGHT, false, 1},
                 {VK_RIGHT, false, 0},
                 {VK_RIGHT, false, 1},
                 {VK_RIGHT, false, 1},
                 {VK_LEFT, false, 1},
                 {VK_LEFT, false, 0},
                 {VK_LEFT, true, 0}};
    for (const auto& step : steps) {
        for (int wait = 0; wait < 200 && (!v.ReadAhead || v.ReadAhead->Pending() > 0); ++wait) Pump();
        ASSERT_TRUE(v.ReadAhead);
        if (step.replace) WriteFileBytes(dir_.File("p1.jpg"), MakeJpeg(330, 210, pattern(7)));
        const int hits = v.ReadAhead->Hits();
        SendMessageA(window_, WM_KEYDOWN, step.key, 0);
        Repaint();
        EXPECT_EQ(v.ReadAhead->Hits() - hits, step.hit) << v.CurrentZubIndex;
        const Shown stepped = Capture(window_);
        v.ReadAhead.reset();
        ShowPicture(window_);
        Repaint();
        EXPECT_TRUE(Capture(window_) == stepped) << v.CurrentZubIndex;
    }
}

// A cap smaller than a picture: that picture is never held, a smaller one
// is, until the cap is lowered below it.
TEST(PictureReadAhead, TheCapHoldsWithPicturesLargerThanIt) {
    TempDir dir;
    WriteFileBytes(dir.File("big.jpg"), MakeJpeg(800, 600, [](int x, int y) {
                       return Rgb{uint8_t(x), uint8_t(y), 0};
                   }));
    WriteFileBytes(dir.File("small.jpg"), MakeJpeg(300, 200, [](int x, int y) {
                       return Rgb{0, uint8_t(x), uint8_t(y)};
                   }));
    PictureReadAhead ahead(1 << 20);
    ahead.Want({{dir.File("big.jpg"), 0}, {dir.File("small.jpg"), 3}});
    for (int wait = 0; wait < 500 && ahead.Pending() > 0; ++wait) Sleep(10);
    EXPECT_EQ(ahead.HeldBytes(), 200u * 3 * 300);  // the small one only, turned
    EXPECT_LE(ahead.PeakBytes(), 1u << 20);
    HBITMAP picture = nullptr;
    int depth = 0;
    EXPECT_EQ(ahead.Take({dir.File("big.jpg"), 0}, &picture, &depth), 0);
    ASSERT_EQ(ahead.Take({dir.File("small.jpg"), 3}, &picture, &depth), 1);
    BITMAP facts;
    GetObjectA(picture, sizeof facts, &facts);
    DeleteObject(picture);
    EXPECT_EQ(std::make_tuple(facts.bmWidth, facts.bmHeight, facts.bmBitsPixel, depth),
              std::make_tuple(200L, 300L, WORD(24), 24));
    // A lower cap holds at once: the picture held past it goes.
    ahead.Want({{dir.File("small.jpg"), 0, {}}});
    for (int wait = 0; wait < 500 && ahead.Pending() > 0; ++wait) Sleep(10);
    ASSERT_EQ(ahead.HeldBytes(), 200u * 3 * 300);
    ahead.SetCap(200 * 3 * 300 - 1);
    EXPECT_EQ(ahead.HeldBytes(), 0u);
}
