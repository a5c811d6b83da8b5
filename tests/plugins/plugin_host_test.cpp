// The plug-in host against real filter libraries: binding, the order of the
// folder walk, falling back to the next filter, the preview worker thread,
// and what the host accepts back from a filter.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "image/plugin_direct.h"
#include "tests/plugins/plugin_fixtures.h"

// The host as the helpers hold it, calling the libraries in this process.
using namespace direct;

namespace {

enum TestCall { kGetPictureInfoCall = 1, kGetPictureCall = 2, kGetPreviewCall = 3 };

int CallCount(const PluginEntry* plugin, TestCall call) {
    auto count = TestExport<int(__stdcall*)(int)>(plugin->module, "TestCallCount");
    return count ? count(call) : -1;
}
DWORD LastCallThread(const PluginEntry* plugin) {
    auto thread = TestExport<DWORD(__stdcall*)()>(plugin->module, "TestLastCallThread");
    return thread ? thread() : 0;
}

class PluginHost : public PluginTest {
protected:
    void TearDown() override { UnloadPlugins(); }

    std::string TinyFile(const std::string& comment = "") {
        return Write("picture.tpc", MakeTinyPicture(5, 3, comment));
    }
    // Only the test filters named, met by the folder walk in that order, in
    // freshly loaded libraries (their call counts start at 0).
    int LoadFilters(const std::vector<std::string>& names) {
        UnloadPlugins();
        if (names.size() == 1) return LoadPlugins(TestPluginFolder(names[0]).c_str());
        staged.push_back(std::make_unique<TempDir>());
        std::vector<std::string> paths;
        for (const std::string& name : names) paths.push_back(TestPluginPath(name));
        StageInWalkOrder(*staged.back(), paths);
        return LoadPlugins(staged.back()->Path().c_str());
    }
    int Open(DibPixels& dib, bool preview, ProgressProc progress = nullptr, intptr_t userData = 0) {
        return (preview ? PluginLoadPreview : PluginLoadPicture)(TinyFile().c_str(), progress, userData,
                                                                 &dib.header, &dib.pixels);
    }

    TempDir filters;
    std::vector<std::unique_ptr<TempDir>> staged;
};

TEST_F(PluginHost, LoadingAgainReplacesTheTable) {
    ASSERT_EQ(LoadFilters({"tinypic"}), 1);
    EXPECT_EQ(PluginAt(1), nullptr);
    EXPECT_EQ(PluginAt(-1), nullptr);
    ASSERT_EQ(LoadPlugins(TestPluginFolder("upperpic").c_str()), 1);
    EXPECT_EQ(PluginCount(), 1);
    EXPECT_EQ(GetModuleHandleA(PluginFile("tinypic").c_str()), nullptr);
    EXPECT_NE(GetModuleHandleA(PluginFile("upperpic").c_str()), nullptr);
    UnloadPlugins();
    EXPECT_EQ(PluginCount(), 0);
    EXPECT_EQ(GetModuleHandleA(PluginFile("upperpic").c_str()), nullptr);
}

TEST_F(PluginHost, WithoutAWorkingFilterEveryCallEndsAt2AndHandsBackNoBlocks) {
    // No filter at all: nothing is bound, silently (refused libraries are
    // the binding table's). A
    // filter that accepts and then fails, or hands back blocks too small for
    // their header (the display would read past them), or a working one
    // that the caller's callback stops: bound, and refused (or stopped).
    struct Case {
        const char* name;
        std::string folder;
        int bound;
        int stopAfter = -1;  // progress calls before the callback answers "stop"
    };
    const Case cases[] = {
        {"empty folder", filters.Path(), 0},
        {"missing folder", files.File("no such folder\\"), 0},
        {"failing filter", TestPluginFolder("failall"), 1},
        {"blocks too small", TestPluginFolder("badblocks"), 1},
        {"stopped by the callback", TestPluginFolder("tinypic"), 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UnloadPlugins();
        EXPECT_EQ(LoadPlugins(c.folder.c_str()), c.bound);
        EXPECT_EQ(PluginCount(), c.bound);
        std::string path = TinyFile();
        EXPECT_EQ(PluginSupportsFile(path.c_str()), c.bound);
        for (bool preview : {false, true}) {
            ProgressLog log(c.stopAfter);
            ProgressProc progress = c.stopAfter >= 0 ? ProgressLog::Latest : nullptr;
            DibPixels dib(reinterpret_cast<HLOCAL>(1), reinterpret_cast<HLOCAL>(1));
            EXPECT_EQ(Open(dib, preview, progress), 0);
            EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
            EXPECT_EQ(dib.header, nullptr);
            EXPECT_EQ(dib.pixels, nullptr);
            if (progress && !preview) {
                EXPECT_EQ(log.calls.size(), 2u);  // the stop is the filter's last call
            }
        }
        // A file that cannot be opened ends the same way.
        HLOCAL header, pixels;
        EXPECT_EQ(PluginLoadPicture(files.File("missing.tpc").c_str(), nullptr, 0, &header, &pixels), 0);
        EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
        if (c.bound) continue;
        PictureInfo info{};
        EXPECT_EQ(PluginReadInfo(path.c_str(), &info), 0);
        EXPECT_EQ(PluginMatchesExtension("tpc"), 0);
    }
}

TEST_F(PluginHost, DamagedAndRefusedLibrariesAreSkippedAndTheirEntryReused) {
    Bytes junk(3000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 7 + 3);
    junk[0] = 'M';
    junk[1] = 'Z';
    WriteFileBytes(filters.File(PluginFile("damaged")), junk);
    CreateDirectoryA(filters.File(PluginFile("folder")).c_str(), nullptr);
    for (const char* name : {"wrongversion", "nopreview", "tinypic"})
        CopyFileA(TestPluginPath(name).c_str(), filters.File(PluginFile(name)).c_str(), FALSE);
    // The other program's kind: under its own extension it is not even
    // looked at; under this program's extension it fails to load (the wrong
    // bitness) and is skipped like any damaged file.
    CopyFileA(TestPluginPath("tinypic").c_str(),
              filters.File(std::string("tiny") + kOtherPluginExtension).c_str(), FALSE);
    std::string otherBitness = OtherFlavourTestPluginPath("tinypic");
    if (FileExists(otherBitness)) {
        ASSERT_TRUE(CopyFileA(otherBitness.c_str(), filters.File(PluginFile("otherbits")).c_str(), FALSE));
    } else {
        std::printf("[   NOTE   ] no build of the other flavour beside this one: no wrong-bitness case\n");
    }

    ASSERT_EQ(LoadPlugins(filters.Path().c_str()), 1);
    ASSERT_EQ(PluginCount(), 1);
    EXPECT_EQ(PluginAt(0)->module, GetModuleHandleA(filters.File(PluginFile("tinypic")).c_str()));
    // A refused library (another interface version, no GetPreview) is freed again.
    for (const char* name : {"wrongversion", "nopreview"})
        EXPECT_EQ(GetModuleHandleA(filters.File(PluginFile(name)).c_str()), nullptr) << name;
    PictureInfo info{};
    EXPECT_EQ(PluginReadInfo(TinyFile().c_str(), &info), 1);
    EXPECT_EQ(info.width, 5);
}

TEST_F(PluginHost, TheFirstFilterInTheWalkThatDecodesWinsWithTheCallersProgress) {
    // The same two filters both ways round: the winner follows the walk, not
    // the name or the library (each marks its pictures with its number). A
    // filter that accepts and fails is followed by the next; its picture call
    // is asked after its preview call fails, and a filter whose preview fails
    // alone ends with its full picture. A picture is decoded on the calling
    // thread, a preview on a worker of the host's, and the filter calls back
    // from the thread it runs on. Without a callback the filter gets one that
    // goes on: it calls it unchecked. A filter that stops its colour table
    // at biClrUsed entries has it grown to 256: readers of a DibImage index them all.
    struct Case {
        const char* name;
        std::vector<std::string> filters;
        bool preview;
        int mark;          // the filter that decoded
        int step;          // 2 when its preview decoded
        int pictureCalls;  // of the first filter
        ProgressProc progress = nullptr;
        intptr_t userData = 99;
        int bits = 24;
    };
    const Case cases[] = {
        {"picture", {"tinypic"}, false, 1, 1, 1, ProgressLog::Latest, 4321},
        {"preview", {"tinypic"}, true, 1, 2, 0, ProgressLog::Latest, 7},
        {"picture without a callback", {"tinypic"}, false, 1, 1, 1},
        {"preview without a callback", {"tinypic"}, true, 1, 2, 0},
        {"first in the walk", {"tinypic", "tinypic2"}, false, 1, 1, 1},
        {"first in the walk, other way round", {"tinypic2", "tinypic"}, false, 2, 1, 1},
        {"picture after a failing filter", {"failall", "tinypic"}, false, 1, 1, 1},
        {"preview after a failing filter", {"failall", "tinypic"}, true, 1, 2, 1},
        {"picture after blocks too small", {"badblocks", "tinypic"}, false, 1, 1, 1},
        {"failing preview alone", {"previewfails"}, true, 4, 1, 1},
        {"short colour table", {"upperpic"}, false, 5, 1, 1, ProgressLog::Latest, 3, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(LoadFilters(c.filters), 1);
        ASSERT_EQ(PluginCount(), int(c.filters.size()));
        ProgressLog log;
        DibPixels dib;
        ASSERT_EQ(Open(dib, c.preview, c.progress, c.userData), 1);
        EXPECT_NE(LocalFlags(dib.header), LMEM_INVALID_HANDLE);
        EXPECT_EQ(CallCount(PluginAt(0), kGetPictureCall), c.pictureCalls);
        EXPECT_EQ(CallCount(PluginAt(0), kGetPreviewCall), c.preview ? 1 : 0);
        DWORD thread = LastCallThread(PluginAt(0));
        EXPECT_NE(thread, 0u);
        EXPECT_EQ(thread == GetCurrentThreadId(), !c.preview);
        EXPECT_EQ(dib.Header().biXPelsPerMeter, c.mark);
        // The filter's bottom-up rows, taken as they are.
        EXPECT_EQ(dib.Header().biHeight, dib.Height());
        ASSERT_EQ(dib.Bits(), c.bits);
        if (c.bits == 8) {
            EXPECT_EQ(dib.Header().biClrUsed, 15u);
            EXPECT_GE(dib.HeaderBlockSize(), sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
            for (int i = 15; i < 256; ++i) {
                const RGBQUAD& q = dib.ColourTable()[i];
                ASSERT_EQ(q.rgbRed | q.rgbGreen | q.rgbBlue | q.rgbReserved, 0) << i;
            }
        }
        EXPECT_TRUE(
            HasPixels(dib, (5 + c.step - 1) / c.step, (3 + c.step - 1) / c.step, DistinctPixel, c.step));
        if (!c.progress) continue;
        ASSERT_GE(log.calls.size(), 2u);
        EXPECT_EQ(log.calls.back().done, dib.Height());
        EXPECT_EQ(log.calls.back().total, dib.Height());
        for (const ProgressCall& call : log.calls) {
            EXPECT_EQ(call.userData, c.userData);
            EXPECT_EQ(call.thread, thread);
        }
    }
}

TEST_F(PluginHost, InformationComesBackInThePackedRecordWithItsText) {
    ASSERT_EQ(LoadFilters({"tinypic"}), 1);
    PictureInfo info;
    std::memset(&info, 0xCC, sizeof(info));
    ASSERT_EQ(PluginReadInfo(TinyFile("made by a test").c_str(), &info), 1);
    EXPECT_EQ(info.left, 0);
    EXPECT_EQ(info.top, 0);
    EXPECT_EQ(info.width, 5);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.xDensity, 1);
    EXPECT_EQ(info.colorDepth, 24);
    // A padded record would read the handle two bytes off.
    ASSERT_NE(info.textHandle, nullptr);
    EXPECT_STREQ(static_cast<const char*>(LocalLock(info.textHandle)), "made by a test");
    LocalUnlock(info.textHandle);
    LocalFree(info.textHandle);

    EXPECT_EQ(PluginReadInfo(files.File("missing.tpc").c_str(), &info), 0);
    WriteBmp(files.File("x.bmp"), 4, 4);
    EXPECT_EQ(PluginReadInfo(files.File("x.bmp").c_str(), &info), 0);
    // -1 is the interface's "not implemented": no information, so the next
    // filter is asked, and alone it answers nothing.
    ASSERT_EQ(LoadFilters({"failall", "tinypic"}), 1);
    info = PictureInfo{};
    ASSERT_EQ(PluginReadInfo(TinyFile().c_str(), &info), 1);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPictureInfoCall), 1);
    EXPECT_EQ(info.width, 5);
    ASSERT_EQ(LoadFilters({"failall"}), 1);
    EXPECT_EQ(PluginReadInfo(TinyFile().c_str(), &info), 0);
}

TEST_F(PluginHost, EveryFilterIsAskedFromTheFilesFirstByte) {
    // The WIC filter reads the head and refuses a tiny picture; the tiny
    // filter reads from wherever the handle stands.
    StageInWalkOrder(filters, {WicPluginPath(), TestPluginPath("tinypic")});
    ASSERT_EQ(LoadPlugins(filters.Path().c_str()), 1);
    ASSERT_EQ(PluginCount(), 2);
    EXPECT_EQ(PluginSupportsFile(TinyFile().c_str()), 1);
    WriteBmp(files.File("x.bmp"), 4, 4);
    EXPECT_EQ(PluginSupportsFile(files.File("x.bmp").c_str()), 0);
    EXPECT_EQ(PluginSupportsFile(files.File("missing.tpc").c_str()), 0);
}

TEST_F(PluginHost, PatternsMatchTheExtensionInAnyCase) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("upperpic").c_str()), 1);  // "*.TPC;*.PIC"
    for (const char* yes : {"Pic", "pic", "PIC", "tpc", "Tpc"})
        EXPECT_EQ(PluginMatchesExtension(yes), 1) << yes;
    for (const char* no : {"pi", "pict", "", "bmp", "tp", "PIC;"})
        EXPECT_EQ(PluginMatchesExtension(no), 0) << no;
}

}  // namespace
