// The kept fitted picture: what the window shows in fit display is the
// area-averaging resampler's own output for the drawn rectangle, after a
// drag of the frame, a new picture and a trip through true size.
#include "app/display_layout.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "image/picture_loader.h"
#include "image/transforms.h"
#include "tests/app/viewer_fixture.h"

namespace {
Rgb Stripes(int x, int y) {
    return Rgb{uint8_t(x * 7), uint8_t((y / 3) * 40), uint8_t((x + y) % 2 ? 250 : 10)};
}

// Pixels of the drawn rectangle that differ from StretchDib of the file.
int StrayPixels(HWND window, const std::string& path) {
    HLOCAL h = nullptr, p = nullptr;
    if (!LoadPicture(path.c_str(), nullptr, 0, &h, &p)) return -1;
    LockedDib dib(h, p);
    const ViewerState& v = Viewer();
    const DrawRect r = FitDrawRect(SIZE{dib.header->biWidth, DibRows(*dib.header)}, v.ClientSize, false, 0);
    if (!StretchDib(nullptr, dib.header, dib.pixels, r.width, r.height)) return -1;
    const ClientPixels shown(window);
    int stray = 0;
    for (int y = std::max(r.y, 0); y < std::min(r.y + r.height, shown.Height()); ++y)
        for (int x = std::max(r.x, 0); x < std::min(r.x + r.width, shown.Width()); ++x) {
            const BYTE* q = dib.pixels + DibStride(24, r.width) * (r.height - 1 - (y - r.y)) + (x - r.x) * 3;
            stray += !(shown.At(x, y) == Rgb{q[2], q[1], q[0]});
        }
    return stray;
}
}  // namespace

TEST_F(ViewerWindowTest, FittedPictureIsTheResamplersOutputAfterEveryChange) {
    WriteBmp(dir_.File("a.bmp"), 301, 199, 24, false, Stripes);
    WriteBmp(dir_.File("b.bmp"), 97, 260, 24, false, Stripes);
    enum Change { kShow, kDrag, kTrueSizeAndBack };
    const struct {
        Change change;
        const char* picture;
        SIZE client;
    } rows[] = {{kShow, "a.bmp", {160, 120}},
                {kDrag, "a.bmp", {230, 90}},
                {kShow, "b.bmp", {230, 90}},
                {kDrag, "b.bmp", {120, 300}},
                {kTrueSizeAndBack, "b.bmp", {120, 300}}};
    for (const auto& row : rows) {
        if (row.change == kDrag) SendMessageA(window_, WM_ENTERSIZEMOVE, 0, 0);
        SetClientSize(row.client.cx, row.client.cy);
        if (row.change == kDrag) SendMessageA(window_, WM_EXITSIZEMOVE, 0, 0);
        if (row.change == kShow) Show(dir_.File(row.picture));
        if (row.change == kTrueSizeAndBack) {
            Command(kCommandFitOrTrueSize);
            Repaint();
            const POINT origin = TrueSizeOrigin(SIZE{97, 260}, row.client);
            EXPECT_EQ(ClientPixels(window_).At(origin.x, origin.y), Stripes(0, 0));
            Command(kCommandFitOrTrueSize);
        }
        Repaint();
        EXPECT_EQ(StrayPixels(window_, dir_.File(row.picture)), 0) << row.picture << " " << row.client.cx;
        EXPECT_EQ(Viewer().FittedBitmap != nullptr, true);
    }
}
