// The .zub file type, the wallpaper and the help document, read back from
// the registry and the files the program writes.
#include <gtest/gtest.h>

#include <string>

#include "app/shell_integration.h"
#include "app/viewer_state.h"
#include "app/window_commands.h"
#include "tests/app/fake_registry.h"
#include "tests/app/viewer_fixture.h"

namespace {
constexpr char kProgram[] = "C:\\Tools\\piltrin.exe";
const std::string kClasses = "Software\\Classes\\";

// The four entries of a .zub registration, as the user's classes hold them.
std::vector<std::string> ZubEntries() {
    std::vector<std::string> texts;
    for (const char* key : {".zub", "Zub file", "Zub file\\DefaultIcon", "Zub file\\Shell\\open\\command"}) {
        texts.push_back(FakeUserRegistry::Text(HKEY_CURRENT_USER, kClasses + key));
    }
    return texts;
}
const std::vector<std::string> kRegistered = {"Zub file", "Piltrin group file", "C:\\Tools\\piltrin.exe,3",
                                              "C:\\Tools\\piltrin.exe %1"};

class ShellIntegrationTest : public ViewerWindowTest {
protected:
    void SetUp() override {
        ViewerWindowTest::SetUp();
        SystemParametersInfoA(SPI_GETDESKWALLPAPER, MAX_PATH, wallpaper_, 0);
        char folder[MAX_PATH];
        GetModuleFileNameA(nullptr, folder, MAX_PATH);
        wallpaperFile_ = std::string(folder).substr(0, std::string(folder).rfind('\\') + 1) + "Wallpaper.bmp";
        registry_ = std::make_unique<FakeUserRegistry>();
    }
    void TearDown() override {
        registry_.reset();
        SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, wallpaper_, SPIF_UPDATEINIFILE);
        DeleteFileA(wallpaperFile_.c_str());
        RemoveDirectoryA(wallpaperFile_.c_str());
        ViewerWindowTest::TearDown();
    }
    int Register() {
        return RegisterDocType(".zub", "Zub file", "Piltrin group file", kProgram, 3, kProgram, 1);
    }
    std::string Desktop(const char* name) {
        return FakeUserRegistry::Text(HKEY_CURRENT_USER, "Control Panel\\Desktop", name);
    }

    char wallpaper_[MAX_PATH] = "";
    std::string wallpaperFile_;
    std::unique_ptr<FakeUserRegistry> registry_;
};
}  // namespace

TEST_F(ShellIntegrationTest, RegisteringAgainAsksAndOnlyOkRewrites) {
    EXPECT_EQ(Register(), 1);
    EXPECT_EQ(ZubEntries(), kRegistered);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "設定は無事終了しました。");
    EXPECT_EQ(messages_[0].caption, "SUCCESS");

    struct Case {
        int answer;
        int result;
        const char* description;  // what "Zub file" holds afterwards
    };
    for (const Case& c : {Case{IDCANCEL, 0, "changed"}, Case{IDOK, 1, "Piltrin group file"}}) {
        SCOPED_TRACE(c.answer);
        FakeUserRegistry::SetText(HKEY_CURRENT_USER, kClasses + "Zub file", "changed");
        messages_.clear();
        messageAnswer_ = c.answer;
        EXPECT_EQ(Register(), c.result);
        ASSERT_GE(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, ".zub に対する設定は既に行われています。再設定しますか？");
        EXPECT_EQ(messages_[0].caption, "set Icon error");
        EXPECT_EQ(messages_[0].type, static_cast<UINT>(MB_OKCANCEL));
        EXPECT_EQ(messages_.size(), c.answer == IDOK ? 2u : 1u);
        EXPECT_EQ(FakeUserRegistry::Text(HKEY_CURRENT_USER, kClasses + "Zub file"), c.description);
    }
    // Silent registration asks nothing, tells nothing.
    messages_.clear();
    EXPECT_EQ(RegisterDocType(".zub", "Zub file", "Piltrin group file", nullptr, 3, kProgram, 0), 1);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ShellIntegrationTest, RegistrationThatCannotWriteSaysSoAndChangesNothing) {
    struct Case {
        const char* readOnlyKey;  // under the user's classes ("" = the classes key itself)
        const char* oldExtensionType;
        std::string extensionAfter;
    };
    const Case cases[] = {
        {"", nullptr, "<none>"},
        {"Zub file", nullptr, "<none>"},           // the first key is taken back
        {"Zub file", "Other file", "Other file"},  // and an older value restored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.readOnlyKey);
        registry_.reset();
        registry_ = std::make_unique<FakeUserRegistry>();
        if (c.oldExtensionType)
            FakeUserRegistry::SetText(HKEY_CURRENT_USER, kClasses + ".zub", c.oldExtensionType);
        FakeUserRegistry::MakeReadOnly(HKEY_CURRENT_USER, kClasses + c.readOnlyKey);
        messages_.clear();
        EXPECT_EQ(Register(), 0);
        ASSERT_FALSE(messages_.empty());
        EXPECT_EQ(messages_.back().text, "何らかの問題で設定に失敗しました。");
        EXPECT_EQ(messages_.back().caption, "FALSE");
        EXPECT_EQ(FakeUserRegistry::Text(HKEY_CURRENT_USER, kClasses + ".zub"), c.extensionAfter);
        EXPECT_EQ(FakeUserRegistry::Text(HKEY_CURRENT_USER, kClasses + "Zub file\\DefaultIcon"), "<none>");
    }
}

TEST_F(ShellIntegrationTest, WallpaperTileThenCentreFromThePictureAsStored) {
    Command(kCommandWallpaperTile);  // nothing shown: nothing happens
    EXPECT_FALSE(FileExists(wallpaperFile_));
    EXPECT_EQ(Desktop("TileWallpaper"), "<none>");

    WriteBmp(dir_.File("wide.bmp"), 24, 16);
    Show(dir_.File("wide.bmp"), 1);  // shown turned by 90 degrees
    ASSERT_EQ(Viewer().PictureSize.cx, 16);
    struct Case {
        int command;
        const char* tile;
    };
    for (const Case& c : {Case{kCommandWallpaperTile, "1"}, Case{kCommandWallpaperCentre, "0"}}) {
        SCOPED_TRACE(c.command);
        Command(c.command);
        EXPECT_EQ(Desktop("TileWallpaper"), c.tile);
        EXPECT_EQ(Desktop("Wallpaperstyle"), "0");
        const Bytes file = ReadFileBytes(wallpaperFile_);
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(*reinterpret_cast<const LONG*>(&file[18]), 24);  // unturned width
        EXPECT_EQ(*reinterpret_cast<const LONG*>(&file[22]), 16);
        char now[MAX_PATH] = "";
        SystemParametersInfoA(SPI_GETDESKWALLPAPER, MAX_PATH, now, 0);
        EXPECT_STREQ(now, wallpaperFile_.c_str());
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
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "壁紙の画像ファイルを書き込めませんでした。\n" + wallpaperFile_);
    EXPECT_EQ(messages_[0].caption, "Error");
    EXPECT_EQ(Desktop("TileWallpaper"), "<none>");
    char now[MAX_PATH] = "";
    SystemParametersInfoA(SPI_GETDESKWALLPAPER, MAX_PATH, now, 0);
    EXPECT_STREQ(now, wallpaper_);
    EXPECT_FALSE(FileExists(wallpaperFile_ + ".new"));
    EXPECT_TRUE(IsWindow(window_));
}

TEST_F(ShellIntegrationTest, AHelpDocumentThatCannotBeOpenedIsReported) {
    WriteFileBytes(dir_.File("help.piltrin-unknown"), Bytes{'x'});
    struct Case {
        std::string path;
        const char* text;
    };
    const Case cases[] = {
        {dir_.File("Help\\index.htm"), "ヘルプファイルが見つかりません。\n"},
        {dir_.File("help.piltrin-unknown"), "ヘルプファイルを開けませんでした。\n"},
    };
    for (const Case& c : cases) {
        messages_.clear();
        ShowHelpDocument(window_, c.path.c_str());
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, c.text + c.path);
        EXPECT_EQ(messages_[0].caption, "Error");
    }
}
