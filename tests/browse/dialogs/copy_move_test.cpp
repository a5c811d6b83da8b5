#include <gtest/gtest.h>

#include <functional>

#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/dialogs/copy_move.h"
#include "browse/file_utils.h"
#include "browse/user_prompt.h"
#include "resources/resource_ids.h"
#include "tests/app/viewer_fixture.h"

using Names = std::vector<std::string>;

class CopyMoveTest : public ViewerWindowTest {
protected:
    static inline std::function<void(HWND)> drive;
    static inline UINT_PTR timer = 0;
    static inline int dialogsRun = 0;
    // The dialog runs its own loop; a timer hands it to the test's driver.
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = FindWindowA("#32770", "ズブの内容を複製");
        if (!dialog) return;
        KillTimer(nullptr, timer);
        drive(dialog);
    }
    void SetUp() override {
        ViewerWindowTest::SetUp();
        dialogsRun = 0;
        RegisterCopyMoveCommands();
        PromptAnswerer answerer = RecordingAnswerer();
        answerer.dialog = [](LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param) -> INT_PTR {
            ++dialogsRun;
            timer = SetTimer(nullptr, 0, 20, OnTimer);
            return DialogBoxParamA(GetModuleHandleA(nullptr), name, owner, procedure, param);
        };
        SetPromptAnswerer(answerer);
    }
    // Pages from the files (made as pictures, CurrentFolder the first's
    // folder); then the dialog, which must open there with the box unticked,
    // is shown folder, ticked for a move, and ended with button.
    void Run(const Names& files, const std::string& folder, bool move, int button = IDOK) {
        Viewer().Album->ClearAll();
        for (const std::string& f : files) {
            CreateDirectoryA(f.substr(0, FileNamePart(f.c_str()) - f.c_str()).c_str(), nullptr);
            WriteBmp(f, 8, 8);
            Viewer().Album->AddPage(f.c_str());
        }
        FolderOf(Viewer().CurrentFolder, files[0].c_str());
        Viewer().AlbumUnsaved = 0;
        drive = [=](HWND dialog) {
            char shown[MAX_PATH];
            GetSelectedFolder(FolderDialogConfigOf(dialog), shown);
            EXPECT_STREQ(shown, Viewer().CurrentFolder);
            EXPECT_EQ(IsDlgButtonChecked(dialog, PILTRIN_COPY_MOVE_MOVE), BST_UNCHECKED);
            ChangeFolder(dialog, folder.c_str(), FolderDialogConfigOf(dialog));
            CheckDlgButton(dialog, PILTRIN_COPY_MOVE_MOVE, move ? BST_CHECKED : BST_UNCHECKED);
            SendMessageA(dialog, WM_COMMAND, button, reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
        };
        Command(kCommandCopyMove);
        SetCurrentDirectoryA("C:\\");  // the dialog left it in the folder, which is to go
    }
    Names Pages() const {
        Names pages;
        for (int i = 0; i < Viewer().Album->PageCount(); ++i) pages.push_back(Viewer().Album->GetPagePath(i));
        return pages;
    }
};

// The numbering of clashing names and what a failure half way keeps are the
// export's; the dialog hands it the folder and the choice, and says why it stopped.
TEST_F(CopyMoveTest, CopyLeavesTheAlbumMoveMakesThePagesFollowAndAFailureIsNamed) {
    for (bool move : {false, true}) {
        SCOPED_TRACE(move);
        TempDir here;
        const std::string dest = here.File("dest\\");
        CreateDirectoryA(dest.c_str(), nullptr);
        const Names sources = {here.File("a\\x.bmp"), here.File("表\\ソ.bmp")};
        Run(sources, dest, move);
        const Names placed = {dest + "x.bmp", dest + "ソ.bmp"};
        for (size_t i = 0; i < placed.size(); ++i) {
            EXPECT_TRUE(FileExists(placed[i])) << placed[i];
            EXPECT_EQ(FileExists(sources[i]), !move) << sources[i];
        }
        EXPECT_EQ(Pages(), move ? placed : sources);
        EXPECT_EQ(Viewer().AlbumUnsaved, move ? 1 : 0);
        EXPECT_EQ(Viewer().ExportMove, move ? 1 : 0);
        EXPECT_TRUE(messages_.empty());
    }
    const std::string source = dir_.File("s\\"), longer = dir_.File(std::string(24, 'd') + "\\");
    CreateDirectoryA(longer.c_str(), nullptr);
    const std::string tooLong = source + std::string(259 - source.size() - 4, 'L') + ".bmp";
    Run({source + "t.bmp", tooLong}, longer, false);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, "Error");
    EXPECT_NE(messages_[0].text.find(tooLong), std::string::npos);
    EXPECT_EQ(dialogsRun, 3);
}

TEST_F(CopyMoveTest, CancelAndAnEmptyAlbumDoNothing) {
    Command(kCommandCopyMove);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "ズブの内容が空です。");
    EXPECT_EQ(dialogsRun, 0);
    const std::string dest = dir_.File("dest\\");
    CreateDirectoryA(dest.c_str(), nullptr);
    Run({dir_.File("a\\x.bmp")}, dest, true, IDCANCEL);
    EXPECT_EQ(dialogsRun, 1);
    EXPECT_FALSE(FileExists(dest + "x.bmp"));
    EXPECT_EQ(Pages(), Names{dir_.File("a\\x.bmp")});
    EXPECT_EQ(messages_.size(), 1u);
}
