#include <functional>
#include <tuple>

#include "image/jpeg_decoder.h"
#include "image/picture_name.h"
#include "tests/image/dib_test_helpers.h"
#include "tests/support/jpeg_test_files.h"

namespace {

using PictureLoader = ImageTest;

enum Way { Picture, Preview, Jpeg, Pmp, PictureBitmap, PreviewBitmap };
// clang-format off
int (*const loaders[])(const char*, HLOCAL*, HLOCAL*, HBITMAP*) = {
    [](const char* file, HLOCAL* h, HLOCAL* p, HBITMAP*) { return LoadPicture(file, nullptr, 0, h, p); },
    [](const char* file, HLOCAL* h, HLOCAL* p, HBITMAP*) { return LoadPreview(file, nullptr, 0, h, p, 5); },
    [](const char* file, HLOCAL* h, HLOCAL* p, HBITMAP*) { return LoadJpeg(file, nullptr, 0, 1, 0, h, p); },
    [](const char* file, HLOCAL* h, HLOCAL* p, HBITMAP*) { return LoadPmp(file, nullptr, 0, h, p); },
    [](const char* file, HLOCAL*, HLOCAL*, HBITMAP* b) { return int(!!(*b = LoadPictureBitmap(GetDesktopWindow(), file, nullptr, 0))); },
    [](const char* file, HLOCAL*, HLOCAL*, HBITMAP* b) { return int(!!(*b = LoadPreviewBitmap(GetDesktopWindow(), file, nullptr, 0, 5))); },
};
// clang-format on

// What each entry point makes of a file: loaded or not, and the code left.
TEST_F(PictureLoader, EachEntryPointGivesItsOutcomeAndCode) {
    const Bytes bmp = MakeBmp(4, 4, 24), wide = MakeBmp(40, 10, 24), jpeg = MakeJpeg(8, 6, BlockColour);
    const Bytes cmyk = MakeJpeg(16, 16, BlockColour, JpegOptions{JpegKind::Cmyk}),
                text = {'h', 'e', 'l', 'l', 'o'};
    const Bytes full = MakeJpeg(32, 32, BlockColour),
                cut(full.begin(), full.end() - 40);  // inside the coded data
    const Bytes wrongPmp = MakePmp(jpeg, 64, 0x11), stubPmp = {0x10, 0, 0};
    const int other = kLoadNotThisFormat, closed = kLoadCannotOpen;
    // clang-format off
    // No bytes: the file does not exist; code -1: not checked; width: of the picture loaded.
    const struct { const char* name; const Bytes* bytes; Way way; int loaded, code, width; } cases[] = {
        {"noextension", &bmp, Picture, 0, kLoadNoExtension, 0},
        {"missing.bmp", nullptr, Picture, 0, closed, 0},
        {"x.dib", &bmp, Picture, 0, other, 0},  // the own reader takes "bmp" only
        {"a.bmp", &jpeg, Picture, 0, other, 0}, {"photo.jpe", &jpeg, Picture, 0, other, 0},
        {"fine.bmp", &bmp, Picture, 1, -1, 4},
        {"photo.JPG", &jpeg, Picture, 1, -1, 8},  // extensions ignore case
        {"my.pics\\image", &bmp, Picture, 0, other, 0},  // "pics\image" is the extension
        {"my.pics\\image.bmp", &bmp, Picture, 1, -1, 4}, {"表示ソ.jpg", &jpeg, Picture, 1, -1, 8},
        {"wide.bmp", &wide, Preview, 1, -1, 40},  // previews of BMP files are full size
        {"wide.bmp", &wide, PreviewBitmap, 1, -1, 0}, {"cut.jpg", &cut, Jpeg, 0, kLoadFailed, 0},
        {"cut.jpg", &cut, PreviewBitmap, 0, kLoadFailed, 0},  // not offered to the plug-ins
        {"cut.jpg", &cut, PictureBitmap, 0, other, 0}, {"text.jpg", &text, Jpeg, 0, other, 0},
        {"missing.jpg", nullptr, Jpeg, 0, closed, 0}, {"cmyk.jpg", &cmyk, Jpeg, 0, other, 0},
        {"wrong.pmp", &wrongPmp, Pmp, 0, other, 0},  // another first byte
        {"wrong.pmp", &wrongPmp, Picture, 0, other, 0}, {"stub.pmp", &stubPmp, Pmp, 0, other, 0}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << ", way " << int(c.way));
        const std::string path = c.bytes ? Write(c.name, *c.bytes) : dir_.File(c.name);
        HLOCAL h = nullptr, p = nullptr;
        HBITMAP bitmap = nullptr;
        const int loaded = loaders[c.way](path.c_str(), &h, &p, &bitmap);
        EXPECT_EQ(loaded, c.loaded);
        EXPECT_EQ(c.code < 0 ? -1 : LastLoadError, c.code);
        DeletePictureBitmap(nullptr, bitmap);
        if (loaded && !bitmap) {
            EXPECT_EQ(LockedDib(h, p).header->biWidth, c.width);
        }
    }
}

// A shown picture is upright whatever its row order, carries its size and
// leaves its header for the information box; every pixel is checked.
TEST_F(PictureLoader, BitmapsShowThePictureUprightAndCarryItsSize) {
    // clang-format off
    struct Case { const char* name; Bytes bytes; int width, storedHeight /* < 0: top-down */, bits, tolerance;
                  std::function<Rgb(int, int)> expected; };
    const Case cases[] = {
        {"td.bmp", MakeBmp(4, 3, 24, true), 4, -3, 24, 0, DistinctPixel},
        {"four.bmp", MakeBmp(9, 4, 4, true), 9, -4, 4, 0, [](int x, int y) { return BmpPixel(x, y, 9, 4); }},
        {"up.bmp", MakeBmp(5, 3, 8, false), 5, 3, 8, 0, [](int x, int y) { return BmpPixel(x, y, 5, 8); }},
        {"shown.jpg", MakeJpeg(40, 24, BlockColour), 40, -24, 24, 6, BlockColour}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HBITMAP bitmap = LoadPictureBitmap(GetDesktopWindow(), Write(c.name, c.bytes).c_str(), nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        SIZE size{};
        GetBitmapDimensionEx(bitmap, &size);
        BITMAP facts{};
        GetObjectA(bitmap, sizeof facts, &facts);
        const int height = std::abs(c.storedHeight);
        EXPECT_EQ(std::make_pair(size.cx, size.cy), std::make_pair(LONG(c.width), LONG(height)));
        EXPECT_EQ(std::make_pair(facts.bmWidth, facts.bmHeight), std::make_pair(LONG(c.width), LONG(height)));
        EXPECT_EQ(LastBitmapHeader().biBitCount, c.bits);
        EXPECT_EQ(LastBitmapHeader().biHeight, c.storedHeight);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const COLORREF got = GetPixel(dc, x, y);
                EXPECT_TRUE(
                    Near(Rgb{GetRValue(got), GetGValue(got), GetBValue(got)}, c.expected(x, y), c.tolerance))
                    << x << "," << y;
            }
        SelectObject(dc, old);
        DeleteDC(dc);
        EXPECT_EQ(DeletePictureBitmap(nullptr, bitmap), 1);
    }
    EXPECT_EQ(DeletePictureBitmap(nullptr, nullptr), 1);
}

TEST_F(PictureLoader, MakePictureBitmapRefusesBlocksSmallerThanTheirHeaderAndFreesThem) {
    // A plug-in may hand over anything: the graphics layer must never read past the blocks.
    const BITMAPINFOHEADER fields{sizeof fields, 100, 100, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    HLOCAL header = AllocDibBlock(sizeof fields), pixels = AllocDibBlock(16);
    *static_cast<BITMAPINFOHEADER*>(LocalLock(header)) = fields;
    LocalUnlock(header);
    EXPECT_EQ(MakePictureBitmap(GetDesktopWindow(), header, pixels),
              nullptr);  // the fixture counts the blocks
}

TEST_F(PictureLoader, PictureInfoWithoutDecoding) {
    // clang-format off
    const struct { const char* name; Bytes bytes; int width, height, depth, density; } cases[] = {
        {"info.bmp", MakeBmp(7, 5, 8, true), 7, -5, 8, 2835},
        {"info.jpg", MakeJpeg(33, 21, BlockColour), 33, 21, 24, -1},  // density not checked
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PictureInfo info{};
        info.textHandle = reinterpret_cast<HLOCAL>(1);  // cleared by the read
        ASSERT_EQ(ReadPictureInfo(Write(c.name, c.bytes).c_str(), &info), 1);
        EXPECT_EQ(std::make_tuple(info.width, info.height, info.colorDepth),
                  std::make_tuple(c.width, c.height, c.depth));
        EXPECT_EQ(c.density < 0 ? -1 : info.xDensity, c.density);
        EXPECT_EQ(info.textHandle, nullptr);
    }
    PictureInfo info{};
    EXPECT_EQ(ReadPictureInfo(dir_.File("nothing.jpg").c_str(), &info), 0);
    info.textHandle = LocalAlloc(LMEM_MOVEABLE, 16);
    EXPECT_EQ(FreePictureInfo(&info), 1);
    EXPECT_EQ(info.textHandle, nullptr);
}

TEST_F(PictureLoader, NamesAndExtensions) {
    for (const char* path : {"a.JPG", "a.jpeg", "C:\\x\\a.pmp", "a.bmp"})
        EXPECT_EQ(IsPictureName(path), 1) << path;
    for (const char* path : {"a.png", "noext", "C:\\my.pics\\image"})
        EXPECT_EQ(IsPictureName(path), 0) << path;
    // Own formats are judged by name once the file exists.
    EXPECT_EQ(IsPictureFile(Write("fake.jpg", {1, 2, 3}).c_str()), 1);
    EXPECT_EQ(IsPictureFile(dir_.File("gone.jpg").c_str()), 0);
    EXPECT_EQ(IsPictureFile(Write("notes.txt", {1, 2, 3}).c_str()), 0);
}

}  // namespace
