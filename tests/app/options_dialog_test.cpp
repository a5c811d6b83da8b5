// The options dialog from its real template and procedure: what it shows,
// what OK and cancel leave in the settings, and settings the viewer cannot
// use as they are.
#include <climits>
#include <functional>
#include <tuple>

#include "app/options_dialog.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "image/picture_pipeline.h"
#include "resources/resource_ids.h"
#include "tests/app/fake_registry.h"
#include "tests/app/viewer_fixture.h"

namespace {
constexpr int kRotation = PILTRIN_OPTIONS_ROTATION, kStepX = PILTRIN_OPTIONS_STEP_X,
              kSeconds = PILTRIN_OPTIONS_SWITCH_SECONDS;
const int kNumberFields[] = {kRotation, kStepX, PILTRIN_OPTIONS_STEP_Y, kSeconds};
const int kCheckBoxes[] = {PILTRIN_OPTIONS_FIT, PILTRIN_OPTIONS_KEEP_SIZE, PILTRIN_OPTIONS_ANIMATE,
                           PILTRIN_OPTIONS_AUTO_SWITCH, PILTRIN_OPTIONS_AUTO_ADD};

struct Shown {
    Texts numbers;
    std::vector<int> checks;
    RECT where{};
    int tickActive = -1;
};

class OptionsDialogTest : public ViewerWindowTest {
protected:
    // Runs the options command; the dialog is made modeless from the real
    // template and procedure, shows itself to the test, takes user's edits
    // and is closed with button.
    Shown Run(int button, const std::function<void(HWND)>& user = nullptr) {
        Shown shown;
        PromptAnswerer answerer = RecordingAnswerer();
        answerer.dialog = [&](LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param) -> INT_PTR {
            HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), name, owner, procedure, param);
            EXPECT_NE(dialog, nullptr);
            for (int id : kNumberFields) shown.numbers.push_back(ItemText(dialog, id));
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
    // The step and interval before, the step and seconds shown, what is typed, the step, interval and
    // rotation taken back.
    using Typed = std::vector<std::pair<int, const char*>>;
    const std::tuple<int, int, const char*, const char*, Typed, int, int, int> cases[] = {
        {5, 150, "5", "15", {}, 5, 150, 10},
        {-5, 150, "5", "15", {}, 5, 150, 10},  // the bounce restarts rightward
        {5, 155, "5", "15", {}, 5, 150, 10},
        {INT_MIN, 150, "2147483648", "15", {}, INT_MIN, 150, 10},  // its magnitude, and back unchanged
        // 0 seconds cannot be set; text that is no number gives 0; a very
        // long interval becomes the longest the tick counter holds.
        {5, 0, "5", "0", {}, 5, 0, 10},
        {5, 150, "5", "15", {{kStepX, "abc"}, {kSeconds, "0"}, {kRotation, "0"}}, 0, 150, 0},
        {5, 150, "5", "15", {{kSeconds, "4294967295"}}, 5, INT_MAX, 10},
    };
    int row = 0;
    for (const auto& [stepBefore, ticksBefore, stepShown, secondsShown, typed, step, ticks, rotation] :
         cases) {
        SCOPED_TRACE(row++);
        Viewer().Settings = ViewerSettings{};
        Viewer().Settings.MoveStepX = stepBefore;
        Viewer().Settings.SwitchTicks = ticksBefore;
        const Typed& edits = typed;
        const Shown shown = Run(IDOK, [&edits](HWND d) {
            for (const auto& [id, text] : edits) SetDlgItemTextA(d, id, text);
        });
        EXPECT_EQ(shown.numbers, (Texts{"10", stepShown, "5", secondsShown}));
        EXPECT_EQ(shown.checks, (std::vector<int>{1, 1, 0, 0, 0}));
        EXPECT_EQ(shown.tickActive, 0);
        const ViewerSettings& s = Viewer().Settings;
        EXPECT_EQ((std::vector<int>{s.MoveStepX, s.SwitchTicks, s.RotationParam, Viewer().TickActive}),
                  (std::vector<int>{step, ticks, rotation, 1}));
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

// The display group: shown from the display options, taken back on OK; a
// colour that is no six-digit hex number leaves the colour as it was. The
// cache caps: shown, taken back, a read-ahead cap of 0 ends the read-ahead.
TEST_F(OptionsDialogTest, TheDisplayGroupEditsTheDisplayOptions) {
    for (const char* typed : {"0080FF", "80FF", "GG0000"}) {
        PictureDisplayOptions().background.colour = RGB(1, 2, 3);
        Run(IDOK, [&](HWND d) {
            EXPECT_EQ(ItemText(d, PILTRIN_OPTIONS_COLOUR_VALUE), "010203");
            EXPECT_EQ(ItemText(d, PILTRIN_OPTIONS_THUMBNAIL_CACHE_MB), "128");
            CheckDlgButton(d, PILTRIN_OPTIONS_EXIF_UPRIGHT, BST_UNCHECKED);
            CheckDlgButton(d, PILTRIN_OPTIONS_MANAGE_COLOURS, BST_UNCHECKED);
            SetDlgItemTextA(d, PILTRIN_OPTIONS_READ_AHEAD_MB, "0");
            SetDlgItemTextA(d, PILTRIN_OPTIONS_THUMBNAIL_CACHE_MB, "99999999");
            CheckRadioButton(d, PILTRIN_OPTIONS_CHECKERBOARD, PILTRIN_OPTIONS_COLOUR, PILTRIN_OPTIONS_COLOUR);
            SetDlgItemTextA(d, PILTRIN_OPTIONS_COLOUR_VALUE, typed);
        });
        const DisplayOptions& o = PictureDisplayOptions();
        EXPECT_EQ((std::vector<COLORREF>{o.uprightByExif, o.manageColours, o.keepTransparency,
                                         o.background.checkerboard, o.background.colour}),
                  (std::vector<COLORREF>{0, 0, 1, 0, typed[0] == '0' ? RGB(0, 0x80, 0xFF) : RGB(1, 2, 3)}));
        const ViewerSettings& s = Viewer().Settings;
        EXPECT_EQ((std::vector<int>{s.ReadAheadMegabytes, s.ThumbnailCacheMegabytes, bool(Viewer().ReadAhead)}),
                  (std::vector<int>{0, 1 << 20, 0}));
        Viewer().Settings = ViewerSettings{};
        ResetPictureDisplayOptions();
    }
}

TEST_F(OptionsDialogTest, CancelChangesNothingButTheDialogOpensAgainWhereItWasLeft) {
    const Shown first = Run(IDCANCEL, [](HWND d) {
        SetDlgItemTextA(d, kRotation, "99");
        CheckDlgButton(d, PILTRIN_OPTIONS_FIT, BST_UNCHECKED);
        SetWindowPos(d, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    });
    const ViewerSettings& s = Viewer().Settings;
    const RECT& r = s.OptionsDialogRect;
    EXPECT_EQ((std::vector<LONG>{s.RotationParam, s.FitToWindow, r.left, r.top, r.right - r.left}),
              (std::vector<LONG>{10, 1, 40, 30, first.where.right - first.where.left}));
    const Shown second = Run(IDCANCEL);
    EXPECT_EQ(second.where.left, 40);
    EXPECT_EQ(second.where.top, 30);
}

TEST_F(OptionsDialogTest, TheRegisterButtonRegistersTheProgram) {
    FakeUserRegistry registry;
    Run(IDCANCEL, [](HWND d) { SendMessageA(d, WM_COMMAND, PILTRIN_OPTIONS_REGISTER_ZUB, 0); });
    EXPECT_EQ(TakeMessages(), Texts{"SUCCESS: 設定は無事終了しました。"});
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    EXPECT_EQ(FakeUserRegistry::Text(HKEY_CURRENT_USER, "Software\\Classes\\Zub file\\Shell\\open\\command"),
              "\"" + std::string(program) + "\" %1");
}

TEST_F(OptionsDialogTest, SettingsAtTheirLimitsNeitherHangNorLeaveThePicture) {
    ViewerState& v = Viewer();
    WriteBmp(dir_.File("big.bmp"), 400, 300);
    SetClientSize(200, 100);
    Show(dir_.File("big.bmp"));
    for (int step : {INT_MIN, INT_MAX, INT_MIN + 1, -1, 0}) {
        SCOPED_TRACE(step);
        v.Settings.FitToWindow = 0;
        v.Settings.Animate = v.Settings.AutoSwitch = 1;
        v.Settings.SwitchTicks = 0;  // every tick is due; there is no folder to switch in
        v.Settings.RotationParam = 0;
        v.Settings.MoveStepX = v.Settings.MoveStepY = step;
        Run(IDOK);  // the step keeps its magnitude, the interval stays 0
        for (int tick = 0; tick < 6; ++tick) {
            Command(kCommandTick);
            EXPECT_TRUE(v.ScrollX >= 0 && v.ScrollX <= 200 && v.ScrollY >= 0 && v.ScrollY <= 200)
                << v.ScrollX << "," << v.ScrollY;
        }
    }
    EXPECT_TRUE(IsWindow(window_));
}
