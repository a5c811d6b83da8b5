// The plug-ins as the rest of the program meets them: through the picture
// loader's dispatch, name and content tests and picture facts.
#include <gtest/gtest.h>

#include "image/picture_loader.h"
#include "image/plugin_host.h"
#include "tests/plugins/plugin_fixtures.h"

namespace {

class PluginLoading : public ::testing::Test {
protected:
    void TearDown() override { UnloadPlugins(); }
    TempDir files;
    TempDir filters;
    ComThread com;
};

// A JPEG written by WIC's own encoder, or empty when there is none.
Bytes MakeJpeg() {
    return EncodeWithWic(GUID_ContainerFormatJpeg, Bgr24Source(16, 8));
}

TEST_F(PluginLoading, WithoutAnyPluginBmpAndJpegStillOpen) {
    EXPECT_EQ(LoadPlugins(filters.Path().c_str()), 0);
    std::string bmp = files.File("picture.bmp");
    WriteBmp(bmp, 6, 4);
    HLOCAL header, pixels;
    ASSERT_EQ(LoadPicture(bmp.c_str(), nullptr, 0, &header, &pixels), 1);
    {
        DibPixels dib(header, pixels);
        EXPECT_EQ(dib.Width(), 6);
    }

    Bytes jpeg = MakeJpeg();
    ASSERT_FALSE(jpeg.empty());
    std::string jpg = files.File("picture.jpg");
    WriteFileBytes(jpg, jpeg);
    ASSERT_EQ(LoadPicture(jpg.c_str(), nullptr, 0, &header, &pixels), 1);
    {
        DibPixels dib(header, pixels);
        EXPECT_EQ(dib.Width(), 16);
    }

    std::string png = files.File("picture.png");
    WriteFileBytes(png, EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5)));
    EXPECT_EQ(LoadPicture(png.c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_EQ(IsPictureName(png.c_str()), 0);
    EXPECT_EQ(IsPictureFile(png.c_str()), 0);
    EXPECT_EQ(IsPictureName(bmp.c_str()), 1);
}

TEST_F(PluginLoading, AnUpperCasePatternMakesAnyCaseAPictureName) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("upperpic").c_str()), 1);  // "*.TPC;*.PIC"
    EXPECT_EQ(IsPictureName("C:\\pictures\\x.Pic"), 1);
    EXPECT_EQ(IsPictureName("x.pic"), 1);
    EXPECT_EQ(IsPictureName("x.PIC"), 1);
    EXPECT_EQ(IsPictureName("x.pix"), 0);
    EXPECT_EQ(IsPictureName("C:\\my.pic\\x"), 0);  // the "." of a folder is no extension
}

TEST_F(PluginLoading, AFailingPluginIsFollowedByTheBmpReader) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("failall").c_str()), 1);
    std::string bmp = files.File("picture.bmp");
    WriteBmp(bmp, 6, 4);
    HLOCAL header, pixels;
    ASSERT_EQ(LoadPicture(bmp.c_str(), nullptr, 0, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Width(), 6);
    Rgb want = DistinctPixel(2, 1);
    EXPECT_EQ(dib.At(2, 1).r, want.r);

    // Under another name the BMP reader is not asked: the plug-in's failure
    // ends as "no reader".
    std::string dib2 = files.File("picture.dib");
    WriteBmp(dib2, 6, 4);
    EXPECT_EQ(LoadPicture(dib2.c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
}

TEST_F(PluginLoading, ATinyPictureOpensAndPreviewsThroughItsPlugin) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    std::string path = files.File("picture.tpc");
    WriteFileBytes(path, MakeTinyPicture(6, 4, "note"));
    EXPECT_EQ(IsPictureName(path.c_str()), 1);
    EXPECT_EQ(IsPictureFile(path.c_str()), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(LoadPicture(path.c_str(), nullptr, 0, &header, &pixels), 1);
    {
        DibPixels dib(header, pixels);
        EXPECT_EQ(dib.Width(), 6);
    }
    ASSERT_EQ(LoadPreview(path.c_str(), nullptr, 0, &header, &pixels, 300), 1);
    {
        DibPixels dib(header, pixels);
        EXPECT_EQ(dib.Width(), 3);
    }
    PictureInfo info{};
    ASSERT_EQ(ReadPictureInfo(path.c_str(), &info), 1);
    EXPECT_EQ(info.width, 6);
    EXPECT_EQ(info.height, 4);
    EXPECT_NE(info.textHandle, nullptr);
    FreePictureInfo(&info);
    EXPECT_EQ(info.textHandle, nullptr);
}

TEST_F(PluginLoading, APngOpensThroughTheFilterBesideTheProgram) {
    ASSERT_EQ(LoadPluginsFromProgramFolder(), 1);
    std::string png = files.File("Picture.PNG");
    WriteFileBytes(png, EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(7, 5)));
    EXPECT_EQ(IsPictureName(png.c_str()), 1);
    EXPECT_EQ(IsPictureFile(png.c_str()), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(LoadPicture(png.c_str(), nullptr, 0, &header, &pixels), 1);
    {
        DibPixels dib(header, pixels);
        ASSERT_EQ(dib.Width(), 7);
        ASSERT_EQ(dib.Height(), 5);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 7; ++x) {
                Rgb want = DistinctPixel(x, y);
                ASSERT_EQ(dib.At(x, y).r, want.r);
                ASSERT_EQ(dib.At(x, y).g, want.g);
                ASSERT_EQ(dib.At(x, y).b, want.b);
            }
        }
    }
    PictureInfo info{};
    ASSERT_EQ(ReadPictureInfo(png.c_str(), &info), 1);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 5);

    std::string large = files.File("large.png");
    WriteFileBytes(large, EncodeWithWic(GUID_ContainerFormatPng, SolidSource(900, 600, Rgb{1, 2, 3})));
    ASSERT_EQ(LoadPreview(large.c_str(), nullptr, 0, &header, &pixels, 300), 1);
    DibPixels preview(header, pixels);
    EXPECT_EQ(preview.Width(), 300);
    EXPECT_EQ(preview.Height(), 200);

    HWND desktop = GetDesktopWindow();
    HBITMAP bitmap = LoadPictureBitmap(desktop, png.c_str(), nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    SIZE size{};
    GetBitmapDimensionEx(bitmap, &size);
    EXPECT_EQ(size.cx, 7);
    EXPECT_EQ(size.cy, 5);
    DeletePictureBitmap(desktop, bitmap);
}

}  // namespace
