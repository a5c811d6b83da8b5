// The options dialog from its real template and procedure: what it shows,
// what OK and cancel leave in the settings, and settings the viewer cannot
// use as they are.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "app/options_dialog.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "browse/user_prompt.h"
#include "resources/resource_ids.h"
#include "tests/app/fake_registry.h"
#include "tests/app/viewer_fixture.h"

namespace {
const int kNumberFields[] = {PILTRIN_OPTIONS_ROTATION, PILTRIN_OPTIONS_STEP_X, PILTRIN_OPTIONS_STEP_Y,
                             PILTRIN_OPTIONS_SWITCH_SECONDS};
const int kCheckBoxes[] = {PILTRIN_OPTIONS_FIT, PILTRIN_OPTIONS_KEEP_SIZE, PILTRIN_OPTIONS_ANIMATE,
                           PILTRIN_OPTIONS_AUTO_SWITCH, PILTRIN_OPTIONS_AUTO_ADD};

struct Shown {
    std::vector<std::string> numbers;
    std::vector<int> checks;
    RECT where{};
    int tickActive = -1;
};

class OptionsDialogTest : public ViewerWindowTest {
protected:
    // Runs command 40003; the dialog is made modeless from the real template
    // and procedure, shows itself to the test, takes user's edits and is
    // closed with button.
    Shown Run(int button, const std::function<void(HWND)>& user = nullptr) {
        Shown shown;
        PromptAnswerer answerer = RecordingAnswerer();
        answerer.dialog = [&](LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param) -> INT_PTR {
            HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), name, owner, procedure, param);
            EXPECT_NE(dialog, nullptr);
            for (int id : kNumberFields) {
                char text[32] = "";
                GetDlgItemTextA(dialog, id, text, sizeof text);
                shown.numbers.push_back(text);
            }
            for (int id : kCheckBoxes) shown.checks.push_back(IsDlgButtonChecked(dialog, id));
            GetWindowRect(dialog, &shown.where);
            shown.tickActive = Viewer().TickActive;
            if (user) user(dialog);
            SendMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(button), 0);
            DestroyWindow(dialog);
            return button;
        };
        SetPromptAnswerer(answerer);
        Command(kCommandOptions);
        return shown;
    }
};

}  // namespace

TEST_F(OptionsDialogTest, ShowsTheSettingsAndOkTakesThemBack) {
    struct Case {
        int moveStepXBefore, switchTicksBefore;
        std::vector<std::string> numbers;                // shown
        std::vector<std::pair<int, const char*>> typed;  // into the fields
        int moveStepX, switchTicks, rotation;            // taken back
    };
    const std::vector<std::string> defaults = {"10", "5", "5", "15"};
    const Case cases[] = {
        {5, 150, defaults, {}, 5, 150, 10},
        {-5, 150, defaults, {}, 5, 150, 10},  // the bounce restarts rightward
        {5, 155, defaults, {}, 5, 150, 10},
        // The magnitude of the most negative step, and back unchanged.
        {INT_MIN, 150, {"10", "2147483648", "5", "15"}, {}, INT_MIN, 150, 10},
        // 0 seconds cannot be set; text that is no number gives 0; a very
        // long interval becomes the longest the tick counter holds.
        {5, 0, {"10", "5", "5", "0"}, {}, 5, 0, 10},
        {5,
         150,
         defaults,
         {{PILTRIN_OPTIONS_STEP_X, "abc"},
          {PILTRIN_OPTIONS_SWITCH_SECONDS, "0"},
          {PILTRIN_OPTIONS_ROTATION, "0"}},
         0,
         150,
         0},
        {5, 150, defaults, {{PILTRIN_OPTIONS_SWITCH_SECONDS, "4294967295"}}, 5, INT_MAX, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.numbers[1] + " " + c.numbers[3]);
        Viewer().Settings = ViewerSettings{};
        Viewer().Settings.MoveStepX = c.moveStepXBefore;
        Viewer().Settings.SwitchTicks = c.switchTicksBefore;
        const Shown shown = Run(IDOK, [&c](HWND d) {
            for (const auto& typed : c.typed) SetDlgItemTextA(d, typed.first, typed.second);
        });
        EXPECT_EQ(shown.numbers, c.numbers);
        EXPECT_EQ(shown.checks, (std::vector<int>{1, 1, 0, 0, 0}));
        EXPECT_EQ(shown.tickActive, 0);
        const ViewerSettings& s = Viewer().Settings;
        EXPECT_EQ(s.MoveStepX, c.moveStepX);
        EXPECT_EQ(s.SwitchTicks, c.switchTicks);
        EXPECT_EQ(s.RotationParam, c.rotation);
        EXPECT_EQ(Viewer().TickActive, 1);
    }

    // Every check box goes both ways.
    Run(IDOK, [](HWND d) {
        for (int id : kCheckBoxes)
            CheckDlgButton(d, id, IsDlgButtonChecked(d, id) ? BST_UNCHECKED : BST_CHECKED);
    });
    const ViewerSettings& s = Viewer().Settings;
    EXPECT_EQ((std::vector<int>{s.FitToWindow, s.KeepWindowSize, s.Animate, s.AutoSwitch, s.AutoAddDropped}),
              (std::vector<int>{0, 0, 1, 1, 1}));
}

TEST_F(OptionsDialogTest, CancelChangesNothingButTheDialogOpensAgainWhereItWasLeft) {
    const Shown first = Run(IDCANCEL, [](HWND d) {
        SetDlgItemTextA(d, PILTRIN_OPTIONS_ROTATION, "99");
        CheckDlgButton(d, PILTRIN_OPTIONS_FIT, BST_UNCHECKED);
        SetWindowPos(d, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    });
    const ViewerSettings& s = Viewer().Settings;
    EXPECT_EQ(s.RotationParam, 10);
    EXPECT_EQ(s.FitToWindow, 1);
    EXPECT_EQ(s.OptionsDialogRect.left, 40);
    EXPECT_EQ(s.OptionsDialogRect.top, 30);
    EXPECT_EQ(s.OptionsDialogRect.right - s.OptionsDialogRect.left, first.where.right - first.where.left);
    const Shown second = Run(IDCANCEL);
    EXPECT_EQ(second.where.left, 40);
    EXPECT_EQ(second.where.top, 30);
}

TEST_F(OptionsDialogTest, TheRegisterButtonAsksTheSecondTime) {
    FakeUserRegistry registry;
    Run(IDCANCEL, [](HWND d) {
        SendMessageA(d, WM_COMMAND, PILTRIN_OPTIONS_REGISTER_ZUB, 0);
        SendMessageA(d, WM_COMMAND, PILTRIN_OPTIONS_REGISTER_ZUB, 0);
    });
    ASSERT_EQ(messages_.size(), 3u);
    EXPECT_EQ(messages_[0].caption, "SUCCESS");
    EXPECT_EQ(messages_[1].caption, "set Icon error");
    EXPECT_EQ(messages_[2].caption, "SUCCESS");
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    EXPECT_EQ(FakeUserRegistry::Text(HKEY_CURRENT_USER, "Software\\Classes\\Zub file\\Shell\\open\\command"),
              std::string(program) + " %1");
}

TEST_F(OptionsDialogTest, SettingsAtTheirLimitsNeitherHangNorLeaveThePicture) {
    WriteBmp(dir_.File("big.bmp"), 400, 300);
    SetClientSize(200, 100);
    Show(dir_.File("big.bmp"));
    for (int step : {INT_MIN, INT_MAX, INT_MIN + 1, -1, 0}) {
        SCOPED_TRACE(step);
        ViewerState& v = Viewer();
        v.Settings.FitToWindow = 0;
        v.Settings.Animate = 1;
        v.Settings.AutoSwitch = 1;
        v.Settings.SwitchTicks = 0;  // every tick is due; there is no folder to switch in
        v.Settings.RotationParam = 0;
        v.Settings.MoveStepX = step;
        v.Settings.MoveStepY = step;
        Run(IDOK);  // the step keeps its magnitude, the interval stays 0
        for (int tick = 0; tick < 6; ++tick) {
            Command(kCommandTick);
            EXPECT_GE(v.ScrollX, 0);
            EXPECT_LE(v.ScrollX, 200);
            EXPECT_GE(v.ScrollY, 0);
            EXPECT_LE(v.ScrollY, 200);
        }
    }
    EXPECT_TRUE(IsWindow(window_));
}
