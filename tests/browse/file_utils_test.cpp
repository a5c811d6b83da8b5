#include "browse/file_utils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {
// Folds the single-byte letters only; double-byte names keep their bytes.
std::string Cased(std::string text, bool upper) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z' && upper) c = static_cast<char>(c - 'a' + 'A');
        if (c >= 'A' && c <= 'Z' && !upper) c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}
std::string Lower(const std::string& text) {
    return Cased(text, false);
}

std::string LongFullPath(const std::string& path) {
    char out[MAX_PATH] = "?";
    return GetLongFullPath(path.c_str(), out, nullptr) ? out : std::string("(failed)");
}
}  // namespace

TEST(AddDirSeparator, AppendsOnlyWhenTheLastCharacterIsNoSeparator) {
    ASSERT_EQ('\\', std::string("表")[1]);  // 表 is 95 5C: its trail byte looks like a separator
    const struct {
        const char *in, *out;
    } cases[] = {{"C:\\pics", "C:\\pics\\"},
                 {"C:\\pics\\", "C:\\pics\\"},
                 {"", "\\"},
                 {"C:\\表", "C:\\表\\"},
                 {"C:\\ソフト\\能", "C:\\ソフト\\能\\"}};
    for (const auto& c : cases) {
        char path[MAX_PATH];
        lstrcpynA(path, c.in, MAX_PATH);
        AddDirSeparator(path);
        EXPECT_STREQ(c.out, path) << c.in;
    }
}

// Searches step over double-byte characters: the trail byte of 表 is no
// separator. Offsets of the first and last separator (-1: none), the name, the extension.
TEST(PathSearches, StepOverDoubleByteCharacters) {
    const struct {
        const char* path;
        int first, last;
        const char *name, *extension;
    } cases[] = {{"C:\\表\\x", 2, 5, "x", ""},
                 {"D:\\表", 2, 2, "表", ""},
                 {"表", -1, -1, "表", ""},
                 {"C:\\p\\a.b.JPG", 2, 4, "a.b.JPG", "JPG"},
                 {"C:\\dir.d\\name", 2, 8, "name", ""},
                 {"noext", -1, -1, "noext", ""},
                 {"C:\\a.表", 2, 2, "a.表", "表"},
                 {"C:\\x\\", 2, 4, "", ""}};
    auto offset = [](const char* path, const char* at) { return at ? static_cast<int>(at - path) : -1; };
    for (const auto& c : cases) {
        EXPECT_EQ(c.first, offset(c.path, FindFirstSeparator(c.path))) << c.path;
        EXPECT_EQ(c.last, offset(c.path, FindLastSeparator(c.path))) << c.path;
        EXPECT_STREQ(c.name, FileNamePart(c.path)) << c.path;
        EXPECT_STREQ(c.extension, ExtensionOf(c.path)) << c.path;
        EXPECT_EQ(c.path + strlen(c.path) - strlen(c.extension), ExtensionOf(c.path)) << c.path;
    }
}

TEST(SamePathText, FoldsOnlySingleByteLetters) {
    struct Case {
        const char* a;
        const char* b;
        size_t limit;
        bool same;
    };
    const Case cases[] = {
        {"C:\\Pics\\A.JPG", "c:\\pics\\a.jpg", size_t(-1), true},
        {"イ.jpg", "ツ.jpg", size_t(-1), false},  // 83 43 and 83 63: the trail bytes differ by case only
        {"イ.jpg", "イ.JPG", size_t(-1), true},
        {"表\\a", "表\\A", size_t(-1), true},  // 95 5C: the trail byte is no separator and no letter
        {"abc", "abd", 2, true},
        {"abc", "ab", size_t(-1), false},
        {"ab", "abc", size_t(-1), false},
        {"\x83", "\x83", size_t(-1), true},  // a lead byte at the end reads nothing beyond it
        {"イ", "ツ", 1, true},               // only the lead byte is inside the limit
    };
    for (const Case& c : cases) EXPECT_EQ(SamePathText(c.a, c.b, c.limit), c.same) << c.a << " / " << c.b;
}

// Paths of 258, 259 and 260 bytes around the 260-byte buffers; out may be
// the folder's own buffer.
TEST(JoinPath, JoinsWhatFitsAndLeavesTheBufferAsItWasOtherwise) {
    for (size_t total : {258u, 259u, 260u, 400u}) {
        const std::string folder = "C:\\" + std::string(total - 9, 'f') + "\\";
        char out[MAX_PATH + 1];
        std::memset(out, '#', sizeof out);
        out[MAX_PATH] = '!';
        lstrcpynA(out, folder.c_str(), MAX_PATH);
        const std::string before = out;
        const bool joined = JoinPath(out, out, "a.bmp");
        EXPECT_EQ(total < MAX_PATH, joined) << total;
        EXPECT_EQ(joined ? folder + "a.bmp" : before, std::string(out)) << total;
        EXPECT_EQ('!', out[MAX_PATH]) << total;
    }
}

TEST(FolderOf, GivesTheAbsoluteFolderWithItsSeparator) {
    char out[MAX_PATH];
    FolderOf(out, "C:\\x\\y\\pic.jpg");
    EXPECT_STREQ("C:\\x\\y\\", out);
    FolderOf(out, "C:\\表\\pic.jpg");
    EXPECT_STREQ("C:\\表\\", out);
    TempDir dir;
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(dir.Path().c_str());
    FolderOf(out, "pic.jpg");
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(Lower(dir.Path()), Lower(out));
}

TEST(ProgramPath, IsTheStartedProgramWithoutItsArguments) {
    char path[MAX_PATH], folder[MAX_PATH];
    ProgramPath(path);
    ProgramFolder(folder);
    std::string lowered = Lower(path);
    ASSERT_GE(lowered.size(), 15u);
    EXPECT_EQ("test_browse.exe", lowered.substr(lowered.size() - 15));
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    char expected[MAX_PATH];
    FolderOf(expected, module);
    EXPECT_EQ(Lower(expected), Lower(folder));
}

class LongFullPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The temporary folder as the file system spells it.
        ASSERT_NE("(failed)", LongFullPath(dir_.Path().substr(0, dir_.Path().size() - 1)));
        root_ = LongFullPath(dir_.Path().substr(0, dir_.Path().size() - 1)) + "\\";
        ASSERT_TRUE(CreateDirectoryA((dir_.Path() + "Program Files").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((dir_.Path() + "Program Files\\表Mixed").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(dir_.Path() + "Program Files\\表Mixed\\Foo.Jpg", Bytes{1}));
    }
    TempDir dir_;
    std::string root_;
};

// Differently cased components come back in their stored spelling; the
// drive prefix keeps the case it was given in.
TEST_F(LongFullPathTest, SpellsEveryComponentAsStoredAndFailsForMissingOnesAndDriveRoots) {
    const std::string stored = root_ + "Program Files\\表Mixed\\Foo.Jpg";
    const std::string lowered = Lower(stored), upper = Cased(stored, true);
    const std::pair<std::string, std::string> cases[] = {
        {stored, stored},
        {lowered, lowered.substr(0, 2) + stored.substr(2)},
        {upper, upper.substr(0, 2) + stored.substr(2)},
        {dir_.Path() + "Program Files\\nothing\\Foo.Jpg", "(failed)"},
        {dir_.Path() + "Program Files\\missing.jpg", "(failed)"},
        {"C:\\", "(failed)"},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(expected, LongFullPath(path)) << path;
}

TEST_F(LongFullPathTest, ShortNamesBecomeLongNames) {
    std::string stored = root_ + "Program Files\\表Mixed\\Foo.Jpg";
    char shortPath[MAX_PATH] = "";
    if (!GetShortPathNameA(stored.c_str(), shortPath, MAX_PATH) || stored == shortPath) {
        GTEST_SKIP() << "no short names on this file system";
    }
    EXPECT_EQ(stored, LongFullPath(shortPath));
}

TEST_F(LongFullPathTest, NamePartPointsAtTheLastComponent) {
    char out[MAX_PATH];
    char* name = nullptr;
    ASSERT_EQ(1, GetLongFullPath((dir_.Path() + "program files\\表mixed\\foo.jpg").c_str(), out, &name));
    EXPECT_STREQ("Foo.Jpg", name);
    ASSERT_EQ(1, GetLongFullPath((dir_.Path() + "program files\\表mixed\\*.jpg").c_str(), out, &name));
    EXPECT_STREQ("Foo.Jpg", name);
}

namespace {
struct Seen {
    std::vector<std::string> names;
    std::vector<std::string> directories;
    std::vector<DWORD> attributes;
};

int Record(const char* directory, const WIN32_FIND_DATAA& found, DWORD attributes, LONG_PTR context) {
    auto seen = reinterpret_cast<Seen*>(context);
    seen->names.push_back(found.cFileName);
    seen->directories.push_back(directory);
    seen->attributes.push_back(attributes);
    std::string name = found.cFileName;
    if (name.size() > 4 && name.substr(name.size() - 4) == ".jpg") return 1;
    return 2;  // anything but 1 does not count
}

int CountNested(const char* directory, const WIN32_FIND_DATAA& found, DWORD attributes, LONG_PTR) {
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    // Entered again from inside a walk, for another directory.
    return EnumFiles((std::string(directory) + found.cFileName + "\\*.*").c_str(), nullptr, 0) == 2 ? 1 : 0;
}
}  // namespace

class EnumFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileBytes(dir_.File("a.jpg"), Bytes{1}));
        ASSERT_TRUE(WriteFileBytes(dir_.File("b.jpg"), Bytes{1}));
        ASSERT_TRUE(WriteFileBytes(dir_.File("c.txt"), Bytes{1}));
        ASSERT_TRUE(CreateDirectoryA(dir_.File("sub").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(dir_.File("sub\\1.jpg"), Bytes{1}));
        ASSERT_TRUE(WriteFileBytes(dir_.File("sub\\2.jpg"), Bytes{1}));
    }
    TempDir dir_;
};

// Without a callback every file and folder counts, but no dot entry.
TEST_F(EnumFilesTest, WithoutCallbackCountsWhatMatches) {
    const struct {
        const char* pattern;
        int count;
    } cases[] = {{"*.*", 4}, {"*", 4}, {"*.jpg", 2}, {"*.xyz", 0}, {"missing\\*.*", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.count, EnumFiles((dir_.Path() + c.pattern).c_str(), nullptr, 0)) << c.pattern;
}

TEST_F(EnumFilesTest, CountsOnlyEntriesTheCallbackAnswersOneFor) {
    Seen seen;
    EXPECT_EQ(2, EnumFiles((dir_.Path() + "*.*").c_str(), Record, reinterpret_cast<LONG_PTR>(&seen)));
    ASSERT_EQ(4u, seen.names.size());
    for (size_t i = 0; i < seen.names.size(); ++i) {
        EXPECT_EQ(Lower(dir_.Path()), Lower(seen.directories[i]));
        bool isFolder = seen.names[i] == "sub";
        EXPECT_EQ(isFolder, (seen.attributes[i] & FILE_ATTRIBUTE_DIRECTORY) != 0) << seen.names[i];
    }
}

TEST_F(EnumFilesTest, ABareWildcardWalksTheCurrentDirectory) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.File("sub").c_str()));
    Seen seen;
    int counted = EnumFiles("*.jpg", Record, reinterpret_cast<LONG_PTR>(&seen));
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(2, counted);
    ASSERT_EQ(2u, seen.directories.size());
    EXPECT_EQ(Lower(dir_.File("sub\\")), Lower(seen.directories[0]));
}

TEST_F(EnumFilesTest, CallbacksMayWalkAnotherFolder) {
    EXPECT_EQ(1, EnumFiles((dir_.Path() + "*.*").c_str(), CountNested, 0));
}

TEST(ExpandPath, GivesWhatGetFullPathNameGives) {
    const char* const paths[] = {"C:\\pics\\a.jpg",
                                 "c:\\Pics\\A.JPG",
                                 "C:\\pics\\..\\a.jpg",
                                 "C:\\pics\\.\\a.jpg",
                                 "C:\\pics\\\\a.jpg",
                                 "C:/pics/a.jpg",
                                 "C:\\pics\\a.jpg.",
                                 "C:\\pics\\a.jpg ",
                                 "C:\\pics\\CON",
                                 "C:\\pics\\nul.txt",
                                 "C:\\pics\\COM1.jpg",
                                 "C:\\pics\\lpt9",
                                 "C:\\pics\\Console.jpg",
                                 "C:\\表\\ソフト\\能.jpg",
                                 "C:\\表\\..\\x.jpg",
                                 "C:\\pics\\",
                                 "C:\\",
                                 "C:",
                                 "pics\\a.jpg",
                                 "\\pics\\a.jpg",
                                 "C:pics\\a.jpg",
                                 "C:\\a\\b.\\c",
                                 "C:\\a\\ b\\c",
                                 "C:\\con\\x.jpg",
                                 "C:\\\x85\x40.jpg",
                                 "C:\\\x81\x20x",
                                 "C:\\\x81",
                                 "C:\\pics\\a?.jpg",
                                 "C:\\pics\\a:stream",
                                 "Z:\\x\\y z\\w.jpg",
                                 "C:\\AUX."};
    for (const char* path : paths) {
        char expected[MAX_PATH] = "", got[MAX_PATH] = "?";
        DWORD length = GetFullPathNameA(path, MAX_PATH, expected, nullptr);
        if (length == 0 || length >= MAX_PATH) expected[0] = '\0';
        EXPECT_EQ(strlen(expected), ExpandPath(path, got)) << path;
        EXPECT_STREQ(expected, got) << path;
    }
    std::string deep = "C:\\" + std::string(300, 'a');
    char out[MAX_PATH];
    EXPECT_EQ(0u, ExpandPath(deep.c_str(), out));
    EXPECT_FALSE(IsPlainFullPath(deep.c_str()));
    EXPECT_TRUE(IsPlainFullPath("C:\\pics\\Sub Folder\\a b.jpg"));
    EXPECT_FALSE(IsPlainFullPath("C:\\表\\ソフト\\能.jpg"));
    EXPECT_FALSE(IsPlainFullPath("C:\\pics\\..\\a.jpg"));
}

TEST(ExpandPath, AgreesWithTheSystemOnRandomPaths) {
    static const char* const pieces[] = {"\\", "\\", ".", "..",    " ", "a",    "Con",  "nul", "COM3",
                                         "表", "ソ", "/", "x.jpg", ":", "LPT1", "aux.", "b ",  "\\\\"};
    uint32_t state = 12345;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int i = 0; i < 3000; ++i) {
        std::string path = "C:\\";
        int count = 1 + static_cast<int>(next() % 10);
        for (int p = 0; p < count; ++p) path += pieces[next() % (sizeof pieces / sizeof pieces[0])];
        char expected[MAX_PATH] = "", got[MAX_PATH] = "?";
        DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, expected, nullptr);
        if (length == 0 || length >= MAX_PATH) expected[0] = '\0';
        ASSERT_STREQ(expected, (ExpandPath(path.c_str(), got), got)) << path;
    }
}
