#include <gtest/gtest.h>

#include <string>

#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/popup_menu.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/dialogs/info_box.h"
#include "resources/resource_ids.h"
#include "tests/app/viewer_fixture.h"

namespace {
class InfoBoxTest : public ViewerWindowTest {
protected:
    void SetUp() override {
        ViewerWindowTest::SetUp();
        InfoBoxRect() = RECT{0, 0, 0, 0};
        RegisterInfoBoxCommands();
        Open();
    }
    void Open() {
        Command(kCommandInfoBox);
        ASSERT_NE(Box(), nullptr);
    }
    HWND Box() const { return Viewer().InfoBOXWindow; }
    std::string Field(int id) const { return ItemText(Box(), id); }
    // Every field, in the box's order: title, name, folder, KiB, width, height, depth, time.
    std::vector<std::string> Fields() const {
        std::vector<std::string> texts;
        for (int id : {PILTRIN_INFOBOX_TITLE, PILTRIN_INFOBOX_FILE_NAME, PILTRIN_INFOBOX_FOLDER,
                       PILTRIN_INFOBOX_SIZE_KIB, PILTRIN_INFOBOX_WIDTH, PILTRIN_INFOBOX_HEIGHT,
                       PILTRIN_INFOBOX_DEPTH, PILTRIN_INFOBOX_WRITE_TIME})
            texts.push_back(Field(id));
        return texts;
    }
    // Shows a picture of the test's folder, as the FileBOX would.
    void ShowHere(const std::string& name, int orientation = 0) {
        lstrcpynA(Viewer().CurrentFolder, dir_.Path().c_str(), MAX_PATH);
        Show(dir_.File(name), orientation);
    }
    std::pair<LONG, LONG> BoxPlace() const {
        RECT r;
        GetWindowRect(Box(), &r);
        return {r.left, r.top};
    }
};

// A 24-bit picture whose file is padded to bytes and last written at the
// given local time.
void WritePicture(const std::string& path, int width, int height, size_t bytes, SYSTEMTIME localTime) {
    Bytes file = MakeBmp(width, height, 24);
    if (file.size() < bytes) file.resize(bytes, 0);
    ASSERT_TRUE(WriteFileBytes(path, file));
    FILETIME local, utc;
    SystemTimeToFileTime(&localTime, &local);
    LocalFileTimeToFileTime(&local, &utc);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(handle, nullptr, nullptr, &utc);
    CloseHandle(handle);
}
}  // namespace

TEST_F(InfoBoxTest, FieldsShowTheFactsOfTheShownPicture) {
    // clang-format off
    const struct { const char* name; size_t bytes; SYSTEMTIME written; /* local */ const char *kib, *time; }
    cases[] = {
        {"big.bmp", 2048 * 1024, {2000, 1, 0, 3, 9, 5, 0, 0}, "   2,048", "[ 100/01/03 09:05 ]"},
        {"even.bmp", 1000 * 1024 + 1023, {1999, 12, 0, 31, 23, 59, 0, 0}, "    1000", "[ 99/12/31 23:59 ]"},
        {"over.bmp", 1001 * 1024, {2024, 7, 0, 1, 0, 0, 0, 0}, "   1,001", "[ 124/07/01 00:00 ]"},
        {"small.bmp", 0, {1980, 1, 0, 1, 12, 30, 0, 0}, "       3", "[ 80/01/01 12:30 ]"}};
    // clang-format on
    for (const auto& c : cases) {
        WritePicture(dir_.File(c.name), 40, 30, c.bytes, c.written);
        ShowHere(c.name);
        EXPECT_EQ(Fields(), (std::vector<std::string>{"It isn't Book member.", c.name, dir_.Path(), c.kib,
                                                      "40", "30", "24", c.time}));
    }
    // A turned picture shows the size on screen; a missing one empties every
    // field but the depth.
    ShowHere("big.bmp", 1);
    EXPECT_EQ(Field(PILTRIN_INFOBOX_WIDTH), "30");
    EXPECT_EQ(Field(PILTRIN_INFOBOX_HEIGHT), "40");
    ShowHere("missing.bmp");
    EXPECT_EQ(Fields(), (std::vector<std::string>{"", "", "", "", "", "", "24", ""}));
}

TEST_F(InfoBoxTest, TheTitleIsThePageCommentAndTextPutThereBecomesIt) {
    ZubAlbum& album = *Viewer().Album;
    WriteBmp(dir_.File("page.bmp"), 16, 16);
    const int page = album.AddPage(dir_.File("page.bmp").c_str());
    album.SetPageComment(page, "夏の海");
    album.SetZubModified(0);
    ShowHere("page.bmp");
    EXPECT_EQ(Field(PILTRIN_INFOBOX_TITLE), "夏の海");
    EXPECT_EQ(album.ZubModified(), 0);  // the box's own refresh stores nothing

    SetDlgItemTextA(Box(), PILTRIN_INFOBOX_TITLE, "冬の山");
    EXPECT_STREQ(album.GetPageComment(page), "冬の山");

    // The page's file gone: the emptied field leaves the comment alone.
    DeleteFileA(dir_.File("page.bmp").c_str());
    ShowHere("page.bmp");
    EXPECT_EQ(Field(PILTRIN_INFOBOX_TITLE), "");
    EXPECT_STREQ(album.GetPageComment(page), "冬の山");
}

TEST_F(InfoBoxTest, ClosedBoxComesBackWhereItWasLeft) {
    // Open: the menu item is greyed and the box cannot be maximised.
    UpdateMenu(Viewer().DisplayMode);
    EXPECT_TRUE(GetMenuState(Viewer().PopupMenu, kCommandInfoBox, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(GetSystemMenu(Box(), FALSE), SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_EQ(GetWindow(Box(), GW_OWNER), window_);
    WriteBmp(dir_.File("a.bmp"), 16, 16);

    const std::pair<UINT, POINT> closes[] = {{WM_COMMAND, POINT{70, 60}}, {WM_SYSCOMMAND, POINT{90, 80}}};
    for (const auto& [message, place] : closes) {
        SCOPED_TRACE(message);  // the button, the close box
        SetWindowPos(Box(), nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        SendMessageA(Box(), message, message == WM_COMMAND ? IDOK : SC_CLOSE, 0);
        Pump();
        EXPECT_EQ(Box(), nullptr);
        EXPECT_EQ(InfoBoxRect().left, place.x);
        EXPECT_EQ(InfoBoxRect().top, place.y);
        UpdateMenu(Viewer().DisplayMode);
        EXPECT_FALSE(GetMenuState(Viewer().PopupMenu, kCommandInfoBox, MF_BYCOMMAND) & MF_GRAYED);
        Open();
        EXPECT_EQ(BoxPlace(), std::make_pair(place.x, place.y));
        // Moved away, it returns at the next picture.
        SetWindowPos(Box(), nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowHere("a.bmp");
        EXPECT_EQ(BoxPlace(), std::make_pair(place.x, place.y));
    }
}
