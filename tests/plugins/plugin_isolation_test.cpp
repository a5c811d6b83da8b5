// Plug-ins that crash, hang, crawl or hand back damaged pictures, through
// the helper: the test keeps running (it is the viewer here), the failure is
// reported, and the next file opens through the same plug-in.
#include <gtest/gtest.h>

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

// Processes this test program started that still run: its helpers.
int RunningHelpers() {
    return CountProcesses(
        [](const PROCESSENTRY32& p) { return p.th32ParentProcessID == GetCurrentProcessId(); });
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
        EXPECT_EQ(notices.size(), std::string(behaviour) == "heap" ? 1u : 0u) << behaviour;
    }
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(PluginFile("unruly")), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("今回の実行では使用しません"), std::string::npos) << notices[0];
    // Left out: not even asked again, and no second notice.
    EXPECT_EQ(Open(File(""), false, none), 0);
    EXPECT_EQ(Open(File("crash"), false, none), 0);
    EXPECT_EQ(PluginMatchesExtension("tpc"), 0);
    EXPECT_EQ(notices.size(), 1u);
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
    if (sizeof(void*) == 4 || !FileExists(helper) || !FileExists(plugin))
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
