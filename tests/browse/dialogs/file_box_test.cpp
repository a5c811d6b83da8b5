// The FileBOX: previews with their text and captured pixels, hostile files,
// albums in the album list, adding to the album, opening pictures and
// albums, the remembered place.
#include <gtest/gtest.h>

#include "album/zub_album.h"
#include "tests/browse/dialogs/file_box_fixture.h"
#include "tests/support/jpeg_test_files.h"

namespace {
const Rgb kRed{255, 0, 0};
Rgb Red(int, int) {
    return kRed;
}
Rgb SystemColour(int index) {
    const COLORREF c = GetSysColor(index);
    return Rgb{GetRValue(c), GetGValue(c), GetBValue(c)};
}
}  // namespace

class FileBoxPreviewTest : public FileBoxTest {
protected:
    POINT Origin() const {
        RECT corner{183, 35, 0, 0};
        MapDialogRect(Box(), &corner);
        return POINT{corner.left, corner.top};
    }
    SIZE PreviewSize() const {
        BITMAP facts{};
        if (Viewer().FileBOXPreviewBitmap) GetObjectA(Viewer().FileBOXPreviewBitmap, sizeof facts, &facts);
        return SIZE{facts.bmWidth, facts.bmHeight};
    }
};

TEST_F(FileBoxPreviewTest, TheSelectedFileIsPreviewedWithItsSizeDepthAndAlbumMark) {
    WriteFileBytes(dir_.File("big.jpg"), MakeJpeg(1000, 800, Red));
    WriteBmp(dir_.File("tall.bmp"), 200, 800, 24, false, Red);
    WriteBmp(dir_.File("表.bmp"), 8, 8);
    WriteBmp(dir_.File("member.bmp"), 300, 300, 8);
    const std::string longName = LongName(dir_.Path(), 259) + ".bmp";
    WriteBmp(dir_.File(longName), 8, 8);
    const Bytes bmp = MakeBmp(64, 64, 24);
    WriteFileBytes(dir_.File("header.bmp"), Bytes(bmp.begin(), bmp.begin() + 30));
    WriteFileBytes(dir_.File("cut.bmp"), Bytes(bmp.begin(), bmp.begin() + 54 + 64 * 3 * 10));
    WriteFileBytes(dir_.File("empty.bmp"), Bytes{});
    WriteFileBytes(dir_.File("noise.jpg"), Bytes(3000, 0xD8));
    WriteFileBytes(dir_.File("noise.zub"), Bytes(300, 0x5C));
    ZubAlbum cover;
    cover.AddPage(dir_.File("表.bmp").c_str());
    cover.SaveFile(dir_.File("album.zub").c_str());
    Viewer().Album->AddPage(dir_.File("member.bmp").c_str());
    Open(dir_.Path());

    struct Case {
        std::string name;
        int list;
        const char* text;
        SIZE bitmap;  // the preview bitmap's own size
    };
    const Case cases[] = {
        {"big.jpg", PILTRIN_FOLDER_FILES, " 1000×800×24", {250, 200}},  // decoded for the 300 target
        {"tall.bmp", PILTRIN_FOLDER_FILES, " 200×800×24", {200, 800}},
        {"member.bmp", PILTRIN_FOLDER_FILES, " 300×300×8*", {300, 300}},
        {"表.bmp", PILTRIN_FOLDER_FILES, " 8×8×24", {8, 8}},
        {longName, PILTRIN_FOLDER_FILES, " 8×8×24", {8, 8}},
        {"header.bmp", PILTRIN_FOLDER_FILES, "Not Graphic", {0, 0}},
        {"cut.bmp", PILTRIN_FOLDER_FILES, " 64×64×24", {64, 64}},  // shows the rows it has
        {"empty.bmp", PILTRIN_FOLDER_FILES, "Not Graphic", {0, 0}},
        {"noise.jpg", PILTRIN_FOLDER_FILES, "Not Graphic", {0, 0}},
        {"album.zub", PILTRIN_FILEBOX_ALBUMS, " 8×8×24", {8, 8}},  // its cover
        {"noise.zub", PILTRIN_FILEBOX_ALBUMS, "Not Graphic", {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int line = LineOf(c.name, c.list);
        ASSERT_NE(line, -1);
        Pick(c.list, line);
        EXPECT_EQ(Text(PILTRIN_FILEBOX_PREVIEW_TEXT), c.text);
        EXPECT_EQ(PreviewSize().cx, c.bitmap.cx);
        EXPECT_EQ(PreviewSize().cy, c.bitmap.cy);
        EXPECT_TRUE(IsWindowEnabled(Box()));
    }

    // Preview off: no picture, only the album mark.
    CheckDlgButton(Box(), PILTRIN_FILEBOX_PREVIEW_ON, BST_UNCHECKED);
    for (const char* name : {"member.bmp", "tall.bmp"}) {
        Pick(PILTRIN_FOLDER_FILES, LineOf(name));
        Send(PILTRIN_FILEBOX_PREVIEW_ON);
        EXPECT_EQ(Text(PILTRIN_FILEBOX_PREVIEW_TEXT), name[0] == 'm' ? "*" : "");
        EXPECT_EQ(Viewer().FileBOXPreviewBitmap, nullptr);
    }
    EXPECT_EQ(Viewer().FileBOXPreviewOn, 0);
}

TEST_F(FileBoxPreviewTest, ThePreviewIsFittedIntoItsSquareAndFramedForAlbumPictures) {
    WriteBmp(dir_.File("tall.bmp"), 200, 800, 24, false, Red);
    WriteBmp(dir_.File("wide.bmp"), 260, 130, 24, false, Red);
    Viewer().Album->AddPage(dir_.File("wide.bmp").c_str());
    Open(dir_.Path());
    const POINT o = Origin();

    // 200 x 800: 32 x 130, 49 pixels from the square's left edge.
    Pick(PILTRIN_FOLDER_FILES, LineOf("tall.bmp"));
    Pump();
    ClientPixels tall(Box());
    EXPECT_EQ(tall.At(o.x + 49, o.y), kRed);
    EXPECT_EQ(tall.At(o.x + 80, o.y + 129), kRed);
    EXPECT_FALSE(tall.At(o.x + 48, o.y + 60) == kRed);
    EXPECT_FALSE(tall.At(o.x + 81, o.y + 60) == kRed);
    EXPECT_FALSE(tall.At(o.x + 60, o.y + 130) == kRed);
    EXPECT_EQ(tall.At(o.x + 60, o.y + 131), SystemColour(COLOR_3DFACE));  // no frame

    // 260 x 130, in the album: 130 x 65 at the top, a raised edge 2 pixels
    // outside it.
    Pick(PILTRIN_FOLDER_FILES, LineOf("wide.bmp"));
    Pump();
    ClientPixels wide(Box());
    EXPECT_EQ(wide.At(o.x, o.y), kRed);
    EXPECT_EQ(wide.At(o.x + 100, o.y + 64), kRed);
    EXPECT_FALSE(wide.At(o.x + 60, o.y + 65) == kRed);
    EXPECT_EQ(wide.At(o.x + 60, o.y + 66), SystemColour(COLOR_3DDKSHADOW));
    EXPECT_EQ(wide.At(o.x - 2, o.y + 30), SystemColour(COLOR_3DLIGHT));
}

TEST_F(FileBoxTest, FilesAreAddedOnceAndTheZubBOXOpensOnlyForAnEmptyAlbum) {
    for (int i = 0; i < 13; ++i) WriteBmp(dir_.File("p" + std::to_string(100 + i) + ".bmp"), 8, 8);
    Open(dir_.Path());
    ViewerState& v = Viewer();
    v.ZubBOXPage = 5;
    SendDlgItemMessageA(Box(), PILTRIN_FOLDER_FILES, LB_SETSEL, FALSE, -1);
    Send(PILTRIN_FILEBOX_ADD_SELECTED);  // nothing selected
    EXPECT_EQ(v.Album->PageCount(), 0);
    EXPECT_EQ(v.ZubBOXPage, 5);
    EXPECT_EQ(zubBoxRequests, 1);  // the album was empty

    Pick(PILTRIN_FOLDER_FILES, 1);
    Send(PILTRIN_FILEBOX_ADD_SELECTED);
    Send(PILTRIN_FILEBOX_ADD_SELECTED);  // already a page: not again
    EXPECT_EQ(v.Album->PageCount(), 1);
    EXPECT_STREQ(v.Album->GetPagePath(0), dir_.File("p101.bmp").c_str());
    EXPECT_EQ(v.ZubBOXPage, 1);
    EXPECT_EQ(v.AlbumUnsaved, 1);

    Send(PILTRIN_FILEBOX_ADD_FOLDER);
    EXPECT_EQ(v.Album->PageCount(), 13);
    EXPECT_EQ(v.ZubBOXPage, 2);                                 // the last file handled is the 13th page
    EXPECT_EQ(Text(PILTRIN_FILEBOX_PREVIEW_TEXT), " 8×8×24*");  // preview redone

    // ZubBOX closed, pages in the album: it stays closed.
    DestroyWindow(v.ZubBOXWindow);
    v.ZubBOXWindow = nullptr;
    Send(PILTRIN_FILEBOX_ADD_FOLDER);
    EXPECT_EQ(zubBoxRequests, 1);
    EXPECT_EQ(v.Album->PageCount(), 13);
}

TEST_F(FileBoxTest, DoubleClickOpensAndStaysTheButtonOpensAndCloses) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) WriteBmp(dir_.File(name), 20, 10);
    WriteBmp(dir_.File("d.bmp"), 16, 16);
    ZubAlbum saved;
    saved.AddPage(dir_.File("d.bmp").c_str());
    saved.SaveFile(dir_.File("set.zub").c_str());
    ViewerState& v = Viewer();
    RECT viewer;
    GetWindowRect(window_, &viewer);
    Open(dir_.Path());
    RECT box;
    GetWindowRect(Box(), &box);
    EXPECT_EQ(box.left, (viewer.left + viewer.right) / 2);
    EXPECT_EQ(box.top, (viewer.top + viewer.bottom) / 2);

    Pick(PILTRIN_FOLDER_FILES, 1);
    Send(PILTRIN_FOLDER_FILES, LBN_DBLCLK);
    EXPECT_EQ(v.CurrentPath, dir_.File("b.bmp"));
    EXPECT_EQ(v.CurrentFolder, dir_.Path());
    EXPECT_EQ(v.DisplayMode, kNormalDisplay);
    EXPECT_NE(v.ShownBitmap, nullptr);
    ASSERT_NE(Box(), nullptr);
    // The viewer steps through the listed pictures.
    SendMessageA(window_, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(v.CurrentPath, dir_.File("c.bmp"));
    SendMessageA(window_, WM_KEYDOWN, VK_LEFT, 0);
    SendMessageA(window_, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(v.CurrentPath, dir_.File("a.bmp"));

    // An album opened by a double-click: loaded, ZubBOX asked for, box open.
    Pick(PILTRIN_FILEBOX_ALBUMS, 0);
    Send(PILTRIN_FILEBOX_ALBUMS, LBN_DBLCLK);
    EXPECT_EQ(v.Album->PageCount(), 1);
    EXPECT_EQ(v.DisplayMode, kZubDisplay);
    EXPECT_EQ(v.CurrentPath, dir_.File("d.bmp"));
    EXPECT_EQ(zubBoxRequests, 1);
    ASSERT_NE(Box(), nullptr);

    // The buttons close the box, which keeps its place for the next time.
    struct Case {
        int list;
        int button;
        const char* path;
        int mode;
    };
    const Case cases[] = {{PILTRIN_FOLDER_FILES, PILTRIN_FILEBOX_OPEN, "c.bmp", kNormalDisplay},
                          {PILTRIN_FILEBOX_ALBUMS, PILTRIN_FILEBOX_OPEN_ALBUM, "d.bmp", kZubDisplay}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        if (!Box()) Open(dir_.Path());
        SetWindowPos(Box(), nullptr, 40 + c.button % 7, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Pick(c.list, c.list == PILTRIN_FOLDER_FILES ? 2 : 0);
        Send(c.button);
        EXPECT_EQ(Box(), nullptr);
        EXPECT_EQ(v.CurrentPath, dir_.File(c.path));
        EXPECT_EQ(v.DisplayMode, c.mode);
        EXPECT_EQ(v.FileBOXPreviewBitmap, nullptr);
        Open(dir_.Path());
        GetWindowRect(Box(), &box);
        EXPECT_EQ(box.left, 40 + c.button % 7);
        EXPECT_EQ(box.top, 30);
        DestroyWindow(Box());
    }

    // An album that cannot be read is reported and leaves the box open.
    WriteFileBytes(dir_.File("bad.zub"), Bytes(40, 1));
    Open(dir_.Path());
    Pick(PILTRIN_FILEBOX_ALBUMS, LineOf("bad.zub", PILTRIN_FILEBOX_ALBUMS));
    Send(PILTRIN_FILEBOX_OPEN_ALBUM);
    EXPECT_NE(Box(), nullptr);
    ASSERT_FALSE(messages_.empty());
    EXPECT_EQ(messages_.back().text, "ファイル読み込み時にエラーが発生しました。");
}
