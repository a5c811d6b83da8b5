// The album commands of the menu, the display modes and album files, with
// every prompt answered by the test.
#include <gtest/gtest.h>

#include <cstring>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/command_line.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/user_prompt.h"
#include "resources/resource_ids.h"
#include "tests/app/viewer_fixture.h"

namespace {
// A picture in dir that the album has taken in and not saved yet.
void AddUnsavedPage(const TempDir& dir, const std::string& name) {
    WriteBmp(dir.File(name), 16, 16);
    Viewer().Album->AddPage(dir.File(name).c_str());
    Viewer().AlbumUnsaved = 1;
}

INT_PTR CALLBACK SilentDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

struct SaveRequest {
    std::string proposal;
    std::string filter;
    DWORD flags = 0;
    std::string defaultExtension;
    int calls = 0;
};

// Answers the save dialog with chosen (or cancels when empty) and records
// what the dialog was asked to show.
void AnswerSaveDialog(SaveRequest* request, const std::string& chosen,
                      std::vector<RecordedMessage>* messages) {
    PromptAnswerer answerer;
    answerer.message = [messages](HWND, const char* text, const char* caption, UINT type) {
        messages->push_back(RecordedMessage{text, caption, type});
        return IDOK;
    };
    answerer.saveFileName = [request, chosen](OPENFILENAMEA* dialog) -> BOOL {
        ++request->calls;
        request->proposal = dialog->lpstrFile;
        const char* f = dialog->lpstrFilter;
        for (; *f; f += std::strlen(f) + 1) request->filter += std::string(f) + "|";
        request->flags = dialog->Flags;
        request->defaultExtension = dialog->lpstrDefExt ? dialog->lpstrDefExt : "";
        if (chosen.empty()) return FALSE;
        lstrcpynA(dialog->lpstrFile, chosen.c_str(), dialog->nMaxFile);
        return TRUE;
    };
    SetPromptAnswerer(answerer);
}
}  // namespace

TEST_F(ViewerWindowTest, AlbumCommandsOnAnEmptyAlbumSayItIsEmpty) {
    for (int command : {kCommandSaveAs, kCommandSave}) {
        messages_.clear();
        Command(command);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, "ズブの内容が空です。");
        EXPECT_EQ(messages_[0].caption, "Error");
        EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OK));
    }
}

TEST_F(ViewerWindowTest, SaveAsProposesTmpInTheCoverFolderAndSaves) {
    ViewerState& v = Viewer();
    AddUnsavedPage(dir_, "a.bmp");
    SaveRequest request;
    AnswerSaveDialog(&request, dir_.File("trip.zub"), &messages_);
    Command(kCommandSaveAs);
    EXPECT_EQ(request.calls, 1);
    EXPECT_EQ(request.proposal, dir_.File("Tmp"));
    EXPECT_EQ(request.filter, " BOOK Files {*.zub}|*.zub|All Files {*.*}|*.*|");
    EXPECT_EQ(request.flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
    EXPECT_EQ(request.defaultExtension, "zub");
    EXPECT_TRUE(FileExists(dir_.File("trip.zub")));
    EXPECT_EQ(v.AlbumUnsaved, 0);

    // Now the album has a path: save-as proposes it, save uses it silently.
    v.AlbumUnsaved = 1;
    SaveRequest again;
    AnswerSaveDialog(&again, "", &messages_);
    Command(kCommandSaveAs);
    EXPECT_EQ(again.proposal, dir_.File("trip.zub"));
    EXPECT_EQ(v.AlbumUnsaved, 1);  // cancelled
    Command(kCommandSave);
    EXPECT_EQ(again.calls, 1);
    EXPECT_EQ(v.AlbumUnsaved, 0);
}

TEST_F(ViewerWindowTest, SaveOfANewAlbumAsksForANameProposingTmp) {
    ViewerState& v = Viewer();
    AddUnsavedPage(dir_, "a.bmp");
    SaveRequest request;
    AnswerSaveDialog(&request, dir_.File("new.zub"), &messages_);
    Command(kCommandSave);
    EXPECT_EQ(request.calls, 1);
    EXPECT_EQ(request.proposal, "Tmp");
    EXPECT_TRUE(FileExists(dir_.File("new.zub")));
    EXPECT_EQ(v.AlbumUnsaved, 0);
}

TEST_F(ViewerWindowTest, FailedSaveKeepsTheAlbumUnsavedAndSaysWhy) {
    ViewerState& v = Viewer();
    AddUnsavedPage(dir_, "a.bmp");
    SaveRequest request;
    AnswerSaveDialog(&request, dir_.File("no such folder\\x.zub"), &messages_);
    Command(kCommandSave);
    EXPECT_EQ(v.AlbumUnsaved, 1);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, "Error");
    EXPECT_FALSE(messages_[0].text.empty());
}

TEST_F(ViewerWindowTest, ClearAsksFirstAndForgetsTheAlbum) {
    ViewerState& v = Viewer();
    AddUnsavedPage(dir_, "a.bmp");
    v.CurrentZubIndex = 0;
    messageAnswer_ = IDCANCEL;
    Command(kCommandClearAlbum);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "ズブの内容をクリアします。");
    EXPECT_EQ(messages_[0].caption, "ClearZub");
    EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_EQ(v.Album->PageCount(), 1);

    messageAnswer_ = IDOK;
    Command(kCommandClearAlbum);
    EXPECT_EQ(v.Album->PageCount(), 0);
    EXPECT_EQ(v.AlbumUnsaved, 0);
    EXPECT_EQ(v.ZubBOXPage, 1);
}

TEST_F(ViewerWindowTest, OpeningAnAlbumShowsItsCoverPageInItsOrientation) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("a.bmp"), 40, 20);
    WriteBmp(dir_.File("b.bmp"), 30, 10);
    {
        ZubAlbum album;
        album.AddPage(dir_.File("a.bmp").c_str());
        album.AddPage(dir_.File("b.bmp").c_str());
        album.SetPageOrientation(1, 1);
        album.SetCoverIndex(1);
        ASSERT_TRUE(album.SaveFile(dir_.File("two.zub").c_str()));
    }
    ASSERT_EQ(OpenZubFile(window_, dir_.File("two.zub").c_str()), 1);
    EXPECT_EQ(v.DisplayMode, kZubDisplay);
    EXPECT_EQ(v.CurrentZubIndex, 1u);
    EXPECT_EQ(v.CurrentPath, dir_.File("b.bmp"));
    EXPECT_EQ(v.CurrentFolder, dir_.Path());
    // Turned a quarter: 30 x 10 becomes 10 x 30.
    EXPECT_EQ(v.PictureSize.cx, 10);
    EXPECT_EQ(v.PictureSize.cy, 30);
}

TEST_F(ViewerWindowTest, AnAlbumThatCannotBeReadIsReportedAndChangesNothing) {
    ViewerState& v = Viewer();
    // The open album: one page, saved once, then changed.
    v.Album->AddPage(dir_.File("mine.bmp").c_str());
    ASSERT_TRUE(v.Album->SaveFile(dir_.File("mine.zub").c_str()));
    v.Album->AddPage(dir_.File("new.bmp").c_str());
    v.AlbumUnsaved = 1;
    // A file that is no album, and one cut off after its first page.
    WriteFileBytes(dir_.File("bad.zub"), Bytes{'n', 'o', 'p', 'e'});
    {
        ZubAlbum other;
        for (const char* name : {"x.bmp", "y.bmp", "z.bmp"}) other.AddPage(dir_.File(name).c_str());
        ASSERT_TRUE(other.SaveFile(dir_.File("cut.zub").c_str()));
    }
    Bytes cut = ReadFileBytes(dir_.File("cut.zub"));
    cut.resize(cut.size() - 30);
    WriteFileBytes(dir_.File("cut.zub"), cut);

    for (const char* name : {"bad.zub", "cut.zub"}) {
        messages_.clear();
        EXPECT_EQ(OpenZubFile(window_, dir_.File(name).c_str()), 0);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, "ファイル読み込み時にエラーが発生しました。");
        EXPECT_EQ(messages_[0].caption, "Error");
        EXPECT_EQ(v.DisplayMode, kNormalDisplay);
        EXPECT_EQ(v.Album->PageCount(), 2);
        EXPECT_EQ(std::string(v.Album->GetFilePath()), dir_.File("mine.zub"));
        EXPECT_EQ(v.AlbumUnsaved, 1);
    }
    // Saving now writes the open album to its own file, never over the cut one.
    Command(kCommandSave);
    EXPECT_EQ(ReadFileBytes(dir_.File("cut.zub")), cut);
    ZubAlbum reread;
    ASSERT_EQ(reread.LoadFile(dir_.File("mine.zub").c_str()), 1);
    EXPECT_EQ(reread.PageCount(), 2);
}

TEST_F(ViewerWindowTest, CommandLinePicturesBecomePagesOnce) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("a.bmp"), 16, 16);
    WriteBmp(dir_.File("b.bmp"), 16, 16);
    HandleCommandLine(window_, dir_.File("a.bmp") + " " + dir_.File("b.bmp") + " " + dir_.File("a.bmp") +
                                   " " + dir_.File("missing.bmp"));
    EXPECT_EQ(v.Album->PageCount(), 2);
    EXPECT_EQ(v.DisplayMode, kZubDisplay);
    EXPECT_EQ(v.CurrentPath, dir_.File("a.bmp"));
    EXPECT_EQ(v.CurrentFolder, dir_.Path());
}

TEST_F(ViewerWindowTest, QuotedCommandLineWithASpaceIsSplitAndFindsNothing) {
    ViewerState& v = Viewer();
    // The picture exists under its whole name: only the split makes it missed.
    ASSERT_TRUE(CreateDirectoryA(dir_.File("My Pictures").c_str(), nullptr));
    const std::string picture = dir_.File("My Pictures\\a.bmp");
    WriteBmp(picture, 16, 16);
    EXPECT_EQ(UnquotedArgument("\"" + picture + "\" ignored"), picture);
    HandleCommandLine(window_, "\"" + picture + "\"");
    EXPECT_EQ(v.Album->PageCount(), 0);
    EXPECT_EQ(v.ShownBitmap, nullptr);
}

TEST_F(ViewerWindowTest, CommandLineAlbumPathKeepsItsSpacesAndIgnoresCase) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("a.bmp"), 16, 16);
    {
        ZubAlbum album;
        album.AddPage(dir_.File("a.bmp").c_str());
        ASSERT_TRUE(album.SaveFile(dir_.File("Summer Trip.ZUB").c_str()));
    }
    HandleCommandLine(window_, dir_.File("Summer Trip.ZUB"));
    EXPECT_EQ(v.Album->PageCount(), 1);
    EXPECT_EQ(v.DisplayMode, kZubDisplay);
    EXPECT_NE(v.ShownBitmap, nullptr);
}

TEST(CommandLine, ArgumentTextSkipsTheProgramNameQuotedOrNot) {
    EXPECT_EQ(ArgumentText("\"C:\\Program Files\\piltrin.exe\" a.bmp b.bmp"), "a.bmp b.bmp");
    EXPECT_EQ(ArgumentText("piltrin.exe   \"x y.zub\""), "\"x y.zub\"");
    EXPECT_EQ(ArgumentText("piltrin.exe"), "");
    EXPECT_EQ(UnquotedArgument("\"unterminated"), "unterminated");
    EXPECT_EQ(UnquotedArgument("a.bmp b.bmp"), "a.bmp b.bmp");
}

TEST_F(ViewerWindowTest, AboutBoxShowsTheVersion) {
    SetPromptAnswerer(PromptAnswerer{});
    // The real template, created modeless here so that the test can read it.
    HWND about = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(PILTRIN_DIALOG_ABOUT),
                                    window_, SilentDialogProc, 0);
    ASSERT_NE(about, nullptr);
    char text[64] = "";
    GetDlgItemTextA(about, PILTRIN_ABOUT_VERSION_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "Piltrin V1.81");
    EXPECT_NE(GetDlgItem(about, IDOK), nullptr);
    DestroyWindow(about);

    // The command runs it modally and pauses the tick meanwhile.
    int tickActiveDuring = -1;
    LPCSTR shownTemplate = nullptr;
    PromptAnswerer answerer;
    answerer.dialog = [&](LPCSTR name, HWND, DLGPROC, LPARAM) -> INT_PTR {
        tickActiveDuring = Viewer().TickActive;
        shownTemplate = name;
        return IDOK;
    };
    SetPromptAnswerer(answerer);
    Command(kCommandAbout);
    EXPECT_EQ(tickActiveDuring, 0);
    EXPECT_EQ(shownTemplate, MAKEINTRESOURCEA(PILTRIN_DIALOG_ABOUT));
    EXPECT_EQ(Viewer().TickActive, 1);
}
