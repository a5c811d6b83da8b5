// The album commands of the menu, album files, the command line and files
// dropped onto the viewer (built as the shell builds its drops), with every
// prompt answered by the test; and the drop block the viewer gives to other
// windows.
#include <cstring>
#include <tuple>

#include "album/record_file.h"
#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/command_line.h"
#include "app/file_drops.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/scoped_handles.h"
#include "resources/resource_ids.h"
#include "tests/app/viewer_fixture.h"

namespace {
class AlbumCommandTest : public ViewerWindowTest {
protected:
    // A picture in the test folder that the album has taken in, unsaved.
    void AddUnsavedPage(const std::string& name) {
        WriteBmp(dir_.File(name), 16, 16);
        Viewer().Album->AddPage(dir_.File(name).c_str());
        Viewer().AlbumUnsaved = 1;
    }
    // Answers the save dialog with chosen (cancels when empty); proposals_
    // keeps what each dialog proposed.
    void AnswerSaveDialog(const std::string& chosen) {
        PromptAnswerer answerer = RecordingAnswerer();
        answerer.saveFileName = [this, chosen](OPENFILENAMEA* dialog) -> BOOL {
            proposals_.push_back(dialog->lpstrFile);
            EXPECT_EQ(dialog->Flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
            EXPECT_STREQ(dialog->lpstrDefExt, "zub");
            if (chosen.empty()) return FALSE;
            lstrcpynA(dialog->lpstrFile, chosen.c_str(), dialog->nMaxFile);
            return TRUE;
        };
        SetPromptAnswerer(answerer);
    }
    Texts proposals_;
};
}  // namespace

// Each step runs on the album the previous one left.
TEST_F(AlbumCommandTest, SaveAndSaveAsAskWhereTheyMustAndSayWhyASaveFails) {
    ViewerState& v = Viewer();
    enum Before { kNothing, kAddPage, kChange, kNewAlbum };
    const std::string trip = dir_.File("trip.zub"), empty = "ズブの内容が空です。";
    // What comes first, the command, the dialog's answer ("" cancels), what it proposed ("" not shown), the
    // file that must exist afterwards, the flag afterwards, and the message ("" none, "*" any system text).
    const std::tuple<Before, int, std::string, std::string, std::string, int, std::string> steps[] = {
        {kNothing, kCommandSaveAs, "", "", "", 0, empty},
        {kNothing, kCommandSave, "", "", "", 0, empty},
        {kAddPage, kCommandSaveAs, trip, dir_.File("Tmp"), trip, 0, ""},        // Tmp in the cover's folder
        {kChange, kCommandSaveAs, "", trip, "", 1, ""},                         // cancelled: the album's path
        {kChange, kCommandSave, "", "", trip, 0, ""},                           // with a path: silent
        {kChange, kCommandSaveAs, dir_.File("none\\x.zub"), trip, "", 1, "*"},  // into a missing folder
        {kNewAlbum, kCommandSave, dir_.File("new.zub"), "Tmp", dir_.File("new.zub"), 0, ""},  // a bare Tmp
    };
    int row = 0;
    for (const auto& [before, command, chosen, proposal, saved, unsaved, message] : steps) {
        SCOPED_TRACE(row++);
        if (before == kNewAlbum) v.Album->ClearAll();
        if (before == kAddPage || before == kNewAlbum) AddUnsavedPage("a.bmp");
        if (before == kChange) v.AlbumUnsaved = 1;
        if (!saved.empty()) DeleteFileA(saved.c_str());
        messages_.clear();
        proposals_.clear();
        AnswerSaveDialog(chosen);
        Command(command);
        EXPECT_EQ(proposals_, proposal.empty() ? Texts{} : Texts{proposal});
        EXPECT_TRUE(saved.empty() || FileExists(saved));
        EXPECT_EQ(v.AlbumUnsaved, unsaved);
        ASSERT_EQ(messages_.size(), message.empty() ? 0u : 1u);
        if (message.empty()) continue;
        EXPECT_EQ(messages_[0].caption, "Error");
        EXPECT_EQ(message == "*" ? messages_[0].text : message, messages_[0].text);
        EXPECT_FALSE(messages_[0].text.empty());
        EXPECT_EQ(messages_[0].type & 0xF, static_cast<UINT>(MB_OK));
    }
}

// Whatever keeps a save from replacing the album (it is read-only, the disk
// fills up half-way, another program holds it open), the album on disk stays
// byte for byte, the album stays unsaved, and the message is the system's
// text for that reason.
TEST_F(AlbumCommandTest, ASaveThatCannotReplaceTheAlbumLeavesItAndSaysWhy) {
    ViewerState& v = Viewer();
    const std::string trip = dir_.File("trip.zub");
    AddUnsavedPage("a.bmp");
    ASSERT_TRUE(v.Album->SaveFile(trip.c_str()));
    const Bytes before = ReadFileBytes(trip);
    AddUnsavedPage("b.bmp");
    for (DWORD why : {ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ERROR_SHARING_VIOLATION}) {
        SCOPED_TRACE(why);
        SetFileAttributesA(trip.c_str(),
                           why == ERROR_ACCESS_DENIED ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        LimitRecordWrites(why == ERROR_DISK_FULL ? 100 : UINT64_MAX);
        FileHandle holder(why == ERROR_SHARING_VIOLATION
                              ? CreateFileA(trip.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                              : INVALID_HANDLE_VALUE);
        messages_.clear();
        Command(kCommandSave);
        LimitRecordWrites(UINT64_MAX);
        holder.reset();
        SetFileAttributesA(trip.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadFileBytes(trip), before);
        EXPECT_EQ(v.AlbumUnsaved, 1);
        char text[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, why, 0, text,
                       sizeof text, nullptr);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, text);
    }
}

TEST_F(AlbumCommandTest, ClearAsksFirstAndForgetsTheAlbum) {
    ViewerState& v = Viewer();
    AddUnsavedPage("a.bmp");
    v.ZubBOXPage = 3;
    for (int answer : {IDCANCEL, IDOK}) {
        messageAnswer_ = answer;
        Command(kCommandClearAlbum);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OKCANCEL));
        EXPECT_EQ(TakeMessages(), Texts{"ClearZub: ズブの内容をクリアします。"});
        EXPECT_EQ((std::vector<int>{v.Album->PageCount(), v.AlbumUnsaved, v.ZubBOXPage}),
                  (answer == IDOK ? std::vector<int>{0, 0, 1} : std::vector<int>{1, 1, 3}));
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
    // The mode, the page, and 30 x 10 turned a quarter.
    EXPECT_EQ((std::vector<LONG>{v.DisplayMode, static_cast<LONG>(v.CurrentZubIndex), v.PictureSize.cx,
                                 v.PictureSize.cy}),
              (std::vector<LONG>{kZubDisplay, 1, 10, 30}));
    EXPECT_EQ((Texts{v.CurrentPath, v.CurrentFolder}), (Texts{dir_.File("b.bmp"), dir_.Path()}));

    // The open album changed and unsaved; files that cannot be read leave
    // it, its path and its flag alone, and a later save never writes over
    // the file that failed.
    v.Album->AddPage(dir_.File("new.bmp").c_str());
    v.AlbumUnsaved = 1;
    v.DisplayMode = kNormalDisplay;
    for (const char* name : {"bad.zub", "cut.zub"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(OpenZubFile(window_, dir_.File(name).c_str()), 0);
        EXPECT_EQ(TakeMessages(), Texts{"Error: ファイル読み込み時にエラーが発生しました。"});
        EXPECT_EQ((std::vector<int>{v.DisplayMode, v.Album->PageCount(), v.AlbumUnsaved}),
                  (std::vector<int>{kNormalDisplay, 3, 1}));
        EXPECT_EQ(std::string(v.Album->GetFilePath()), dir_.File("two.zub"));
    }
    Command(kCommandSave);
    EXPECT_EQ(ReadFileBytes(dir_.File("cut.zub")), cut);
    ZubAlbum reread;
    ASSERT_EQ(reread.LoadFile(dir_.File("two.zub").c_str()), 1);
    EXPECT_EQ(reread.PageCount(), 3);
}

// The argument text after the program name, quoted or not.
TEST(CommandLine, ArgumentTextAndItsQuotes) {
    for (const auto& [line, text] :
         {std::pair{"\"C:\\Program Files\\piltrin.exe\" a.bmp b.bmp", "a.bmp b.bmp"},
          {"piltrin.exe   \"x y.zub\"", "\"x y.zub\""},
          {"piltrin.exe", ""}})
        EXPECT_EQ(ArgumentText(line), text);
    for (const auto& [text, unquoted] :
         {std::pair<std::string, std::string>{"\"C:\\a b\\c.bmp\" x", "C:\\a b\\c.bmp"},
          {"\"unterminated", "unterminated"},
          {"a.bmp b.bmp", "a.bmp b.bmp"}})
        EXPECT_EQ(UnquotedArgument(text), unquoted);
}

TEST_F(AlbumCommandTest, AboutBoxPausesTheTick) {
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

namespace {
// A window of this process that keeps the bytes of the drops it receives.
std::vector<Bytes> g_receivedDrops;
LRESULT CALLBACK DropReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DROPFILES) return DefWindowProcA(window, message, wParam, lParam);
    HGLOBAL block = reinterpret_cast<HGLOBAL>(wParam);
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    g_receivedDrops.emplace_back(bytes, bytes + GlobalSize(block));
    GlobalUnlock(block);
    DragFinish(reinterpret_cast<HDROP>(wParam));
    return 0;
}

HWND MakeDropReceiver(DWORD exStyle, HWND parent = nullptr) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DropReceiverProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PiltrinTestDropReceiver";
    RegisterClassA(&windowClass);
    return CreateWindowExA(exStyle, "PiltrinTestDropReceiver", "", parent ? WS_CHILD : WS_POPUP, 0, 0, 50, 50,
                           parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

class FileDropTest : public ViewerWindowTest {
protected:
    void Drop(const std::vector<std::string>& names) {
        SendMessageA(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
        Pump();
    }
};
}  // namespace

// Every way a file comes in, each on a fresh album. Pictures become pages
// once and missing ones are left out; every show of a picture sets the
// window's title once, and a start-up with pictures shows the page the zub
// display lands on, and only that. A quoted picture path with a space is
// split at the space though the whole name exists: only the split makes it
// missed. An album path keeps its spaces and its extension's case is
// ignored. Dropped pictures join the album only with adding on, and then
// the display stays as it was (not the default, so that this can fail).
TEST_F(FileDropTest, WaysInGivePagesShownPictureModeFlagAndTitle) {
    ViewerState& v = Viewer();
    EXPECT_TRUE(GetWindowLongA(window_, GWL_EXSTYLE) &
                WS_EX_ACCEPTFILES);  // the shell drops only on such windows
    const std::string a = dir_.File("a.bmp"), b = dir_.File("b.bmp"),
                      spaced = dir_.File("My Pictures\\a.bmp");
    WriteBmp(a, 32, 24);
    WriteBmp(b, 16, 16);
    ASSERT_TRUE(CreateDirectoryA(dir_.File("My Pictures").c_str(), nullptr));
    WriteBmp(spaced, 16, 16);
    ZubAlbum album;
    album.AddPage(a.c_str());
    ASSERT_TRUE(album.SaveFile(dir_.File("Summer Trip.ZUB").c_str()));
    WriteFileBytes(dir_.File("notes.txt"), Bytes{'h', 'i'});
    static int titles;
    static WNDPROC original;
    original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window_, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                              if (m == WM_SETTEXT) ++titles;
                              return CallWindowProcA(original, w, m, wp, lp);
                          })));
    const std::vector<std::string> pictures{a, b, a, dir_.File("missing.bmp")};
    const std::vector<std::string> dropped{a, b, a}, zub{dir_.File("Summer Trip.ZUB")},
        text{dir_.File("notes.txt")};
    enum Way { kCommandLine, kDrop, kDropWithAdding };
    struct Row {
        Way way;
        std::vector<std::string> names;  // a command line's names are joined by spaces
        const char* page;                // the album's page before ("" none), and its turn
        int orientation, modeBefore;
        int pages, index, unsaved, mode;
        const char* shown;  // "" nothing
        int shows;
    };
    const Row rows[] = {
        {kCommandLine, pictures, "", 0, kNormalDisplay, 2, 0, 0, kZubDisplay, "a.bmp", 1},
        {kCommandLine, pictures, "a.bmp", 3, kNormalDisplay, 2, 0, 0, kZubDisplay, "a.bmp",
         2},  // unturned, then turned
        {kCommandLine, pictures, "b.bmp", 0, kNormalDisplay, 2, 0, 0, kZubDisplay, "b.bmp",
         2},  // the album's page wins
        {kCommandLine, {"\"" + spaced + "\""}, "", 0, kNormalDisplay, 0, 0, 0, kZubDisplay, "", 0},
        {kCommandLine, zub, "", 0, kNormalDisplay, 1, 0, 0, kZubDisplay, "a.bmp", 1},
        {kDrop, dropped, "", 0, kZubDisplay, 0, 0, 0, kNormalDisplay, "a.bmp", 1},
        {kDropWithAdding, dropped, "b.bmp", 0, kZubDisplay, 2, 1, 1, kZubDisplay, "a.bmp", 1},
        {kDrop, zub, "", 0, kNormalDisplay, 1, 0, 0, kZubDisplay, "a.bmp", 1},
        {kDrop, text, "", 0, kNormalDisplay, 0, 0, 0, kNormalDisplay, "", 0},
    };
    int row = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(row++);
        v.Album->ClearAll();
        if (r.page[0]) v.Album->AddPage(dir_.File(r.page).c_str());
        v.Album->SetPageOrientation(0, r.orientation);
        v.CurrentZubIndex = 0;
        v.AlbumUnsaved = 0;
        v.DisplayMode = r.modeBefore;
        v.Settings.AutoAddDropped = r.way == kDropWithAdding;
        titles = 0;
        std::string line;
        for (const std::string& name : r.names) line += (line.empty() ? "" : " ") + name;
        r.way == kCommandLine ? HandleCommandLine(window_, line) : Drop(r.names);
        EXPECT_EQ((std::vector<int>{v.Album->PageCount(), static_cast<int>(v.CurrentZubIndex), v.AlbumUnsaved,
                                    v.DisplayMode, titles}),
                  (std::vector<int>{r.pages, r.index, r.unsaved, r.mode, r.shows}));
        EXPECT_TRUE(messages_.empty());
        if (!r.shows) continue;
        EXPECT_EQ((Texts{WindowText(window_), v.CurrentPath, v.CurrentFolder}),
                  (Texts{r.shown, dir_.File(r.shown), dir_.Path()}));
        EXPECT_NE(v.ShownBitmap, nullptr);
    }
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
}

TEST_F(FileDropTest, ShownPictureGoesOutAsAShellDropBlock) {
    g_receivedDrops.clear();
    HWND receiver = MakeDropReceiver(WS_EX_ACCEPTFILES);
    ASSERT_NE(receiver, nullptr);
    EXPECT_EQ(SendFileDrop(receiver, "C:\\a.jpg", 7, 9), 1);
    // The header's size, the point, not in the non-client area, not wide; the name and the list's end.
    Bytes expected;
    for (uint32_t field : {20, 7, 9, 0, 0}) PutU32(expected, field);
    PutText(expected, std::string("C:\\a.jpg\0", 10));
    EXPECT_EQ(g_receivedDrops, std::vector<Bytes>{expected});
    // A prepared list of two names, as the album box sends it.
    const char list[] = "C:\\a.jpg\0D:\\b.png\0";
    SendFilesDrop(receiver, list, sizeof list, 1, 2);
    ASSERT_EQ(g_receivedDrops.size(), 2u);
    EXPECT_EQ(g_receivedDrops[1].size(), sizeof list + 22);
    EXPECT_EQ(std::memcmp(g_receivedDrops[1].data() + 20, list, sizeof list), 0);
    DestroyWindow(receiver);
}

TEST_F(FileDropTest, DropTargetClimbsToTheWindowThatAcceptsFiles) {
    HWND top = MakeDropReceiver(0);
    HWND middle = MakeDropReceiver(WS_EX_ACCEPTFILES, top);
    HWND leaf = MakeDropReceiver(0, middle);
    EXPECT_EQ(DropTargetAt(leaf, false, false), middle);
    EXPECT_EQ(DropTargetAt(leaf, true, false), leaf);  // shift: the control itself
    EXPECT_EQ(DropTargetAt(leaf, false, true), top);   // ctrl: the top-level window
    EXPECT_EQ(DropTargetAt(middle, false, false), middle);
    DestroyWindow(top);
}

TEST_F(FileDropTest, RightDragShowsWhereAReleaseGoesAndDropsThePicture) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("shown.bmp"), 16, 16);
    Show(dir_.File("shown.bmp"));
    g_receivedDrops.clear();
    HWND taker = MakeDropReceiver(WS_EX_ACCEPTFILES), refuser = MakeDropReceiver(0);
    SetWindowPos(taker, HWND_TOP, 600, 400, 60, 60, SWP_SHOWWINDOW);
    SetWindowPos(refuser, HWND_TOP, 700, 400, 60, 60, SWP_SHOWWINDOW);
    Pump();
    MouseAt(WM_RBUTTONDOWN, MK_RBUTTON, 20, 20);
    EXPECT_EQ(v.RightDragging, 1);
    ASSERT_NE(v.NoDropCursor, nullptr);
    ASSERT_NE(v.DropCursor, nullptr);
    // Over the viewer itself, over a window that takes no files, over one that does.
    POINT viewer{20, 20};
    ClientToScreen(window_, &viewer);
    for (const auto& [at, cursor] :
         {std::pair{viewer, v.ArrowCursor}, std::pair{POINT{730, 430}, v.NoDropCursor},
          std::pair{POINT{630, 430}, v.DropCursor}}) {
        SetCursorPos(at.x, at.y);
        SendMessageA(window_, WM_MOUSEMOVE, MK_RBUTTON, 0);
        EXPECT_EQ(GetCursor(), cursor) << at.x;
    }
    SendMessageA(window_, WM_RBUTTONUP, 0, 0);
    EXPECT_EQ(v.RightDragging, 0);
    ASSERT_EQ(g_receivedDrops.size(), 1u);
    const Bytes& block = g_receivedDrops[0];
    EXPECT_EQ(block[4], 30);  // drop point in the target's client coordinates
    EXPECT_EQ(block[8], 30);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data() + 20)), dir_.File("shown.bmp"));
    // With nothing shown there is nothing to hand over.
    Show(dir_.File("missing.bmp"));
    SendMessageA(window_, WM_RBUTTONDOWN, MK_RBUTTON, 0);
    SendMessageA(window_, WM_RBUTTONUP, 0, 0);
    EXPECT_EQ(g_receivedDrops.size(), 1u);
    DestroyWindow(taker);
    DestroyWindow(refuser);
}
