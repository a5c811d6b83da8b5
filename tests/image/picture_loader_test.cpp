#include <gtest/gtest.h>

#include "image/picture_loader.h"
#include "browse/file_utils.h"
#include "image/picture_name.h"
#include "tests/image/dib_test_helpers.h"
#include "tests/support/jpeg_test_files.h"

namespace {

Rgb Grey(int, int) {
    return Rgb{128, 128, 128};
}

class PictureLoader : public ::testing::Test {
protected:
    int Load(const std::string& path) {
        HLOCAL h = nullptr, p = nullptr;
        const int loaded = LoadPicture(path.c_str(), nullptr, 0, &h, &p);
        if (loaded) LockedDib(h, p).Reset();
        return loaded;
    }
    TempDir dir_;
};

TEST_F(PictureLoader, DispatchCodes) {
    ASSERT_TRUE(WriteBmp(dir_.File("noextension"), 4, 4));
    EXPECT_EQ(Load(dir_.File("noextension")), 0);
    EXPECT_EQ(LastLoadError, kLoadNoExtension);

    EXPECT_EQ(Load(dir_.File("missing.bmp")), 0);
    EXPECT_EQ(LastLoadError, kLoadCannotOpen);

    // The own reader is tried for "bmp" only; other names go to the plug-ins.
    ASSERT_TRUE(WriteBmp(dir_.File("x.dib"), 4, 4));
    EXPECT_EQ(Load(dir_.File("x.dib")), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);

    ASSERT_TRUE(WriteFileBytes(dir_.File("a.bmp"), MakeJpeg(8, 8, Grey)));
    EXPECT_EQ(Load(dir_.File("a.bmp")), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);

    ASSERT_TRUE(WriteFileBytes(dir_.File("photo.jpe"), MakeJpeg(8, 8, Grey)));
    EXPECT_EQ(Load(dir_.File("photo.jpe")), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);

    ASSERT_TRUE(WriteBmp(dir_.File("fine.bmp"), 4, 4));
    EXPECT_EQ(Load(dir_.File("fine.bmp")), 1);
}

TEST_F(PictureLoader, PreviewsOfBmpFilesAreFullSize) {
    ASSERT_TRUE(WriteBmp(dir_.File("wide.bmp"), 40, 10));
    HLOCAL h, p;
    ASSERT_EQ(LoadPreview(dir_.File("wide.bmp").c_str(), nullptr, 0, &h, &p, 5), 1);
    LockedDib dib(h, p);
    EXPECT_EQ(dib.header->biWidth, 40);
    HBITMAP bitmap = LoadPreviewBitmap(GetDesktopWindow(), dir_.File("wide.bmp").c_str(), nullptr, 0, 5);
    ASSERT_NE(bitmap, nullptr);
    DeletePictureBitmap(nullptr, bitmap);
}

TEST_F(PictureLoader, ExtensionsIgnoreCase) {
    ASSERT_TRUE(WriteFileBytes(dir_.File("photo.JPG"), MakeJpeg(8, 6, Grey)));
    LockedDib dib = LoadDib(dir_.File("photo.JPG"));
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.header->biHeight, -6);  // decoded by the JPEG reader
    ASSERT_TRUE(WriteFileBytes(dir_.File("photo.JpEg"), MakeJpeg(8, 6, Grey)));
    EXPECT_EQ(Load(dir_.File("photo.JpEg")), 1);
    ASSERT_TRUE(WriteBmp(dir_.File("old.BMP"), 3, 3));
    EXPECT_EQ(Load(dir_.File("old.BMP")), 1);
}

TEST_F(PictureLoader, ADotInAFolderNameMakesTheLoadersExtension) {
    const std::string folder = dir_.File("my.pics");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteBmp(folder + "\\image", 4, 4));
    // The loaders read "pics\image" as the extension: no reader takes it.
    EXPECT_EQ(Load(folder + "\\image"), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_STREQ(LoaderExtensionOf("C:\\my.pics\\image"), "pics\\image");
    EXPECT_STREQ(ExtensionOf("C:\\my.pics\\image"), "");
    EXPECT_EQ(IsPictureName("C:\\my.pics\\image"), 0);
    ASSERT_TRUE(WriteBmp(folder + "\\image.bmp", 4, 4));
    EXPECT_EQ(Load(folder + "\\image.bmp"), 1);
}

TEST_F(PictureLoader, ExtensionScansSkipSecondBytesOfDoubleByteCharacters) {
    // "表" is 0x95 0x5C in Shift-JIS: its second byte is no separator.
    EXPECT_STREQ(ExtensionOf("C:\\a.jpg\x95\x5C"), "jpg\x95\x5C");
    EXPECT_STREQ(ExtensionOf("C:\\x.y\\a.jpg"), "jpg");
    EXPECT_EQ(LoaderExtensionOf("C:\\folder\\name"), nullptr);
}

TEST_F(PictureLoader, JapaneseNamesLoad) {
    const std::string path = dir_.File("表示ソ.jpg");
    ASSERT_TRUE(WriteFileBytes(path, MakeJpeg(8, 8, Grey)));
    EXPECT_EQ(Load(path), 1);
    const std::string bmp = dir_.File("十能.bmp");
    ASSERT_TRUE(WriteBmp(bmp, 2, 2));
    EXPECT_EQ(Load(bmp), 1);
}

TEST_F(PictureLoader, PictureNamesAndFiles) {
    EXPECT_EQ(IsPictureName("a.JPG"), 1);
    EXPECT_EQ(IsPictureName("a.jpeg"), 1);
    EXPECT_EQ(IsPictureName("C:\\x\\a.pmp"), 1);
    EXPECT_EQ(IsPictureName("a.bmp"), 1);
    EXPECT_EQ(IsPictureName("a.png"), 0);
    EXPECT_EQ(IsPictureName("noext"), 0);
    // Own formats are judged by name once the file exists.
    ASSERT_TRUE(WriteFileBytes(dir_.File("fake.jpg"), Bytes{1, 2, 3}));
    EXPECT_EQ(IsPictureFile(dir_.File("fake.jpg").c_str()), 1);
    EXPECT_EQ(IsPictureFile(dir_.File("gone.jpg").c_str()), 0);
    ASSERT_TRUE(WriteFileBytes(dir_.File("notes.txt"), Bytes{1, 2, 3}));
    EXPECT_EQ(IsPictureFile(dir_.File("notes.txt").c_str()), 0);
}

TEST_F(PictureLoader, PictureInfoWithoutDecoding) {
    ASSERT_TRUE(WriteBmp(dir_.File("info.bmp"), 7, 5, 8, true));
    PictureInfo info{};
    info.textHandle = reinterpret_cast<HLOCAL>(1);  // cleared by the read
    ASSERT_EQ(ReadPictureInfo(dir_.File("info.bmp").c_str(), &info), 1);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, -5);
    EXPECT_EQ(info.colorDepth, 8);
    EXPECT_EQ(info.xDensity, 2835);
    EXPECT_EQ(info.textHandle, nullptr);
    ASSERT_TRUE(WriteFileBytes(dir_.File("info.jpg"), MakeJpeg(33, 21, Grey)));
    ASSERT_EQ(ReadPictureInfo(dir_.File("info.jpg").c_str(), &info), 1);
    EXPECT_EQ(info.width, 33);
    EXPECT_EQ(info.height, 21);
    EXPECT_EQ(info.colorDepth, 24);
    EXPECT_EQ(ReadPictureInfo(dir_.File("nothing.jpg").c_str(), &info), 0);
    info.textHandle = LocalAlloc(LMEM_MOVEABLE, 16);
    EXPECT_EQ(FreePictureInfo(&info), 1);
    EXPECT_EQ(info.textHandle, nullptr);
}

TEST_F(PictureLoader, BitmapsCarryThePictureSizeAndRecordTheHeader) {
    ASSERT_TRUE(WriteBmp(dir_.File("shown.bmp"), 9, 4, 4, true));
    const DWORD gdi = GdiObjectCount();
    HBITMAP bitmap = LoadPictureBitmap(GetDesktopWindow(), dir_.File("shown.bmp").c_str(), nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    SIZE size{};
    GetBitmapDimensionEx(bitmap, &size);
    EXPECT_EQ(size.cx, 9);
    EXPECT_EQ(size.cy, 4);
    BITMAP facts{};
    GetObjectA(bitmap, sizeof facts, &facts);
    EXPECT_EQ(facts.bmWidth, 9);
    EXPECT_EQ(facts.bmHeight, 4);
    EXPECT_EQ(LastBitmapHeader().biBitCount, 4);
    EXPECT_EQ(LastBitmapHeader().biHeight, -4);
    EXPECT_EQ(DeletePictureBitmap(nullptr, bitmap), 1);
    EXPECT_EQ(DeletePictureBitmap(nullptr, nullptr), 1);
    EXPECT_EQ(GdiObjectCount(), gdi);
}

TEST_F(PictureLoader, ATopDownPictureShowsUpright) {
    auto topRed = [](int, int y) { return y == 0 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; };
    ASSERT_TRUE(WriteBmp(dir_.File("td.bmp"), 4, 3, 24, true, topRed));
    HBITMAP bitmap = LoadPictureBitmap(GetDesktopWindow(), dir_.File("td.bmp").c_str(), nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1, 2), RGB(0, 0, 255));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeletePictureBitmap(nullptr, bitmap);
}

TEST_F(PictureLoader, APreviewBitmapDoesNotOfferAFailedJpegToTheOtherReaders) {
    Bytes damaged = MakeJpeg(32, 32, [](int x, int y) {
        return Rgb{uint8_t(x * 7), uint8_t(y * 5), uint8_t(x * y)};
    });
    damaged.resize(damaged.size() - 40);  // inside the coded data
    ASSERT_TRUE(WriteFileBytes(dir_.File("x.jpg"), damaged));
    FILE* quiet = freopen("NUL", "w", stderr);
    EXPECT_EQ(LoadPreviewBitmap(GetDesktopWindow(), dir_.File("x.jpg").c_str(), nullptr, 0, 300), nullptr);
    EXPECT_EQ(LastLoadError, kLoadFailed);  // the plug-ins would have answered 2
    EXPECT_EQ(LoadPictureBitmap(GetDesktopWindow(), dir_.File("x.jpg").c_str(), nullptr, 0), nullptr);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    (void)quiet;
}

TEST_F(PictureLoader, MakePictureBitmapRefusesBlocksSmallerThanTheirHeader) {
    // A plug-in may hand over anything: the graphics layer must never read
    // past the blocks.
    BITMAPINFOHEADER fields{sizeof fields, 100, 100, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    HLOCAL header = AllocDibBlock(sizeof fields);
    HLOCAL pixels = AllocDibBlock(16);
    *static_cast<BITMAPINFOHEADER*>(LocalLock(header)) = fields;
    LocalUnlock(header);
    const long blocks = LiveDibBlocks();
    EXPECT_EQ(MakePictureBitmap(GetDesktopWindow(), header, pixels), nullptr);
    EXPECT_EQ(LiveDibBlocks(), blocks - 2);  // both freed all the same
}

}  // namespace
