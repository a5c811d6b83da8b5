// The .zub file type, the wallpaper and the help document, read back from
// the registry and the files the program writes.
#include <tuple>

#include "app/shell_integration.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "tests/app/fake_registry.h"
#include "tests/app/viewer_fixture.h"

namespace {
constexpr char kProgram[] = "C:\\Program Files\\piltrin.exe";
const std::string kClasses = "Software\\Classes\\";

std::string Classes(const std::string& key) {
    return FakeUserRegistry::Text(HKEY_CURRENT_USER, kClasses + key);
}
std::string Desktop(const char* name) {
    return FakeUserRegistry::Text(HKEY_CURRENT_USER, "Control Panel\\Desktop", name);
}
std::string DesktopWallpaper() {
    char now[MAX_PATH] = "";
    SystemParametersInfoA(SPI_GETDESKWALLPAPER, MAX_PATH, now, 0);
    return now;
}
int Register() {
    return RegisterDocType(".zub", "Zub file", "Piltrin group file", kProgram, 3, kProgram, 1);
}

class ShellIntegrationTest : public ViewerWindowTest {
protected:
    void SetUp() override {
        ViewerWindowTest::SetUp();
        wallpaper_ = DesktopWallpaper();
        char folder[MAX_PATH];
        GetModuleFileNameA(nullptr, folder, MAX_PATH);
        wallpaperFile_ = std::string(folder).substr(0, std::string(folder).rfind('\\') + 1) + "Wallpaper.bmp";
        registry_ = std::make_unique<FakeUserRegistry>();
    }
    void TearDown() override {
        registry_.reset();
        SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, wallpaper_.data(), SPIF_UPDATEINIFILE);
        DeleteFileA(wallpaperFile_.c_str());
        RemoveDirectoryA(wallpaperFile_.c_str());
        ViewerWindowTest::TearDown();
    }

    std::string wallpaper_, wallpaperFile_;
    std::unique_ptr<FakeUserRegistry> registry_;
};
}  // namespace

TEST_F(ShellIntegrationTest, RegisteringAgainAsksAndOnlyOkRewrites) {
    EXPECT_EQ(Register(), 1);
    EXPECT_EQ((Texts{Classes(".zub"), Classes("Zub file"), Classes("Zub file\\DefaultIcon"),
                     Classes("Zub file\\Shell\\open\\command")}),
              (Texts{"Zub file", "Piltrin group file", "C:\\Program Files\\piltrin.exe,3",
                     "\"C:\\Program Files\\piltrin.exe\" %1"}));
    EXPECT_EQ(TakeMessages(), Texts{"SUCCESS: 設定は無事終了しました。"});
    // The answer, the result and what "Zub file" holds afterwards.
    for (const auto& [answer, result, description] :
         {std::tuple{IDCANCEL, 0, "changed"}, std::tuple{IDOK, 1, "Piltrin group file"}}) {
        SCOPED_TRACE(answer);
        FakeUserRegistry::SetText(HKEY_CURRENT_USER, kClasses + "Zub file", "changed");
        messageAnswer_ = answer;
        EXPECT_EQ(Register(), result);
        ASSERT_GE(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OKCANCEL));
        Texts expected = {"set Icon error: .zub に対する設定は既に行われています。再設定しますか？"};
        if (answer == IDOK) expected.push_back("SUCCESS: 設定は無事終了しました。");
        EXPECT_EQ(TakeMessages(), expected);
        EXPECT_EQ(Classes("Zub file"), description);
    }
    // Silent registration asks nothing, tells nothing.
    EXPECT_EQ(RegisterDocType(".zub", "Zub file", "Piltrin group file", nullptr, 3, kProgram, 0), 1);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ShellIntegrationTest, RegistrationThatCannotWriteSaysSoAndChangesNothing) {
    // The read-only key under the user's classes ("" the classes key itself), an older type of the
    // extension, and what the extension holds afterwards.
    const std::tuple<std::string, const char*, std::string> cases[] = {
        {"", nullptr, "<none>"},
        {"Zub file", nullptr, "<none>"},           // the first key is taken back
        {"Zub file", "Other file", "Other file"},  // and an older value restored
    };
    for (const auto& [readOnlyKey, oldExtensionType, extensionAfter] : cases) {
        SCOPED_TRACE(readOnlyKey + (oldExtensionType ? " over an older type" : ""));
        registry_.reset();
        registry_ = std::make_unique<FakeUserRegistry>();
        if (oldExtensionType)
            FakeUserRegistry::SetText(HKEY_CURRENT_USER, kClasses + ".zub", oldExtensionType);
        FakeUserRegistry::MakeReadOnly(HKEY_CURRENT_USER, kClasses + readOnlyKey);
        messages_.clear();
        EXPECT_EQ(Register(), 0);
        ASSERT_FALSE(messages_.empty());
        EXPECT_EQ(TakeMessages().back(), "FALSE: 何らかの問題で設定に失敗しました。");
        EXPECT_EQ(Classes(".zub"), extensionAfter);
        EXPECT_EQ(Classes("Zub file\\DefaultIcon"), "<none>");
    }
}

TEST_F(ShellIntegrationTest, WallpaperTileThenCentreFromThePictureAsStored) {
    Command(kCommandWallpaperTile);  // nothing shown: nothing happens
    EXPECT_FALSE(FileExists(wallpaperFile_));
    EXPECT_EQ(Desktop("TileWallpaper"), "<none>");
    WriteBmp(dir_.File("wide.bmp"), 24, 16);
    Show(dir_.File("wide.bmp"), 1);  // shown turned by 90 degrees
    ASSERT_EQ(Viewer().PictureSize.cx, 16);
    for (const auto& [command, tile] :
         {std::pair{kCommandWallpaperTile, "1"}, {kCommandWallpaperCentre, "0"}}) {
        SCOPED_TRACE(command);
        Command(command);
        EXPECT_EQ(Desktop("TileWallpaper"), tile);
        EXPECT_EQ(Desktop("Wallpaperstyle"), "0");
        const Bytes file = ReadFileBytes(wallpaperFile_);
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(*reinterpret_cast<const LONG*>(&file[18]), 24);  // unturned width
        EXPECT_EQ(*reinterpret_cast<const LONG*>(&file[22]), 16);
        EXPECT_EQ(DesktopWallpaper(), wallpaperFile_);
    }
    EXPECT_FALSE(FileExists(wallpaperFile_ + ".new"));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ShellIntegrationTest, WallpaperThatCannotBeWrittenSaysSoAndLeavesTheDesktop) {
    WriteBmp(dir_.File("a.bmp"), 8, 8);
    Show(dir_.File("a.bmp"));
    // A folder where the file should go: the program folder cannot take it.
    ASSERT_TRUE(CreateDirectoryA(wallpaperFile_.c_str(), nullptr));
    Command(kCommandWallpaperTile);
    EXPECT_EQ(TakeMessages(), Texts{"Error: 壁紙の画像ファイルを書き込めませんでした。\n" + wallpaperFile_});
    EXPECT_EQ(Desktop("TileWallpaper"), "<none>");
    EXPECT_EQ(DesktopWallpaper(), wallpaper_);
    EXPECT_FALSE(FileExists(wallpaperFile_ + ".new"));
    EXPECT_TRUE(IsWindow(window_));
}

TEST_F(ShellIntegrationTest, AHelpDocumentThatCannotBeOpenedIsReported) {
    WriteFileBytes(dir_.File("help.piltrin-unknown"), Bytes{'x'});
    for (const auto& [path, text] :
         {std::pair{dir_.File("Help\\index.htm"), "Error: ヘルプファイルが見つかりません。\n"},
          std::pair{dir_.File("help.piltrin-unknown"), "Error: ヘルプファイルを開けませんでした。\n"}}) {
        ShowHelpDocument(window_, path.c_str());
        EXPECT_EQ(TakeMessages(), Texts{text + path});
    }
}
