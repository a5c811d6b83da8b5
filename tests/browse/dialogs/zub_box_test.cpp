#include <gtest/gtest.h>

#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/file_drops.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/dialogs/zub_box.h"
#include "browse/dialogs/zub_box_grid.h"
#include "browse/dialogs/zub_box_state.h"
#include "image/thumbnail_image.h"
#include "resources/resource_ids.h"
#include "tests/app/viewer_fixture.h"

namespace {
Rgb ColourOf(int page) {
    return Rgb{uint8_t(20 + 15 * page), uint8_t(200 - 7 * page), uint8_t(60 + 11 * page)};
}
POINT CellCentre(int cell) {
    return POINT{95 * (cell % 4) + 50, 95 * (cell / 4) + 50};
}

class ZubBoxTest : public ViewerWindowTest {
protected:
    void SetUp() override {
        ViewerWindowTest::SetUp();
        Box().Rect = RECT{0, 0, 0, 0};
        RegisterZubBOXCommands();
    }
    ZubAlbum& Album() { return *Viewer().Album; }
    HWND Window() const { return Viewer().ZubBOXWindow; }
    // Pages 0..count-1: flat pictures of width x height in ColourOf(page).
    void AddPages(int count, int width = 30, int height = 30) {
        for (int i = Album().PageCount(), end = i + count; i < end; ++i) {
            const std::string path = dir_.File("p" + std::to_string(i) + ".bmp");
            WriteBmp(path, width, height, 24, false, Flat(ColourOf(i)));
            ASSERT_GE(Album().AddPage(path.c_str()), 0);
        }
    }
    void Open() {
        Command(kCommandZubBox);
        ASSERT_NE(Window(), nullptr);
        Pump();
    }
    std::string Field(int id) const { return ItemText(Window(), id); }
    void Button(int id, bool shift = false) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        SendMessageA(Window(), WM_COMMAND, WPARAM(id), 0);
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        Pump();
    }
    void Mouse(UINT m, POINT at, WPARAM keys = 0) { SendMessageA(Window(), m, keys, MAKELPARAM(at.x, at.y)); }
    void Click(POINT at, WPARAM keys = 0, bool right = false) {
        Mouse(right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, at, keys | (right ? MK_RBUTTON : MK_LBUTTON));
        Mouse(right ? WM_RBUTTONUP : WM_LBUTTONUP, at, keys);
        Pump();
    }
    void Drag(POINT from, POINT to, bool move = true) {
        Mouse(WM_LBUTTONDOWN, from, MK_LBUTTON);
        if (move) Mouse(WM_MOUSEMOVE, to, MK_LBUTTON);
        Mouse(WM_LBUTTONUP, to);
        Pump();
    }
    // Each page's selection mark as a digit.
    std::string Marks() {
        std::string marks;
        for (int i = 0; i < Album().PageCount(); ++i) marks += char('0' + Album().GetSelectionMark(i));
        return marks;
    }
    void Drop(const std::vector<std::string>& names) {
        std::string list;
        for (const std::string& name : names) list += name + '\0';
        SendFilesDrop(Window(), list.data(), list.size() + 1, 10, 10);
        Pump();
    }
    int Built(int from, int to) {
        int built = 0;
        for (int i = from; i < to; ++i) built += Album().HasThumbnail(i);
        return built;
    }
    bool Step() {
        MSG message;
        if (!PeekMessageA(&message, nullptr, WM_ZUBTHUMB, WM_ZUBTHUMB, PM_REMOVE)) return false;
        DispatchMessageA(&message);
        return true;
    }
    Rgb Shown(POINT at) { return ClientPixels(Window()).At(at.x, at.y); }
};
}  // namespace

TEST(ZubBoxGrid, HitTestTakesUnsignedSixteenBitPositionsAndSkipsTheGaps) {
    // clang-format off
    const struct { int page, x, y, index; } cases[] = {
        {1, 97, 50, -1}, {1, 100, 50, 1}, {1, 4, 50, -1}, {1, 5, 5, 0}, {1, 379, 284, 11}, {1, 380, 50, -1},
        {1, 381, 50, -1}, {1, 50, 286, -1}, {1, 50, 99, -1}, {1, 50, 100, 4}, {2, 5, 5, 12}, {1, -1, 50, -1},
        {1, 50, -3, -1}, {3, 290, 195, 35}, {1, 0xFFFF, 0xFFFF, -1}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(c.index, HitTestCell(c.page, MAKELPARAM(c.x, c.y))) << c.x << "," << c.y << " p" << c.page;
    for (const auto& [pages, count] : {std::make_pair(0, 0), std::make_pair(12, 1), std::make_pair(13, 2)})
        EXPECT_EQ(count, ZubBOXPageCount(pages)) << pages;
    const RECT edge = CellEdgeRect(6);
    EXPECT_TRUE(edge.left == 193 && edge.top == 98 && edge.right == 287 && edge.bottom == 192);
}

// Each step runs on the box the previous one left: clicks on the first page
// of thirteen, then paging (which moves no mark), then a double click and
// a drag out onto the viewer, then drops onto the box.
TEST_F(ZubBoxTest, ClicksSelectPagingKeepsTheMarksADoubleClickShowsDragsAndDropsCarryPages) {
    AddPages(13);
    Open();
    EXPECT_EQ("1", Field(PILTRIN_ZUBBOX_PAGE));
    EXPECT_EQ("2", Field(PILTRIN_ZUBBOX_PAGE_COUNT));
    Click(POINT{97, 50});
    EXPECT_EQ(0, Viewer().ZubBOXCurrent);  // a gap
    Click(POINT{100, 50});
    EXPECT_EQ(1, Viewer().ZubBOXCurrent);
    const WPARAM control = MK_CONTROL;
    // clang-format off
    const struct { int cell; WPARAM keys; bool right; const char* marks; } cases[] = {
        {5, 0, false, "0000020000000"}, {5, control, false, "0000020000000"},  // the current page keeps 2
        {7, control, false, "0000020100000"}, {7, control, false, "0000020000000"},
        {2, MK_SHIFT | control, false, "0011120000000"},
        {9, 0, true, "0011120001000"}, {5, 0, true, "0011120001000"},  // the right button toggles
        {9, 0, true, "0011120000000"}};
    // clang-format on
    for (const auto& c : cases) {
        Click(CellCentre(c.cell), c.keys, c.right);
        EXPECT_EQ(c.marks, Marks()) << "cell " << c.cell;
        EXPECT_EQ(5, Viewer().ZubBOXCurrent);
    }
    Button(PILTRIN_ZUBBOX_NEXT);
    EXPECT_EQ("2", Field(PILTRIN_ZUBBOX_PAGE));
    EXPECT_EQ(ColourOf(12), Shown(CellCentre(0)));        // index 12 top-left
    EXPECT_EQ(Shown(POINT{1, 1}), Shown(CellCentre(1)));  // nothing in cell 1
    Button(PILTRIN_ZUBBOX_NEXT);
    EXPECT_EQ("2", Field(PILTRIN_ZUBBOX_PAGE));  // the last page stays
    Button(PILTRIN_ZUBBOX_PREVIOUS, true);
    EXPECT_EQ("1", Field(PILTRIN_ZUBBOX_PAGE));
    Button(PILTRIN_ZUBBOX_PREVIOUS);
    EXPECT_EQ(1, Viewer().ZubBOXPage);
    AddPages(30);
    Button(PILTRIN_ZUBBOX_NEXT, true);
    EXPECT_EQ(4, Viewer().ZubBOXPage);
    EXPECT_EQ(5, Viewer().ZubBOXCurrent);  // paging moves no mark
    EXPECT_EQ("0011120000000", Marks().substr(0, 13));
    Button(PILTRIN_ZUBBOX_PREVIOUS, true);
    Mouse(WM_LBUTTONDOWN, CellCentre(2), MK_LBUTTON);
    Mouse(WM_LBUTTONDBLCLK, CellCentre(2), MK_LBUTTON);
    Mouse(WM_LBUTTONUP, CellCentre(2));
    Pump();
    EXPECT_EQ(std::make_pair(DWORD(2), int(kZubDisplay)),
              std::make_pair(Viewer().CurrentZubIndex, int(Viewer().DisplayMode)));
    EXPECT_STREQ(Album().GetPagePath(2), Viewer().CurrentPath);
    EXPECT_STREQ(dir_.Path().c_str(), Viewer().CurrentFolder);
    SendMessageA(Window(), WM_COMMAND, PILTRIN_ZUBBOX_COVER, 0);
    EXPECT_EQ(std::make_pair(2, 1), std::make_pair(Album().CoverIndex(), Viewer().AlbumUnsaved));
    // Press cell 4 and let go over the viewer, above the box: the viewer
    // receives the page as a dropped file and shows it.
    RECT box;
    GetWindowRect(Window(), &box);
    POINT above{box.left + 40, box.top - 30};
    ScreenToClient(Window(), &above);
    Drag(CellCentre(4), above, false);
    EXPECT_STREQ(Album().GetPagePath(4), Viewer().CurrentPath);
    EXPECT_EQ(43, Album().PageCount());
    // Pictures dropped onto the box join once each; an album replaces the album.
    Viewer().AlbumUnsaved = 0;
    WriteBmp(dir_.File("new1.bmp"), 10, 10);
    WriteBmp(dir_.File("new2.bmp"), 10, 10);
    WriteFileBytes(dir_.File("note.txt"), Bytes{'x'});
    Drop({dir_.File("note.txt"), dir_.File("new1.bmp")});  // not a picture first: ignored
    EXPECT_EQ(std::make_pair(43, 0), std::make_pair(Album().PageCount(), Viewer().AlbumUnsaved));
    Drop({dir_.File("new1.bmp"), dir_.File("new2.bmp"), Album().GetPagePath(4)});
    EXPECT_EQ(std::make_tuple(45, 44u, 4, 1), std::make_tuple(Album().PageCount(), Viewer().CurrentZubIndex,
                                                              Viewer().ZubBOXPage, Viewer().AlbumUnsaved));
    ZubAlbum other;
    other.AddPage(dir_.File("new1.bmp").c_str());
    const std::string album = dir_.File("OTHER.ZUB");
    ASSERT_EQ(1, other.SaveFile(album.c_str()));
    Drop({album});
    EXPECT_EQ(1, Album().PageCount());
    EXPECT_STREQ(album.c_str(), Album().GetFilePath());
}

TEST_F(ZubBoxTest, DraggingOneCellOntoAnotherSwapsThePagesAndTheCoverFollows) {
    AddPages(6);
    Album().SetCoverIndex(0);
    Open();
    const std::string first = Album().GetPagePath(0), fourth = Album().GetPagePath(3);
    Drag(POINT{97, 50}, CellCentre(2));  // pressed in a gap: no swap
    EXPECT_EQ(std::make_pair(first, 0),
              std::make_pair(std::string(Album().GetPagePath(0)), Viewer().AlbumUnsaved));
    Drag(CellCentre(0), CellCentre(3));
    EXPECT_EQ(fourth, Album().GetPagePath(0));
    EXPECT_EQ(first, Album().GetPagePath(3));
    EXPECT_EQ(std::make_pair(3, 3), std::make_pair(Album().CoverIndex(), Viewer().ZubBOXCurrent));
    EXPECT_EQ("000200", Marks());
    Drag(CellCentre(3), CellCentre(3));  // an ordinary click
    EXPECT_EQ(first, Album().GetPagePath(3));
    EXPECT_EQ(ColourOf(0), Shown(CellCentre(3)));  // redrawn from the kept thumbnail
}

TEST_F(ZubBoxTest, TheTitleFieldIgnoresAChangeOfLetterCaseOnly) {
    AddPages(2);
    Album().SetPageComment(0, "Sunset");
    Open();
    const int fields[] = {PILTRIN_ZUBBOX_TITLE, PILTRIN_ZUBBOX_PATH, PILTRIN_ZUBBOX_WIDTH,
                          PILTRIN_ZUBBOX_BITS};
    const std::string shown[] = {"Sunset", Album().GetPagePath(0), "30", "24"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(shown[i], Field(fields[i])) << fields[i];
    // A paint shows the facts again but leaves a field that is already
    // right alone: the selection the user made in the title stays.
    HWND title = GetDlgItem(Window(), PILTRIN_ZUBBOX_TITLE);
    SendMessageA(title, EM_SETSEL, 2, 4);
    RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    DWORD start = 0, end = 0;
    SendMessageA(title, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(DWORD(2), DWORD(4)));
    for (const auto& [typed, kept, unsaved] :
         {std::make_tuple("SUNSET", "Sunset", 0), std::make_tuple("夕焼け", "夕焼け", 1)}) {
        SetDlgItemTextA(Window(), PILTRIN_ZUBBOX_TITLE, typed);
        EXPECT_STREQ(kept, Album().GetPageComment(0));
        EXPECT_EQ(unsaved, Viewer().AlbumUnsaved);
    }
    // Another current page shows its own facts.
    Click(CellCentre(1));
    EXPECT_EQ("", Field(PILTRIN_ZUBBOX_TITLE));
    EXPECT_EQ(Album().GetPagePath(1), Field(PILTRIN_ZUBBOX_PATH));
}

// Minimised windows are placed by their normal rectangles: the viewer's for a
// first box, the box's own as it closes.
TEST_F(ZubBoxTest, TheBoxOpensBesideTheViewerAndReopensWhereItWasClosed) {
    RECT viewer, box;
    GetWindowRect(window_, &viewer);
    ShowWindow(window_, SW_MINIMIZE);
    Open();
    ShowWindow(window_, SW_RESTORE);
    GetWindowRect(Window(), &box);
    EXPECT_EQ(std::make_pair(viewer.left, (viewer.top + viewer.bottom) / 2),
              std::make_pair(box.left, box.top));
    EXPECT_TRUE(GetMenuState(GetSystemMenu(Window(), FALSE), SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_EQ("ズブＢＯＸ", WindowText(Window()));
    SetWindowPos(Window(), nullptr, 33, 44, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(Window(), SW_MINIMIZE);
    SendMessageA(Window(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(nullptr, Window());
    Open();
    GetWindowRect(Window(), &box);
    EXPECT_EQ(std::make_pair(33L, 44L), std::make_pair(box.left, box.top));
}

TEST_F(ZubBoxTest, PixelsShowEdgesFramesAndThumbnailsInTheirOrientation) {
    AddPages(2, 600, 900);
    Album().SetPageOrientation(1, 1);
    Album().AddPage(dir_.File("deleted.bmp").c_str());
    const std::string cover = dir_.File("cover.bmp"), inner = dir_.File("inner.zub");
    WriteBmp(cover, 200, 100, 24, false, Flat(ColourOf(3)));
    ZubAlbum saved;
    saved.AddPage(cover.c_str());
    ASSERT_EQ(1, saved.SaveFile(inner.c_str()));
    Album().AddPage(inner.c_str());
    AddPages(1, 40, 20);
    Album().SetCoverIndex(4);
    Open();
    Click(CellCentre(1), MK_CONTROL);
    ClientPixels p(Window());
    ASSERT_GE(p.Width(), 383);
    ASSERT_GE(p.Height(), 288);
    const Rgb blue = ToRgb(RGB(0, 0, 255)), cyan = ToRgb(RGB(0, 255, 255)),
              failed = ToRgb(kThumbnailFailureColour);
    const Rgb c0 = ColourOf(0), c1 = ColourOf(1), c3 = ColourOf(3), c4 = ColourOf(4);
    // clang-format off
    const struct { int x, y; Rgb colour; bool same; } probes[] = {
        {2, 50, blue, true}, {3, 50, blue, true}, {4, 50, blue, false}, {97, 50, cyan, true},
        {98, 50, cyan, true}, {3, 140, ToRgb(GetSysColor(COLOR_3DLIGHT)), true},  // the album's cover: raised
        {193, 50, ToRgb(GetSysColor(COLOR_3DSHADOW)), true},                      // others sunken
        {19, 50, c0, false}, {20, 50, c0, true}, {79, 50, c0, true}, {80, 50, c0, false},  // 60 x 90
        {50, 5, c0, true}, {50, 94, c0, true},
        {145, 19, c1, false}, {145, 20, c1, true}, {100, 79, c1, true}, {189, 50, c1, true},  // code 1
        {145, 80, c1, false}, {195, 5, failed, true}, {284, 94, failed, true},                 // deleted
        {290, 27, c3, true}, {379, 27, c3, true}, {290, 71, c3, true}, {290, 72, c3, false},  // cover
        {335, 26, c3, false},
        {30, 135, c4, true}, {69, 154, c4, true}, {29, 135, c4, false}, {70, 154, c4, false}};  // 40 x 20
    // clang-format on
    for (const auto& probe : probes)
        EXPECT_EQ(probe.same, p.At(probe.x, probe.y) == probe.colour) << probe.x << "," << probe.y;
}

TEST_F(ZubBoxTest, TheChainBuildsOneCellAMessageAndStopsWhenThePageOrTheBoxGoes) {
    AddPages(24);
    Open();
    EXPECT_EQ(std::make_pair(12, 0), std::make_pair(Built(0, 12), Built(12, 24)));
    SendMessageA(Window(), WM_COMMAND, PILTRIN_ZUBBOX_NEXT, 0);
    UpdateWindow(Window());  // the paint posts the first missing cell
    for (int step = 1; step <= 2; ++step) {
        ASSERT_TRUE(Step());
        EXPECT_EQ(step, Built(12, 24));
        EXPECT_EQ(1, Album().HasThumbnail(11 + step));
    }
    SendMessageA(Window(), WM_COMMAND, PILTRIN_ZUBBOX_PREVIOUS, 0);
    UpdateWindow(Window());  // page 1 is built: nothing is posted
    ASSERT_TRUE(Step());     // cell 14 finds page 1 shown and ends the chain
    EXPECT_FALSE(Step());
    EXPECT_EQ(2, Built(12, 24));
    for (int i = 0; i < 12; ++i) DeleteFileA(Album().GetPagePath(i));
    RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(ColourOf(5), Shown(CellCentre(5)));  // no file read again
    SendMessageA(Window(), WM_COMMAND, PILTRIN_ZUBBOX_NEXT, 0);
    UpdateWindow(Window());
    ASSERT_TRUE(Step());
    EXPECT_EQ(3, Built(12, 24));
    DestroyWindow(Window());
    EXPECT_EQ(nullptr, Window());
    Pump();
    EXPECT_EQ(3, Built(12, 24));
    // Rebuild releases the marked pages and the next paint builds them again.
    Open();
    Click(CellCentre(2), MK_CONTROL);
    SendMessageA(Window(), WM_COMMAND, PILTRIN_ZUBBOX_REBUILD, 0);
    EXPECT_EQ(std::make_pair(1, 0), std::make_pair(Album().HasThumbnail(1), Album().HasThumbnail(2)));
    Pump();
    EXPECT_EQ(1, Album().HasThumbnail(2));
    // The later cells of the page are built again too: their files are gone.
    EXPECT_EQ(ToRgb(kThumbnailFailureColour), Shown(CellCentre(5)));
}

TEST_F(ZubBoxTest, ClosingTheViewerWhileCellsAreBuiltEndsTheBoxBeforeTheAlbum) {
    AddPages(12);
    SendMessageA(window_, WM_COMMAND, kCommandZubBox, 0);
    HWND box = Window();
    UpdateWindow(box);  // the first cell's step is queued
    DestroyWindow(window_);
    EXPECT_FALSE(IsWindow(box));
    Pump();
}
