// The album commands of the menu, album files and the command line, with
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
INT_PTR CALLBACK SilentDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// What the save dialog was asked to show, and how often.
struct SaveRequest {
    std::string proposal, filter, defaultExtension;
    DWORD flags = 0;
    int calls = 0;
};

class AlbumCommandTest : public ViewerWindowTest {
protected:
    // A picture in the test folder that the album has taken in, unsaved.
    void AddUnsavedPage(const std::string& name) {
        WriteBmp(dir_.File(name), 16, 16);
        Viewer().Album->AddPage(dir_.File(name).c_str());
        Viewer().AlbumUnsaved = 1;
    }
    // Answers the save dialog with chosen (cancels when empty).
    void AnswerSaveDialog(const std::string& chosen) {
        PromptAnswerer answerer = RecordingAnswerer();
        answerer.saveFileName = [this, chosen](OPENFILENAMEA* dialog) -> BOOL {
            ++request_.calls;
            request_.proposal = dialog->lpstrFile;
            request_.filter.clear();
            for (const char* f = dialog->lpstrFilter; *f; f += std::strlen(f) + 1)
                request_.filter += f + std::string("|");
            request_.flags = dialog->Flags;
            request_.defaultExtension = dialog->lpstrDefExt ? dialog->lpstrDefExt : "";
            if (chosen.empty()) return FALSE;
            lstrcpynA(dialog->lpstrFile, chosen.c_str(), dialog->nMaxFile);
            return TRUE;
        };
        SetPromptAnswerer(answerer);
    }
    SaveRequest request_;
};
}  // namespace

// Each step of the table runs on the state the previous one left.
TEST_F(AlbumCommandTest, SaveAndSaveAsAskWhereTheyMustAndSayWhyASaveFails) {
    ViewerState& v = Viewer();
    enum Before { kNothing, kAddPage, kChange };
    const struct {
        const char* what;
        Before before;
        int command;
        std::string chosen;    // the dialog's answer, "" cancels
        int calls;             // dialogs shown by this step
        std::string proposal;  // what the dialog proposed
        std::string saved;     // the file that must exist afterwards
        int unsaved;
        std::string message;  // "" none, "*" any system text
    } steps[] = {
        {"save as, empty album", kNothing, kCommandSaveAs, "", 0, "", "", 0, "ズブの内容が空です。"},
        {"save, empty album", kNothing, kCommandSave, "", 0, "", "", 0, "ズブの内容が空です。"},
        {"save as, no path: Tmp in the cover's folder", kAddPage, kCommandSaveAs, dir_.File("trip.zub"), 1,
         dir_.File("Tmp"), dir_.File("trip.zub"), 0, ""},
        {"save as, cancelled: proposes the album's path", kChange, kCommandSaveAs, "", 1,
         dir_.File("trip.zub"), "", 1, ""},
        {"save with a path: silent", kChange, kCommandSave, "", 0, "", dir_.File("trip.zub"), 0, ""},
        {"save as into a missing folder fails and says why", kChange, kCommandSaveAs,
         dir_.File("none\\x.zub"), 1, dir_.File("trip.zub"), "", 1, "*"},
    };
    for (const auto& step : steps) {
        if (step.before == kAddPage) AddUnsavedPage("a.bmp");
        if (step.before == kChange) v.AlbumUnsaved = 1;
        if (!step.saved.empty()) DeleteFileA(step.saved.c_str());
        messages_.clear();
        request_ = SaveRequest{};
        AnswerSaveDialog(step.chosen);
        Command(step.command);
        EXPECT_EQ(request_.calls, step.calls) << step.what;
        if (step.calls) {
            EXPECT_EQ(request_.proposal, step.proposal) << step.what;
            EXPECT_EQ(request_.filter, " BOOK Files {*.zub}|*.zub|All Files {*.*}|*.*|");
            EXPECT_EQ(request_.flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
            EXPECT_EQ(request_.defaultExtension, "zub");
        }
        EXPECT_TRUE(step.saved.empty() || FileExists(step.saved)) << step.what;
        EXPECT_EQ(v.AlbumUnsaved, step.unsaved) << step.what;
        if (step.message.empty()) {
            EXPECT_TRUE(messages_.empty()) << step.what;
        } else {
            ASSERT_EQ(messages_.size(), 1u) << step.what;
            EXPECT_EQ(messages_[0].caption, "Error");
            EXPECT_EQ(step.message == "*" ? messages_[0].text : step.message, messages_[0].text);
            EXPECT_FALSE(messages_[0].text.empty());
            EXPECT_EQ(messages_[0].type & 0xF, static_cast<UINT>(MB_OK));
        }
    }
    // A new album's save asks too, proposing a bare "Tmp".
    v.Album->ClearAll();
    AddUnsavedPage("b.bmp");
    request_ = SaveRequest{};
    AnswerSaveDialog(dir_.File("new.zub"));
    Command(kCommandSave);
    EXPECT_EQ(request_.proposal, "Tmp");
    EXPECT_TRUE(FileExists(dir_.File("new.zub")));
}

TEST_F(AlbumCommandTest, ClearAsksFirstAndForgetsTheAlbum) {
    ViewerState& v = Viewer();
    AddUnsavedPage("a.bmp");
    v.ZubBOXPage = 3;
    for (int answer : {IDCANCEL, IDOK}) {
        messages_.clear();
        messageAnswer_ = answer;
        Command(kCommandClearAlbum);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, "ズブの内容をクリアします。");
        EXPECT_EQ(messages_[0].caption, "ClearZub");
        EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OKCANCEL));
        EXPECT_EQ(v.Album->PageCount(), answer == IDOK ? 0 : 1);
        EXPECT_EQ(v.AlbumUnsaved, answer == IDOK ? 0 : 1);
        EXPECT_EQ(v.ZubBOXPage, answer == IDOK ? 1 : 3);
    }
}

TEST_F(AlbumCommandTest, OpeningAnAlbumShowsItsCoverInItsOrientationAndAFailedOneChangesNothing) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("a.bmp"), 40, 20);
    WriteBmp(dir_.File("b.bmp"), 30, 10);
    ZubAlbum two;
    two.AddPage(dir_.File("a.bmp").c_str());
    two.AddPage(dir_.File("b.bmp").c_str());
    two.SetPageOrientation(1, 1);
    two.SetCoverIndex(1);
    ASSERT_TRUE(two.SaveFile(dir_.File("two.zub").c_str()));
    two.AddPage(dir_.File("c.bmp").c_str());
    ASSERT_TRUE(two.SaveFile(dir_.File("cut.zub").c_str()));
    Bytes cut = ReadFileBytes(dir_.File("cut.zub"));
    cut.resize(cut.size() - 30);  // cut off inside its last page
    WriteFileBytes(dir_.File("cut.zub"), cut);
    WriteFileBytes(dir_.File("bad.zub"), Bytes{'n', 'o', 'p', 'e'});

    ASSERT_EQ(OpenZubFile(window_, dir_.File("two.zub").c_str()), 1);
    EXPECT_EQ(v.DisplayMode, kZubDisplay);
    EXPECT_EQ(v.CurrentZubIndex, 1u);
    EXPECT_EQ(v.CurrentPath, dir_.File("b.bmp"));
    EXPECT_EQ(v.CurrentFolder, dir_.Path());
    EXPECT_EQ(v.PictureSize.cx, 10);  // 30 x 10 turned a quarter
    EXPECT_EQ(v.PictureSize.cy, 30);

    // The open album changed and unsaved; files that cannot be read leave
    // it, its path and its flag alone, and a later save never writes over
    // the file that failed.
    v.Album->AddPage(dir_.File("new.bmp").c_str());
    v.AlbumUnsaved = 1;
    v.DisplayMode = kNormalDisplay;
    for (const char* name : {"bad.zub", "cut.zub"}) {
        messages_.clear();
        EXPECT_EQ(OpenZubFile(window_, dir_.File(name).c_str()), 0);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, "ファイル読み込み時にエラーが発生しました。");
        EXPECT_EQ(messages_[0].caption, "Error");
        EXPECT_EQ(v.DisplayMode, kNormalDisplay) << name;
        EXPECT_EQ(v.Album->PageCount(), 3) << name;
        EXPECT_EQ(std::string(v.Album->GetFilePath()), dir_.File("two.zub")) << name;
        EXPECT_EQ(v.AlbumUnsaved, 1) << name;
    }
    Command(kCommandSave);
    EXPECT_EQ(ReadFileBytes(dir_.File("cut.zub")), cut);
    ZubAlbum reread;
    ASSERT_EQ(reread.LoadFile(dir_.File("two.zub").c_str()), 1);
    EXPECT_EQ(reread.PageCount(), 3);
}

TEST_F(AlbumCommandTest, CommandLinesOfPicturesAndAlbums) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("a.bmp"), 16, 16);
    // A quoted picture path with a space is split at the space, though the
    // whole name exists: only the split makes it missed.
    ASSERT_TRUE(CreateDirectoryA(dir_.File("My Pictures").c_str(), nullptr));
    const std::string spaced = dir_.File("My Pictures\\a.bmp");
    WriteBmp(spaced, 16, 16);
    HandleCommandLine(window_, "\"" + spaced + "\"");
    EXPECT_EQ(v.Album->PageCount(), 0);
    // An album path keeps its spaces and its extension's case is ignored.
    ZubAlbum album;
    album.AddPage(dir_.File("a.bmp").c_str());
    ASSERT_TRUE(album.SaveFile(dir_.File("Summer Trip.ZUB").c_str()));
    HandleCommandLine(window_, dir_.File("Summer Trip.ZUB"));
    EXPECT_EQ(v.Album->PageCount(), 1);
    EXPECT_NE(v.ShownBitmap, nullptr);
    // The argument text after the program name, quoted or not.
    const std::pair<const char*, const char*> arguments[] = {
        {"\"C:\\Program Files\\piltrin.exe\" a.bmp b.bmp", "a.bmp b.bmp"},
        {"piltrin.exe   \"x y.zub\"", "\"x y.zub\""},
        {"piltrin.exe", ""}};
    for (const auto& a : arguments) EXPECT_EQ(ArgumentText(a.first), a.second);
    EXPECT_EQ(UnquotedArgument("\"" + spaced + "\" ignored"), spaced);
    EXPECT_EQ(UnquotedArgument("\"unterminated"), "unterminated");
    EXPECT_EQ(UnquotedArgument("a.bmp b.bmp"), "a.bmp b.bmp");
}

// Pictures become pages once and missing ones are left out. Every show of
// a picture sets the window's title once; a start-up with pictures shows the
// page the zub display lands on, and only that.
TEST_F(AlbumCommandTest, CommandLinePicturesJoinTheAlbumOnceAndEachIsShownOnce) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("a.bmp"), 32, 24);
    WriteBmp(dir_.File("b.bmp"), 16, 16);
    static int titles;
    static WNDPROC original;
    original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window_, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                              if (m == WM_SETTEXT) ++titles;
                              return CallWindowProcA(original, w, m, wp, lp);
                          })));
    struct Case {
        const char* existing;  // a page the album holds before, or null
        DWORD index;           // the current index before
        int orientation;       // the existing page's turn
        const char* shown;
        int shows;
    };
    const Case cases[] = {
        {nullptr, 0, 0, "a.bmp", 1},  // the first picture is the page shown
        {"a.bmp", 0, 3, "a.bmp", 2},  // shown unturned, then as its page turned
        {"b.bmp", 0, 0, "b.bmp", 2},  // the album's current page wins
    };
    for (const Case& c : cases) {
        v.Album->ClearAll();
        if (c.existing) {
            v.Album->AddPage(dir_.File(c.existing).c_str());
            v.Album->SetPageOrientation(0, c.orientation);
        }
        v.CurrentZubIndex = c.index;
        titles = 0;
        HandleCommandLine(window_, dir_.File("a.bmp") + " " + dir_.File("b.bmp") + " " + dir_.File("a.bmp") +
                                       " " + dir_.File("missing.bmp"));
        EXPECT_EQ(v.Album->PageCount(), 2);
        EXPECT_EQ(titles, c.shows) << c.shown;
        EXPECT_EQ(WindowText(window_), c.shown);
        EXPECT_EQ(v.CurrentPath, dir_.File(c.shown));
        EXPECT_EQ(v.CurrentFolder, dir_.Path());
        EXPECT_EQ(v.DisplayMode, kZubDisplay);
        EXPECT_NE(v.ShownBitmap, nullptr);
    }
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
}

TEST_F(AlbumCommandTest, AboutBoxShowsTheVersionAndPausesTheTick) {
    SetPromptAnswerer(PromptAnswerer{});
    // The real template, created modeless here so that the test can read it.
    HWND about = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(PILTRIN_DIALOG_ABOUT),
                                    window_, SilentDialogProc, 0);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(ItemText(about, PILTRIN_ABOUT_VERSION_TEXT), "Piltrin V1.81");
    EXPECT_NE(GetDlgItem(about, IDOK), nullptr);
    DestroyWindow(about);
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
