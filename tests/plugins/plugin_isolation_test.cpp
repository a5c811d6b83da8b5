// Plug-ins that crash, hang, crawl or hand back damaged pictures, through
// the helper: the test keeps running (it is the viewer here), the failure is
// reported, and the next file opens through the same plug-in.
#include <gtest/gtest.h>

#include <thread>

#include "image/dib_image.h"
#include "image/picture_loader.h"
#include "image/plugin_direct.h"
#include "image/plugin_host.h"
#include "tests/plugins/plugin_fixtures.h"

namespace {

std::vector<std::string> notices;
void RecordNotice(const char* text) {
    notices.emplace_back(text);
}
// The file name the plug-in walk meets n-th in folder.
std::string NameInWalk(const TempDir& folder, int n) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder.Path() + kPluginPattern).c_str(), &found);
    for (int i = 0; i < n && FindNextFileA(find, &found); ++i) {
    }
    FindClose(find);
    return found.cFileName;
}
// Runs what the thread's message loop would run once a load has returned.
void RunPosted() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

class PluginIsolation : public PluginTest {
protected:
    void SetUp() override {
        notices.clear();
        SetPluginNoticeProc(RecordNotice);
        // The product waits 30 s; the rule is the same at 0.7 s.
        SetPluginHangTimeout(kTimeout);
        Reload();
    }
    void Reload() {
        UnloadPlugins();
        ASSERT_EQ(LoadPlugins(TestPluginFolder("unruly").c_str()), 1);
    }
    void TearDown() override {
        UnloadPlugins();
        SetPluginHangTimeout(kPluginHangTimeout);
        SetPluginCallLimit(kPluginCallLimit);
        SetPluginNoticeProc(nullptr);
        SetPluginHelperPath(32, "");
    }
    // A 5 x 3 tiny picture whose comment tells the plug-in what to do.
    std::string File(const std::string& behaviour) {
        return Write("p" + std::to_string(serial++) + ".tpc", MakeTinyPicture(5, 3, behaviour));
    }
    static constexpr DWORD kTimeout = 700;
    int serial = 0;
};

// Processes this test program started that still run: its helpers.
int RunningHelpers() {
    return CountProcesses(
        [](const PROCESSENTRY32& p) { return p.th32ParentProcessID == GetCurrentProcessId(); });
}

int Open(const std::string& path, bool preview, DibPixels& dib) {
    return preview ? LoadPreview(path.c_str(), nullptr, 0, &dib.header, &dib.pixels, 64)
                   : LoadPicture(path.c_str(), nullptr, 0, &dib.header, &dib.pixels);
}
void ExpectOpens(const std::string& path, bool preview) {
    DibPixels dib;
    ASSERT_EQ(Open(path, preview, dib), 1);
    EXPECT_EQ(dib.Header().biXPelsPerMeter, 6);
    Rgb want = DistinctPixel(preview ? 2 : 1, preview ? 2 : 1);
    EXPECT_EQ(dib.At(1, 1).g, want.g);
}

TEST_F(PluginIsolation, AFailingPluginLeavesTheCallerUpAndTheNextFileOpens) {
    struct Case {
        const char* behaviour;
        bool opens;
    } cases[] = {
        {"crash", false},
        {"heap", false},
        {"hang", false},
        {"short", false},
        {"v5short", false},
        // Slow but alive: steady progress for longer than the hang timeout.
        {"slow 1500 100", true},
    };
    for (bool preview : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.behaviour) + (preview ? " preview" : ""));
            ASSERT_NO_FATAL_FAILURE(Reload());
            DibPixels dib;
            int opened = Open(File(c.behaviour), preview, dib);
            EXPECT_EQ(opened, c.opens ? 1 : 0);
            if (!opened) {
                EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
            }
            ExpectOpens(File(""), preview);
        }
    }
    EXPECT_TRUE(notices.empty());
}

// Loading the set starts no process; a helper starts with the first call
// that needs it, or in the background when asked, and only once.
TEST_F(PluginIsolation, HelpersStartOnFirstNeedOrWhenAskedNeverWithTheLoad) {
    for (bool asked : {true, false}) {
        SCOPED_TRACE(asked ? "started in the background" : "started by the call");
        ASSERT_NO_FATAL_FAILURE(Reload());
        EXPECT_EQ(RunningHelpers(), 0);
        if (asked) {
            StartPluginHelpers();
            EXPECT_EQ(PluginCount(), 1);
            EXPECT_EQ(RunningHelpers(), 1);
        }
        ExpectOpens(File(""), false);
        StartPluginHelpers();
        ExpectOpens(File(""), true);
        EXPECT_EQ(RunningHelpers(), 1);
    }
}

TEST_F(PluginIsolation, ThreeCrashesLeaveThePluginOutAndTheUserIsToldOnce) {
    DibPixels none;
    for (const char* behaviour : {"crash", "hang", "heap"}) {
        EXPECT_EQ(Open(File(behaviour), false, none), 0);
        // Never shown from inside the load: only once it has returned.
        EXPECT_TRUE(notices.empty()) << behaviour;
    }
    RunPosted();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(PluginFile("unruly")), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("今回の実行では使用しません"), std::string::npos) << notices[0];
    // Left out: not even asked again, and no second notice.
    EXPECT_EQ(Open(File(""), false, none), 0);
    EXPECT_EQ(Open(File("crash"), false, none), 0);
    EXPECT_EQ(PluginMatchesExtension("tpc"), 0);
    RunPosted();
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(PluginIsolation, APluginThatKeepsCallingItsProgressIsEndedAtTheCallLimit) {
    SetPluginCallLimit(1000);
    DibPixels dib;
    EXPECT_EQ(Open(File("slow 1500 100"), false, dib), 0);
    ExpectOpens(File(""), false);
}

TEST_F(PluginIsolation, WhileAPluginHangsTheThreadAnswersWhatOthersSend) {
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    bool answered = false;
    std::thread other([&] {
        Sleep(100);
        DWORD_PTR result = 0;
        answered = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 400, &result) != 0;
    });
    DibPixels dib;
    EXPECT_EQ(Open(File("hang"), false, dib), 0);
    other.join();
    EXPECT_TRUE(answered);
    DestroyWindow(window);
}

// A plug-in that crashes or hangs while its helper binds it is left out at
// once; the others are bound and the user is told, after the call.
TEST_F(PluginIsolation, APluginThatFailsWhileBoundIsLeftOutAndTheOthersBind) {
    for (const char* culprit : {"crashbind", "hangbind"}) {
        SCOPED_TRACE(culprit);
        notices.clear();
        TempDir folder;
        StageInWalkOrder(folder, {TestPluginPath(culprit), TestPluginPath("tinypic")});
        ASSERT_EQ(LoadPlugins(folder.Path().c_str()), 1);
        EXPECT_EQ(PluginCount(), 1);
        DibPixels dib;
        EXPECT_EQ(Open(File(""), false, dib), 1);
        EXPECT_TRUE(notices.empty());
        RunPosted();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find(NameInWalk(folder, 0)), std::string::npos) << notices[0];
        UnloadPlugins();
    }
}

// Whoever was asked first, a helper that ended between two calls is put
// down to the plug-in whose leftover thread ran in it: the one asked last.
TEST_F(PluginIsolation, AHelperFoundEndedIsPutDownToThePluginLastAsked) {
    TempDir folder;
    StageInWalkOrder(folder, {TestPluginPath("failall"), TestPluginPath("unruly")});
    ASSERT_EQ(LoadPlugins(folder.Path().c_str()), 1);
    for (int round = 0; round < kPluginStrikes; ++round) {
        DibPixels dib;
        EXPECT_EQ(Open(File("latecrash"), false, dib), 1);
        for (int wait = 0; wait < 100 && RunningHelpers() > 0; ++wait) Sleep(50);
        DibPixels next;
        Open(File(""), false, next);
    }
    RunPosted();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(NameInWalk(folder, 1)), std::string::npos) << notices[0];
}

// After a restart the plug-ins are those of the first table, matched by
// name: one copied into the folder since start-up is not asked in the
// place of the one that was there.
TEST_F(PluginIsolation, ARestartedHelperServesThePluginsOfTheFirstTable) {
    TempDir folder;
    StageInWalkOrder(folder, {Write("empty", Bytes()), TestPluginPath("unruly"), TestPluginPath("tinypic2")});
    ASSERT_EQ(LoadPlugins(folder.Path().c_str()), 1);
    ASSERT_EQ(PluginCount(), 2);
    ASSERT_TRUE(
        CopyFileA(TestPluginPath("tinypic").c_str(), folder.File(NameInWalk(folder, 0)).c_str(), FALSE));
    DibPixels crashed, dib;
    Open(File("crash"), false, crashed);
    ASSERT_EQ(Open(File(""), false, dib), 1);
    EXPECT_EQ(dib.Header().biXPelsPerMeter, 6);  // unruly's mark, not tinypic's
}

TEST_F(PluginIsolation, ProgressIsRelayedAndAStopFromTheCallbackStopsThePlugin) {
    for (int stopAfter : {1000, 1}) {
        ProgressLog log(stopAfter);
        DibPixels dib;
        EXPECT_EQ(PluginLoadPicture(File("").c_str(), ProgressLog::Latest, 77, &dib.header, &dib.pixels),
                  stopAfter > 1 ? 1 : 0);
        // Of the plug-in's 4 calls in quick succession, the first and the last
        // come through; the last one's stop ends the picture.
        EXPECT_EQ(log.calls.size(), 2u);
        for (const ProgressCall& call : log.calls) EXPECT_EQ(call.userData, 77);
    }
}

TEST_F(PluginIsolation, TheTextOfAFailedInformationCallIsFreed) {
    ASSERT_EQ(direct::LoadPlugins(TestPluginFolder("unruly").c_str()), 1);
    auto lastText = TestExport<HLOCAL(__stdcall*)()>(direct::PluginAt(0)->module, "TestLastText");
    ASSERT_NE(lastText, nullptr);
    PictureInfo info{};
    EXPECT_EQ(direct::PluginReadInfo(File("infofail").c_str(), &info), 0);
    ASSERT_NE(lastText(), nullptr);
    EXPECT_EQ(LocalFlags(lastText()), LMEM_INVALID_HANDLE);
    EXPECT_EQ(info.textHandle, nullptr);
    direct::UnloadPlugins();
}

TEST_F(PluginIsolation, TheOtherBitnessReadsThroughItsOwnHelper) {
    // Only the 64-bit program tries: the 32-bit one reads 64-bit plug-ins
    // only on 64-bit Windows, with a 64-bit helper beside it.
    std::string helper = ProgramFolderPath() + "..\\..\\i686\\bin\\piltrin-plugins32.exe";
    std::string plugin = OtherFlavourTestPluginPath("tinypic");
    auto runs = [](std::string program) {  // started suspended and ended at once
        STARTUPINFOA start{};
        start.cb = sizeof start;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, program.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                            nullptr, &start, &process))
            return false;
        TerminateProcess(process.hProcess, 0);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    };
    if (sizeof(void*) == 4 || !FileExists(helper) || !FileExists(plugin) || !runs(helper))
        GTEST_SKIP() << "no 32-bit build beside this one (or this host runs no 32-bit programs)";
    SetPluginHelperPath(32, helper);
    TempDir folder;
    CopyFileA(plugin.c_str(), folder.File("tiny32.spi").c_str(), FALSE);
    ASSERT_EQ(LoadPlugins(folder.Path().c_str()), 1);
    EXPECT_EQ(PluginCount(), 1);
    EXPECT_EQ(PluginMatchesExtension("tpc"), 1);
    DibPixels dib;
    ASSERT_EQ(PluginLoadPicture(File("").c_str(), nullptr, 0, &dib.header, &dib.pixels), 1);
    EXPECT_TRUE(HasPixels(dib, 5, 3));
}

}  // namespace
