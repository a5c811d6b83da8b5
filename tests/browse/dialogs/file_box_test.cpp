#include <gtest/gtest.h>

#include "album/zub_album.h"
#include "tests/browse/dialogs/file_box_fixture.h"
#include "tests/support/jpeg_test_files.h"

namespace {
const Rgb kRed{255, 0, 0};
Rgb SystemColour(int index) {
    return ToRgb(GetSysColor(index));
}
void SaveAlbum(const std::string& path, const std::string& page) {
    ZubAlbum album;
    album.AddPage(page.c_str());
    album.SaveFile(path.c_str());
}
}  // namespace

TEST_F(FileBoxTest, TheSelectedFileIsPreviewedWithItsSizeDepthAndAlbumMark) {
    const Bytes bmp = MakeBmp(64, 64, 24), small = MakeBmp(8, 8, 24);
    const PixelPattern red = Flat(kRed);
    const std::string longName = LongName(dir_.Path(), 259) + ".bmp";
    const int files = PILTRIN_FOLDER_FILES, albums = PILTRIN_FILEBOX_ALBUMS;
    // clang-format off
    // The width and height of the preview bitmap itself.
    const struct { std::string name; Bytes bytes; int list; const char* text; LONG width, height; } cases[] {
        {"big.jpg", MakeJpeg(1000, 800, red), files, " 1000×800×24", 250, 200},  // decoded for the 300 target
        {"tall.bmp", MakeBmp(200, 800, 24, false, red), files, " 200×800×24", 200, 800},
        {"member.bmp", MakeBmp(300, 300, 8), files, " 300×300×8*", 300, 300},
        {"表.bmp", small, files, " 8×8×24", 8, 8},
        {longName, small, files, " 8×8×24", 8, 8},
        {"header.bmp", Bytes(bmp.begin(), bmp.begin() + 30), files, "Not Graphic", 0, 0},
        {"cut.bmp", Bytes(bmp.begin(), bmp.begin() + 1974), files, " 64×64×24", 64, 64},  // 10 rows of 64
        {"empty.bmp", {}, files, "Not Graphic", 0, 0},
        {"noise.jpg", Bytes(3000, 0xD8), files, "Not Graphic", 0, 0},
        {"album.zub", {}, albums, " 8×8×24", 8, 8},  // its cover
        {"noise.zub", Bytes(300, 0x5C), albums, "Not Graphic", 0, 0}};
    // clang-format on
    for (const auto& c : cases) WriteFileBytes(dir_.File(c.name), c.bytes);
    SaveAlbum(dir_.File("album.zub"), dir_.File("表.bmp"));
    Viewer().Album->AddPage(dir_.File("member.bmp").c_str());
    Open(dir_.Path());
    SetFocus(GetDlgItem(Box(), files));  // kept through each preview, for the arrow keys
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(LineOf(c.name, c.list), -1);
        Pick(c.list, LineOf(c.name, c.list));
        EXPECT_EQ(Text(PILTRIN_FILEBOX_PREVIEW_TEXT), c.text);
        BITMAP facts{};
        GetObjectA(Viewer().FileBOXPreviewBitmap, sizeof facts, &facts);
        EXPECT_EQ(std::make_pair(facts.bmWidth, facts.bmHeight), std::make_pair(c.width, c.height));
        EXPECT_TRUE(IsWindowEnabled(Box()));
        EXPECT_EQ(GetFocus(), GetDlgItem(Box(), files));
    }
    // Preview off: no picture, only the album mark.
    CheckDlgButton(Box(), PILTRIN_FILEBOX_PREVIEW_ON, BST_UNCHECKED);
    for (const char* name : {"member.bmp", "tall.bmp"}) {
        Pick(files, LineOf(name));
        Send(PILTRIN_FILEBOX_PREVIEW_ON);
        EXPECT_EQ(Text(PILTRIN_FILEBOX_PREVIEW_TEXT), name[0] == 'm' ? "*" : "");
        EXPECT_EQ(Viewer().FileBOXPreviewBitmap, nullptr);
    }
    EXPECT_EQ(Viewer().FileBOXPreviewOn, 0);
}

TEST_F(FileBoxTest, ThePreviewIsFittedIntoItsSquareAndFramedForAlbumPictures) {
    WriteBmp(dir_.File("tall.bmp"), 200, 800, 24, false, Flat(kRed));
    WriteBmp(dir_.File("wide.bmp"), 260, 130, 24, false, Flat(kRed));
    Viewer().Album->AddPage(dir_.File("wide.bmp").c_str());
    Open(dir_.Path());
    RECT corner{183, 35, 0, 0};
    MapDialogRect(Box(), &corner);
    const int x = corner.left, y = corner.top;
    // 200 x 800: 32 x 130, 49 pixels from the square's left edge.
    Pick(PILTRIN_FOLDER_FILES, LineOf("tall.bmp"));
    ClientPixels tall(Box());
    EXPECT_EQ(tall.At(x + 49, y), kRed);
    EXPECT_EQ(tall.At(x + 80, y + 129), kRed);
    for (POINT outside : {POINT{x + 48, y + 60}, POINT{x + 81, y + 60}, POINT{x + 60, y + 130}})
        EXPECT_FALSE(tall.At(outside.x, outside.y) == kRed) << outside.x << "," << outside.y;
    EXPECT_EQ(tall.At(x + 60, y + 131), SystemColour(COLOR_3DFACE));  // no frame
    // 260 x 130, in the album: 130 x 65 at the top, a raised edge 2 pixels
    // outside it.
    Pick(PILTRIN_FOLDER_FILES, LineOf("wide.bmp"));
    ClientPixels wide(Box());
    EXPECT_EQ(wide.At(x, y), kRed);
    EXPECT_EQ(wide.At(x + 100, y + 64), kRed);
    EXPECT_FALSE(wide.At(x + 60, y + 65) == kRed);
    EXPECT_EQ(wide.At(x + 60, y + 66), SystemColour(COLOR_3DDKSHADOW));
    EXPECT_EQ(wide.At(x - 2, y + 30), SystemColour(COLOR_3DLIGHT));
}

TEST_F(FileBoxTest, FilesAreAddedOnceAndTheZubBOXOpensOnlyForAnEmptyAlbum) {
    for (int i = 0; i < 13; ++i) WriteBmp(dir_.File("p" + std::to_string(100 + i) + ".bmp"), 8, 8);
    Open(dir_.Path());
    ViewerState& v = Viewer();
    v.ZubBOXPage = 5;
    // (pages, ZubBOX page, ZubBOX requests, unsaved)
    auto facts = [&] {
        return std::make_tuple(v.Album->PageCount(), v.ZubBOXPage, zubBoxRequests, v.AlbumUnsaved);
    };
    Send(PILTRIN_FILEBOX_ADD_SELECTED);  // nothing selected; the album was empty
    EXPECT_EQ(facts(), std::make_tuple(0, 5, 1, 0));
    Pick(PILTRIN_FOLDER_FILES, 1);
    Send(PILTRIN_FILEBOX_ADD_SELECTED);
    Send(PILTRIN_FILEBOX_ADD_SELECTED);  // already a page: not again
    EXPECT_EQ(facts(), std::make_tuple(1, 1, 1, 1));
    EXPECT_STREQ(v.Album->GetPagePath(0), dir_.File("p101.bmp").c_str());
    Send(PILTRIN_FILEBOX_ADD_FOLDER);
    EXPECT_EQ(facts(), std::make_tuple(13, 2, 1, 1));           // the last file handled is the 13th page
    EXPECT_EQ(Text(PILTRIN_FILEBOX_PREVIEW_TEXT), " 8×8×24*");  // preview redone
    // ZubBOX closed, pages in the album: it stays closed.
    DestroyWindow(v.ZubBOXWindow);
    v.ZubBOXWindow = nullptr;
    Send(PILTRIN_FILEBOX_ADD_FOLDER);
    EXPECT_EQ(facts(), std::make_tuple(13, 2, 1, 1));
}

TEST_F(FileBoxTest, DoubleClickOpensAndStaysTheButtonOpensAndCloses) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) WriteBmp(dir_.File(name), 20, 10);
    SaveAlbum(dir_.File("set.zub"), dir_.File("d.bmp"));
    WriteFileBytes(dir_.File("vs.zub"), Bytes(40, 1));
    ViewerState& v = Viewer();
    RECT viewer, box;
    GetWindowRect(window_, &viewer);
    Open(dir_.Path());
    GetWindowRect(Box(), &box);
    EXPECT_EQ(std::make_pair(box.left, box.top),
              std::make_pair((viewer.left + viewer.right) / 2, (viewer.top + viewer.bottom) / 2));
    EXPECT_EQ(GetWindowLongA(Tree(), GWL_STYLE) & 0x3F,  // no buttons, no lines at the root
              TVS_HASLINES | TVS_EDITLABELS | TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP);
    Pick(PILTRIN_FOLDER_FILES, 1);
    Send(PILTRIN_FOLDER_FILES, LBN_DBLCLK);
    EXPECT_EQ(v.CurrentPath, dir_.File("b.bmp"));
    EXPECT_EQ(v.CurrentFolder, dir_.Path());
    EXPECT_EQ(v.DisplayMode, kNormalDisplay);
    EXPECT_NE(v.ShownBitmap, nullptr);
    ASSERT_NE(Box(), nullptr);
    // The viewer steps through the listed pictures.
    const std::pair<WPARAM, const char*> steps[] = {
        {VK_RIGHT, "c.bmp"}, {VK_LEFT, "b.bmp"}, {VK_LEFT, "a.bmp"}};
    for (const auto& [key, name] : steps) {
        SendMessageA(window_, WM_KEYDOWN, key, 0);
        EXPECT_EQ(v.CurrentPath, dir_.File(name));
    }
    // An album opened by a double-click: loaded, ZubBOX asked for, box open.
    Pick(PILTRIN_FILEBOX_ALBUMS, LineOf("set.zub", PILTRIN_FILEBOX_ALBUMS));
    Send(PILTRIN_FILEBOX_ALBUMS, LBN_DBLCLK);
    EXPECT_EQ(std::make_tuple(v.Album->PageCount(), v.DisplayMode, zubBoxRequests),
              std::make_tuple(1, int(kZubDisplay), 1));
    EXPECT_EQ(v.CurrentPath, dir_.File("d.bmp"));
    // One that cannot be read is reported and leaves the box open.
    Pick(PILTRIN_FILEBOX_ALBUMS, LineOf("vs.zub", PILTRIN_FILEBOX_ALBUMS));
    Send(PILTRIN_FILEBOX_OPEN_ALBUM);
    ASSERT_NE(Box(), nullptr);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "ファイル読み込み時にエラーが発生しました。");
    // The buttons close the box, which comes back where it was.
    // clang-format off
    const struct { int list, line, button, mode; const char* path; } cases[] = {
        {PILTRIN_FOLDER_FILES, 2, PILTRIN_FILEBOX_OPEN, kNormalDisplay, "c.bmp"},
        {PILTRIN_FILEBOX_ALBUMS, 0, PILTRIN_FILEBOX_OPEN_ALBUM, kZubDisplay, "d.bmp"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        if (!Box()) Open(dir_.Path());
        SetWindowPos(Box(), nullptr, 40 + c.line, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Pick(c.list, c.line);
        Send(c.button);
        EXPECT_EQ(Box(), nullptr);
        EXPECT_EQ(v.CurrentPath, dir_.File(c.path));
        EXPECT_EQ(v.DisplayMode, c.mode);
        EXPECT_EQ(v.FileBOXPreviewBitmap, nullptr);
        Open(dir_.Path());
        GetWindowRect(Box(), &box);
        EXPECT_EQ(std::make_pair(box.left, box.top), std::make_pair(40L + c.line, 30L));
        const auto icon =
            HICON(SendDlgItemMessageA(Box(), PILTRIN_FOLDER_DESKTOP, BM_GETIMAGE, IMAGE_ICON, 0));
        DestroyWindow(Box());
        ICONINFO facts{};
        EXPECT_TRUE(icon && !GetIconInfo(icon, &facts));  // the desktop button's icon went with the box
    }
}
