// The real executable, started as its own process and driven from here.
#include <windows.h>
#include <tlhelp32.h>

#include <tuple>

#include "browse/file_utils.h"
#include "tests/app/viewer_fixture.h"

namespace {
std::string ProgramFolderOfTests() {
    char folder[MAX_PATH];
    ProgramFolder(folder);
    return folder;
}

// piltrin.exe with the given argument text; closed again at scope exit.
class RunningViewer {
public:
    explicit RunningViewer(const std::string& arguments) {
        std::string line = "\"" + ProgramFolderOfTests() + "piltrin.exe\"";
        if (!arguments.empty()) line += " " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process_))
            return;
        WaitForInputIdle(process_.hProcess, 10000);
        for (int i = 0; i < 200 && !window_; ++i) {
            for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "Piltrin V1.81", nullptr)) != nullptr;) {
                DWORD process = 0;
                GetWindowThreadProcessId(w, &process);
                if (process == process_.dwProcessId && IsWindowVisible(w)) window_ = w;
            }
            if (!window_) Sleep(50);
        }
        Settle();
    }
    ~RunningViewer() {
        if (process_.hProcess && Close() == STILL_ACTIVE) TerminateProcess(process_.hProcess, 9);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    HWND Window() const { return window_; }
    bool HasModule(const char* name) const {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process_.dwProcessId);
        if (snapshot == INVALID_HANDLE_VALUE) return false;
        MODULEENTRY32 module{};
        module.dwSize = sizeof module;
        bool found = false;
        for (BOOL more = Module32First(snapshot, &module); more && !found;
             more = Module32Next(snapshot, &module))
            found = lstrcmpiA(module.szModule, name) == 0;
        CloseHandle(snapshot);
        return found;
    }
    // Lets the viewer handle what it was sent and paint.
    void Settle() const {
        if (window_) SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
        Sleep(300);
    }
    // Closes the viewer the way its menu does, and gives its exit code.
    DWORD Close() {
        if (window_ && IsWindow(window_)) PostMessageA(window_, WM_COMMAND, 40001, 0);
        WaitForSingleObject(process_.hProcess, 10000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }
    // The client area's centre pixel, read from the screen.
    Rgb CentrePixel() const {
        RECT client;
        GetClientRect(window_, &client);
        POINT centre{client.right / 2, client.bottom / 2};
        ClientToScreen(window_, &centre);
        HDC screen = GetDC(nullptr);
        const COLORREF colour = GetPixel(screen, centre.x, centre.y);
        ReleaseDC(nullptr, screen);
        return ToRgb(colour);
    }

private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

constexpr Rgb kOrange{230, 120, 20}, kTeal{20, 160, 150};
}  // namespace

TEST(ViewerProcess, WithoutArgumentsShowsTheStartupPictureAtItsOwnSize) {
    RunningViewer viewer("");
    ASSERT_NE(viewer.Window(), nullptr);
    EXPECT_EQ(WindowText(viewer.Window()), "Piltrin V1.81");
    RECT client;
    GetClientRect(viewer.Window(), &client);
    const Bytes startup = ReadFileBytes(ProgramFolderOfTests() + "Piltrin.bmp");
    ASSERT_GT(startup.size(), 26u);
    EXPECT_EQ(client.right, startup[18] | startup[19] << 8);
    EXPECT_EQ(client.bottom, startup[22] | startup[23] << 8);
    EXPECT_EQ(viewer.Close(), 0u);
}

// The window keeps its creation size and the picture fills it fitted. A
// Japanese name unquoted: the start-up code of some runtimes drops its first
// byte. Where a second picture follows, the right arrow steps to it and the
// last page stays: the keys do not wrap around.
TEST(ViewerProcess, PictureArgumentsAreShownTitledAndSteppedThrough) {
    for (const auto& [name, quoted, colour] :
         {std::tuple{"orange.bmp", true, kOrange}, {"テスト.bmp", false, kTeal}}) {
        SCOPED_TRACE(name);
        TempDir dir;
        WriteBmp(dir.File(name), 120, 80, 24, false, Flat(colour));
        WriteBmp(dir.File("b.bmp"), 64, 64, 24, false, Flat(kOrange));
        RunningViewer viewer(quoted ? "\"" + dir.File(name) + "\""
                                    : dir.File(name) + " " + dir.File("b.bmp"));
        ASSERT_NE(viewer.Window(), nullptr);
        EXPECT_EQ(WindowText(viewer.Window()), name);
        RECT outer;
        GetWindowRect(viewer.Window(), &outer);
        EXPECT_EQ(outer.right - outer.left, 320);
        EXPECT_EQ(viewer.CentrePixel(), colour);
        // The first picture waits neither for the common controls nor for
        // the shell, which only the dialogs, drops and help use.
        EXPECT_TRUE(viewer.HasModule("user32.dll"));
        EXPECT_FALSE(viewer.HasModule("comctl32.dll"));
        EXPECT_FALSE(viewer.HasModule("shell32.dll"));
        if (quoted) continue;
        const std::tuple<WPARAM, const char*, Rgb> steps[] = {
            {VK_RIGHT, "b.bmp", kOrange}, {VK_RIGHT, "b.bmp", kOrange}, {VK_LEFT, name, kTeal}};
        for (const auto& [key, title, shown] : steps) {
            PostMessageA(viewer.Window(), WM_KEYDOWN, key, 0);
            viewer.Settle();
            EXPECT_EQ(WindowText(viewer.Window()), title);
            EXPECT_EQ(viewer.CentrePixel(), shown);
        }
    }
}
