// The plug-in host against real filter libraries: binding, the order of the
// folder walk, falling back to the next filter, the preview worker thread,
// and what the host accepts back from a filter.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "image/plugin_direct.h"
#include "tests/plugins/plugin_fixtures.h"

// The host as the helpers hold it, calling the libraries in this process.
using namespace direct;

namespace {

enum TestCall { kIsSupportedCall = 0, kGetPictureInfoCall = 1, kGetPictureCall = 2, kGetPreviewCall = 3 };

// The observation calls the test filters export beside the interface.
int CallCount(const PluginEntry* plugin, TestCall call) {
    auto count = reinterpret_cast<int(__stdcall*)(int)>(
        reinterpret_cast<void*>(GetProcAddress(plugin->module, "TestCallCount")));
    return count ? count(call) : -1;
}
DWORD LastCallThread(const PluginEntry* plugin) {
    auto thread = reinterpret_cast<DWORD(__stdcall*)()>(
        reinterpret_cast<void*>(GetProcAddress(plugin->module, "TestLastCallThread")));
    return thread ? thread() : 0;
}

class PluginHost : public ::testing::Test {
protected:
    void TearDown() override { UnloadPlugins(); }

    // A 5 x 3 tiny picture in the temporary folder.
    std::string TinyFile(const std::string& name = "picture.tpc", const std::string& comment = "") {
        std::string path = files.File(name);
        WriteFileBytes(path, MakeTinyPicture(5, 3, comment));
        return path;
    }

    TempDir files;
    TempDir filters;
};

// Progress callback that records its calls.
struct ProgressLog {
    int calls = 0;
    int lastDone = -1;
    int lastTotal = -1;
    intptr_t userData = 0;
    DWORD thread = 0;
    int stopAfter = -1;  // answer "stop" once this many calls were made
};
ProgressLog* activeLog = nullptr;
int __stdcall RecordProgress(int done, int total, intptr_t userData) {
    ProgressLog& log = *activeLog;
    ++log.calls;
    log.lastDone = done;
    log.lastTotal = total;
    log.userData = userData;
    log.thread = GetCurrentThreadId();
    return log.stopAfter >= 0 && log.calls > log.stopAfter ? 1 : 0;
}

void ExpectTinyPixels(const DibPixels& dib, int step) {
    for (int y = 0; y < dib.Height(); ++y) {
        for (int x = 0; x < dib.Width(); ++x) {
            Rgb want = DistinctPixel(x * step, y * step);
            Rgba got = dib.At(x, y);
            ASSERT_EQ(got.r, want.r) << x << "," << y;
            ASSERT_EQ(got.g, want.g) << x << "," << y;
            ASSERT_EQ(got.b, want.b) << x << "," << y;
        }
    }
}

TEST_F(PluginHost, BindsAFilterWithAllFiveEntryPoints) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    ASSERT_EQ(PluginCount(), 1);
    const PluginEntry* plugin = PluginAt(0);
    EXPECT_NE(plugin->module, nullptr);
    EXPECT_NE(plugin->GetPluginInfo, nullptr);
    EXPECT_NE(plugin->IsSupported, nullptr);
    EXPECT_NE(plugin->GetPictureInfo, nullptr);
    EXPECT_NE(plugin->GetPicture, nullptr);
    EXPECT_NE(plugin->GetPreview, nullptr);
    EXPECT_EQ(PluginAt(1), nullptr);
    EXPECT_EQ(PluginAt(-1), nullptr);
}

TEST_F(PluginHost, AnotherInterfaceVersionIsNotBound) {
    EXPECT_EQ(LoadPlugins(TestPluginFolder("wrongversion").c_str()), 0);
    EXPECT_EQ(PluginCount(), 0);
    EXPECT_EQ(PluginSupportsFile(TinyFile().c_str()), 0);
}

TEST_F(PluginHost, AFilterWithoutGetPreviewIsNotBoundEvenThoughItReadsPictures) {
    EXPECT_EQ(LoadPlugins(TestPluginFolder("nopreview").c_str()), 0);
    EXPECT_EQ(PluginCount(), 0);
    HLOCAL header, pixels;
    EXPECT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
}

TEST_F(PluginHost, BindPluginFreesWhatItRefuses) {
    PluginEntry entry;
    std::memset(&entry, 0xCC, sizeof(entry));
    EXPECT_EQ(BindPlugin(&entry, TestPluginPath("wrongversion").c_str()), 0);
    EXPECT_EQ(entry.module, nullptr);
    EXPECT_EQ(GetModuleHandleA(PluginFile("wrongversion").c_str()), nullptr);
    EXPECT_EQ(BindPlugin(&entry, files.File(PluginFile("missing")).c_str()), 0);
    EXPECT_EQ(entry.module, nullptr);

    ASSERT_EQ(BindPlugin(&entry, TestPluginPath("tinypic").c_str()), 1);
    EXPECT_EQ(GetModuleHandleA(PluginFile("tinypic").c_str()), entry.module);
    FreeLibrary(entry.module);
}

TEST_F(PluginHost, NoFilterAnywhereIsSilentAndEveryCallAnswersNo) {
    EXPECT_EQ(LoadPlugins(filters.Path().c_str()), 0);                  // empty folder
    EXPECT_EQ(LoadPlugins(files.File("no such folder\\").c_str()), 0);  // missing folder
    EXPECT_EQ(PluginCount(), 0);
    std::string path = TinyFile();
    HLOCAL header = reinterpret_cast<HLOCAL>(1), pixels = reinterpret_cast<HLOCAL>(1);
    EXPECT_EQ(PluginLoadPicture(path.c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_EQ(header, nullptr);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(PluginLoadPreview(path.c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    PictureInfo info{};
    EXPECT_EQ(PluginReadInfo(path.c_str(), &info), 0);
    EXPECT_EQ(PluginSupportsFile(path.c_str()), 0);
    EXPECT_EQ(PluginMatchesExtension("tpc"), 0);
}

TEST_F(PluginHost, DamagedAndRefusedLibrariesAreSkippedAndTheirEntryReused) {
    Bytes junk(3000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 7 + 3);
    junk[0] = 'M';
    junk[1] = 'Z';
    WriteFileBytes(filters.File(PluginFile("damaged")), junk);
    CreateDirectoryA(filters.File(PluginFile("folder")).c_str(), nullptr);
    CopyFileA(TestPluginPath("wrongversion").c_str(), filters.File(PluginFile("version")).c_str(), FALSE);
    CopyFileA(TestPluginPath("nopreview").c_str(), filters.File(PluginFile("nopreview")).c_str(), FALSE);
    CopyFileA(TestPluginPath("tinypic").c_str(), filters.File(PluginFile("tiny")).c_str(), FALSE);
    // The other program's kind: under its own extension it is not even
    // looked at; under this program's extension it fails to load (the wrong
    // bitness) and is skipped like any damaged file.
    CopyFileA(TestPluginPath("tinypic").c_str(),
              filters.File(std::string("tiny") + kOtherPluginExtension).c_str(), FALSE);
    std::string otherBitness = OtherFlavourTestPluginPath("tinypic");
    if (FileExists(otherBitness)) {
        ASSERT_TRUE(CopyFileA(otherBitness.c_str(), filters.File(PluginFile("otherbits")).c_str(), FALSE));
    } else {
        std::printf(
            "[   NOTE   ] no build of the other flavour beside this one: the wrong-bitness case is left "
            "out\n");
    }

    ASSERT_EQ(LoadPlugins(filters.Path().c_str()), 1);
    ASSERT_EQ(PluginCount(), 1);
    EXPECT_EQ(PluginAt(0)->module, GetModuleHandleA(filters.File(PluginFile("tiny")).c_str()));
    std::string picture = TinyFile();
    PictureInfo info{};
    EXPECT_EQ(PluginReadInfo(picture.c_str(), &info), 1);
    EXPECT_EQ(info.width, 5);
}

TEST_F(PluginHost, LoadingAgainReplacesTheTableAndUnloadingFreesTheLibraries) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    ASSERT_EQ(LoadPlugins(TestPluginFolder("upperpic").c_str()), 1);
    EXPECT_EQ(PluginCount(), 1);
    EXPECT_EQ(GetModuleHandleA(PluginFile("tinypic").c_str()), nullptr);
    EXPECT_NE(GetModuleHandleA(PluginFile("upperpic").c_str()), nullptr);
    UnloadPlugins();
    EXPECT_EQ(PluginCount(), 0);
    EXPECT_EQ(GetModuleHandleA(PluginFile("upperpic").c_str()), nullptr);
}

TEST_F(PluginHost, TheFilterMetFirstInTheFolderWalkDecodes) {
    // The same two filters both ways round: the winner follows the walk,
    // not the name or the library.
    for (bool tinyFirst : {true, false}) {
        TempDir folder;
        std::vector<std::string> order =
            tinyFirst ? StageInWalkOrder(folder, {TestPluginPath("tinypic"), TestPluginPath("tinypic2")})
                      : StageInWalkOrder(folder, {TestPluginPath("tinypic2"), TestPluginPath("tinypic")});
        ASSERT_EQ(WalkOrder(folder.Path()), order);
        ASSERT_EQ(LoadPlugins(folder.Path().c_str()), 1);
        ASSERT_EQ(PluginCount(), 2);
        HLOCAL header, pixels;
        ASSERT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 0, &header, &pixels), 1);
        DibPixels dib(header, pixels);
        // Each filter marks its pictures with its number.
        EXPECT_EQ(dib.Header().biXPelsPerMeter, tinyFirst ? 1 : 2);
        UnloadPlugins();
    }
}

TEST_F(PluginHost, AFilterThatAcceptsAndFailsIsFollowedByTheNext) {
    StageInWalkOrder(filters, {TestPluginPath("failall"), TestPluginPath("tinypic")});
    ASSERT_EQ(LoadPlugins(filters.Path().c_str()), 1);
    ASSERT_EQ(PluginCount(), 2);
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 0, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPictureCall), 1);  // failall was asked first
    EXPECT_EQ(dib.Header().biXPelsPerMeter, 1);
    ExpectTinyPixels(dib, 1);
}

TEST_F(PluginHost, LastLoadErrorEndsAt2WhenEveryFilterFailed) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("failall").c_str()), 1);
    HLOCAL header, pixels;
    EXPECT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_EQ(header, nullptr);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(PluginLoadPreview(TinyFile().c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_EQ(header, nullptr);
    // A file that cannot be opened ends the same way.
    EXPECT_EQ(PluginLoadPicture(files.File("missing.tpc").c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
}

TEST_F(PluginHost, APictureComesBackAsTheFiltersTwoBlocks) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 0, &header, &pixels), 1);
    EXPECT_NE(LocalFlags(header), LMEM_INVALID_HANDLE);
    DibPixels dib(header, pixels);
    EXPECT_EQ(dib.Width(), 5);
    EXPECT_EQ(dib.Header().biHeight, 3);  // the filter's bottom-up rows, taken as they are
    EXPECT_EQ(dib.Bits(), 24);
    ExpectTinyPixels(dib, 1);
}

TEST_F(PluginHost, TheCallersProgressCallbackAndDataReachTheFilter) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    ProgressLog log;
    activeLog = &log;
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPicture(TinyFile().c_str(), RecordProgress, 4321, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    EXPECT_GE(log.calls, 2);
    EXPECT_EQ(log.userData, 4321);
    EXPECT_EQ(log.lastDone, 3);
    EXPECT_EQ(log.lastTotal, 3);
    EXPECT_EQ(log.thread, GetCurrentThreadId());
}

TEST_F(PluginHost, WithoutACallbackFiltersGetOneThatGoesOn) {
    // The test filter calls its callback without checking it, as filters do.
    EXPECT_EQ(DefaultProgress(1, 2, 3), 0);
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 99, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    ASSERT_EQ(PluginLoadPreview(TinyFile().c_str(), nullptr, 99, &header, &pixels), 1);
    DibPixels preview(header, pixels);
}

TEST_F(PluginHost, AStopFromTheCallbackMovesOnAndEndsAt2) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    ProgressLog log;
    log.stopAfter = 1;
    activeLog = &log;
    HLOCAL header, pixels;
    EXPECT_EQ(PluginLoadPicture(TinyFile().c_str(), RecordProgress, 0, &header, &pixels), 0);
    EXPECT_EQ(log.calls, 2);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_EQ(header, nullptr);
    EXPECT_EQ(pixels, nullptr);
}

TEST_F(PluginHost, APreviewRunsTheFilterOnAnotherThreadAndHandsTheAnswerBack) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    ProgressLog log;
    activeLog = &log;
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPreview(TinyFile().c_str(), RecordProgress, 7, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    DWORD worker = LastCallThread(PluginAt(0));
    EXPECT_NE(worker, 0u);
    EXPECT_NE(worker, GetCurrentThreadId());
    EXPECT_EQ(log.thread, worker);  // the filter calls back from its own thread
    EXPECT_EQ(log.userData, 7);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPreviewCall), 1);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPictureCall), 0);
    // The test filter's preview is every second pixel of every second row.
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    ExpectTinyPixels(dib, 2);
}

TEST_F(PluginHost, AFailingPreviewFallsBackToTheFullPictureOnAWorker) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("previewfails").c_str()), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPreview(TinyFile().c_str(), nullptr, 0, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPreviewCall), 1);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPictureCall), 1);
    EXPECT_NE(LastCallThread(PluginAt(0)), GetCurrentThreadId());
    EXPECT_EQ(dib.Width(), 5);
    EXPECT_EQ(dib.Height(), 3);
    EXPECT_EQ(dib.Header().biXPelsPerMeter, 4);
    ExpectTinyPixels(dib, 1);
}

TEST_F(PluginHost, APreviewFailingEverywhereFallsToTheNextFilter) {
    StageInWalkOrder(filters, {TestPluginPath("failall"), TestPluginPath("tinypic")});
    ASSERT_EQ(LoadPlugins(filters.Path().c_str()), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPreview(TinyFile().c_str(), nullptr, 0, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPreviewCall), 1);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPictureCall), 1);
    EXPECT_EQ(dib.Header().biXPelsPerMeter, 1);
}

TEST_F(PluginHost, BlocksTooSmallForTheirHeaderAreRefused) {
    // Taking them would let the display read past the pixel block.
    StageInWalkOrder(filters, {TestPluginPath("badblocks"), TestPluginPath("tinypic")});
    ASSERT_EQ(LoadPlugins(filters.Path().c_str()), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 0, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPictureCall), 1);
    EXPECT_EQ(dib.Header().biXPelsPerMeter, 1);

    ASSERT_EQ(LoadPlugins(TestPluginFolder("badblocks").c_str()), 1);
    EXPECT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(LastLoadError, kLoadNotThisFormat);
    EXPECT_EQ(PluginLoadPreview(TinyFile().c_str(), nullptr, 0, &header, &pixels), 0);
    EXPECT_EQ(header, nullptr);
}

TEST_F(PluginHost, AShortColourTableIsGrownToTheDepthsFullTable) {
    // The filter stops its table at biClrUsed entries; readers of a DibImage
    // index all 256.
    ASSERT_EQ(LoadPlugins(TestPluginFolder("upperpic").c_str()), 1);
    HLOCAL header, pixels;
    ASSERT_EQ(PluginLoadPicture(TinyFile().c_str(), nullptr, 0, &header, &pixels), 1);
    DibPixels dib(header, pixels);
    ASSERT_EQ(dib.Bits(), 8);
    EXPECT_EQ(dib.Header().biClrUsed, 15u);
    EXPECT_GE(dib.HeaderBlockSize(), sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    for (int i = 15; i < 256; ++i) {
        const RGBQUAD& c = dib.ColourTable()[i];
        ASSERT_EQ(c.rgbRed | c.rgbGreen | c.rgbBlue | c.rgbReserved, 0) << i;
    }
    ExpectTinyPixels(dib, 1);
}

TEST_F(PluginHost, InformationComesBackInThePackedRecordWithItsText) {
    ASSERT_EQ(LoadPlugins(TestPluginFolder("tinypic").c_str()), 1);
    PictureInfo info;
    std::memset(&info, 0xCC, sizeof(info));
    ASSERT_EQ(PluginReadInfo(TinyFile("c.tpc", "made by a test").c_str(), &info), 1);
    EXPECT_EQ(info.left, 0);
    EXPECT_EQ(info.top, 0);
    EXPECT_EQ(info.width, 5);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.xDensity, 1);
    EXPECT_EQ(info.colorDepth, 24);
    // A padded record would read the handle two bytes off.
    ASSERT_NE(info.textHandle, nullptr);
    const char* text = static_cast<const char*>(LocalLock(info.textHandle));
    EXPECT_STREQ(text, "made by a test");
    LocalUnlock(info.textHandle);
    LocalFree(info.textHandle);

    EXPECT_EQ(PluginReadInfo(files.File("missing.tpc").c_str(), &info), 0);
    WriteBmp(files.File("x.bmp"), 4, 4);
    EXPECT_EQ(PluginReadInfo(files.File("x.bmp").c_str(), &info), 0);
}

TEST_F(PluginHost, NotImplementedInformationIsNoInformation) {
    // -1 is the interface's "not implemented": the record holds nothing.
    StageInWalkOrder(filters, {TestPluginPath("failall"), TestPluginPath("tinypic")});
    ASSERT_EQ(LoadPlugins(filters.Path().c_str()), 1);
    PictureInfo info{};
    ASSERT_EQ(PluginReadInfo(TinyFile().c_str(), &info), 1);
    EXPECT_EQ(CallCount(PluginAt(0), kGetPictureInfoCall), 1);
    EXPECT_EQ(info.width, 5);
    ASSERT_EQ(LoadPlugins(TestPluginFolder("failall").c_str()), 1);
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

    ASSERT_EQ(LoadPlugins(ProgramFolderPath().c_str()), 1);  // the WIC filter
    for (const char* yes : {"png", "PNG", "gif", "tif", "TIFF", "ico"})
        EXPECT_EQ(PluginMatchesExtension(yes), 1) << yes;
    for (const char* no : {"jpg", "bmp", "tpc"}) EXPECT_EQ(PluginMatchesExtension(no), 0) << no;
}

}  // namespace
