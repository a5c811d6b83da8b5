// The real executable, started as its own process and driven from here.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/viewer_fixture.h"
#include "tests/support/test_files.h"

namespace {
std::string ProgramFolderOfTests() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\') + 1);
}

struct FoundWindow {
    DWORD process;
    HWND window;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<FoundWindow*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (process == found->process && std::string(className) == "Piltrin V1.81" && IsWindowVisible(window)) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

// piltrin.exe with the given argument text; closed again at scope exit.
class RunningViewer {
public:
    explicit RunningViewer(const std::string& arguments) {
        std::string line = "\"" + ProgramFolderOfTests() + "piltrin.exe\"";
        if (!arguments.empty()) line += " " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string buffer = line;
        started_ = CreateProcessA(nullptr, &buffer[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process_) != 0;
        if (!started_) return;
        WaitForInputIdle(process_.hProcess, 10000);
        FoundWindow found{process_.dwProcessId, nullptr};
        for (int i = 0; i < 200 && !found.window; ++i) {
            EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&found));
            if (!found.window) Sleep(50);
        }
        window_ = found.window;
        Settle();
    }
    ~RunningViewer() {
        if (!started_) return;
        if (window_ && IsWindow(window_)) PostMessageA(window_, WM_COMMAND, 40001, 0);
        if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(process_.hProcess, 9);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    HWND Window() const { return window_; }
    std::string Title() const {
        char title[MAX_PATH] = "";
        GetWindowTextA(window_, title, MAX_PATH);
        return title;
    }
    // Lets the viewer handle what it was sent and paint.
    void Settle() const {
        if (window_) SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
        Sleep(300);
    }
    DWORD ExitCodeAfterClosing() {
        PostMessageA(window_, WM_COMMAND, 40001, 0);
        WaitForSingleObject(process_.hProcess, 10000);
        DWORD code = 259;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// The client area's centre pixel, read from the screen.
Rgb ScreenPixelAtClientCentre(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT centre{client.right / 2, client.bottom / 2};
    ClientToScreen(window, &centre);
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, centre.x, centre.y);
    ReleaseDC(nullptr, screen);
    return Rgb{GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

Rgb Orange(int, int) {
    return Rgb{230, 120, 20};
}
Rgb Teal(int, int) {
    return Rgb{20, 160, 150};
}
}  // namespace

TEST(ViewerProcess, WithoutArgumentsShowsTheStartupPictureAtItsOwnSize) {
    RunningViewer viewer("");
    ASSERT_NE(viewer.Window(), nullptr);
    EXPECT_EQ(viewer.Title(), "Piltrin V1.81");
    RECT client;
    GetClientRect(viewer.Window(), &client);
    const Bytes startup = ReadFileBytes(ProgramFolderOfTests() + "Piltrin.bmp");
    ASSERT_GT(startup.size(), 26u);
    const int width = startup[18] | startup[19] << 8;
    const int height = startup[22] | startup[23] << 8;
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);
    EXPECT_EQ(viewer.ExitCodeAfterClosing(), 0u);
}

// The window keeps its creation size and the picture fills it fitted. A
// Japanese name unquoted: the start-up code of some runtimes drops its first
// byte.
TEST(ViewerProcess, PictureArgumentIsShownAndTitled) {
    const struct {
        const char* name;
        bool quoted;
        Rgb (*colour)(int, int);
    } rows[] = {{"orange.bmp", true, Orange}, {"テスト.bmp", false, Teal}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WriteBmp(dir.File(row.name), 120, 80, 24, false, row.colour);
        RunningViewer viewer(row.quoted ? "\"" + dir.File(row.name) + "\"" : dir.File(row.name));
        ASSERT_NE(viewer.Window(), nullptr);
        EXPECT_EQ(viewer.Title(), row.name);
        RECT outer;
        GetWindowRect(viewer.Window(), &outer);
        EXPECT_EQ(outer.right - outer.left, 320);
        EXPECT_EQ(ScreenPixelAtClientCentre(viewer.Window()), row.colour(0, 0));
    }
}

TEST(ViewerProcess, RightArrowStepsThroughThePicturesOfTheCommandLine) {
    TempDir dir;
    WriteBmp(dir.File("a.bmp"), 64, 64, 24, false, Orange);
    WriteBmp(dir.File("b.bmp"), 64, 64, 24, false, Teal);
    RunningViewer viewer(dir.File("a.bmp") + " " + dir.File("b.bmp"));
    ASSERT_NE(viewer.Window(), nullptr);
    EXPECT_EQ(viewer.Title(), "a.bmp");
    // The last page stays: the keys do not wrap around.
    const struct {
        WPARAM key;
        const char* title;
        Rgb (*colour)(int, int);
    } steps[] = {{VK_RIGHT, "b.bmp", Teal}, {VK_RIGHT, "b.bmp", Teal}, {VK_LEFT, "a.bmp", Orange}};
    for (const auto& step : steps) {
        PostMessageA(viewer.Window(), WM_KEYDOWN, step.key, 0);
        viewer.Settle();
        EXPECT_EQ(viewer.Title(), step.title);
        EXPECT_EQ(ScreenPixelAtClientCentre(viewer.Window()), step.colour(0, 0));
    }
}
