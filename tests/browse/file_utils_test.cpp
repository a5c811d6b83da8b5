#include "browse/file_utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {
// Folds the single-byte letters to lower (or upper) case only; double-byte names keep their bytes.
std::string Fold(std::string s, bool upper = false) {
    for (char& c : s) c ^= (upper ? c >= 'a' && c <= 'z' : c >= 'A' && c <= 'Z') ? 0x20 : 0;
    return s;
}
// What the system makes of a path, or nothing where it gives no path of
// fewer than 260 bytes.
std::string FullPathName(const char* path) {
    char out[MAX_PATH] = "";
    const DWORD length = GetFullPathNameA(path, MAX_PATH, out, nullptr);
    return length && length < MAX_PATH ? out : "";
}
std::string LongFullPath(const std::string& path) {
    char out[MAX_PATH] = "?";
    return GetLongFullPath(path.c_str(), out, nullptr) ? out : std::string("(failed)");
}

// The folder every entry was seen in and whether it was a folder; a .jpg answers 1.
int Record(const char* directory, const WIN32_FIND_DATAA& found, DWORD attributes, LONG_PTR context) {
    const std::string name = found.cFileName;
    reinterpret_cast<std::vector<std::string>*>(context)->push_back(
        Fold(directory) + name + (attributes & FILE_ATTRIBUTE_DIRECTORY ? "\\" : ""));
    return name.size() > 4 && name.substr(name.size() - 4) == ".jpg" ? 1 : 2;  // 2 does not count
}
}  // namespace

// Random texts of letters, dots, separators and double-byte characters whose
// trail bytes look like a separator (表 95 5C, ソ 83 5C) or a letter (イ 83 43,
// ツ 83 63), walked as the system's own CharNextA walks them.
TEST(PathWalkers, AgreeWithCharNextOnRandomTexts) {
    static const char* const pieces[] = {"a", "B", ".", "\\", "表", "ソ", "イ", "ツ", ":"};
    std::mt19937 random(2026);
    for (int i = 0; i < 3000; ++i) {
        std::string path, other;
        for (int n = static_cast<int>(random() % 12); n > 0; --n)
            path += pieces[random() % std::size(pieces)];
        const char *first = nullptr, *last = nullptr, *dot = nullptr, *end = path.c_str() + path.size();
        for (const char* p = path.c_str(); *p; p = CharNextA(p)) {
            if (*p == '\\') first = first ? first : p, last = p, dot = nullptr;
            if (*p == '.') dot = p;
            other += *p == 'a'   ? "A"
                     : *p == 'B' ? "b"
                                 : std::string(p, static_cast<const char*>(CharNextA(p)));
        }
        SCOPED_TRACE(path);
        EXPECT_EQ(first, FindFirstSeparator(path.c_str()));
        EXPECT_EQ(last, FindLastSeparator(path.c_str()));
        EXPECT_EQ(last ? last + 1 : path.c_str(), FileNamePart(path.c_str()));
        EXPECT_EQ(dot ? dot + 1 : end, ExtensionOf(path.c_str()));
        EXPECT_TRUE(SamePathText(path.c_str(), other.c_str()));
        char joined[MAX_PATH];
        lstrcpynA(joined, path.c_str(), MAX_PATH);
        AddDirSeparator(joined);
        EXPECT_EQ(last && last + 1 == end ? path : path + "\\", joined);
        // Changing one double-byte character for one whose bytes differ in a trail byte alone.
        if (const size_t at = path.find("イ"); at != std::string::npos) {
            EXPECT_FALSE(SamePathText(path.c_str(), std::string(path).replace(at, 2, "ツ").c_str()));
        }
    }
}

TEST(SamePathText, StopsAtTheLimit) {
    const size_t all = size_t(-1);
    // clang-format off
    const struct { const char *a, *b; size_t limit; bool same; } cases[] = {
        {"abc", "abd", 2, true}, {"abc", "ab", all, false}, {"ab", "abc", all, false},
        {"\x83", "\x83", all, true},  // a lead byte at the end reads nothing beyond it
        {"イ", "ツ", 1, true}};        // only the lead byte is inside the limit
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(SamePathText(c.a, c.b, c.limit), c.same) << c.a << " / " << c.b;
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

TEST(FolderOf, IsAbsoluteWithItsSeparatorAndProgramPathIsTheProgramWithoutArguments) {
    char out[MAX_PATH], module[MAX_PATH], expected[MAX_PATH];
    for (const auto& [path, folder] :
         {std::make_pair("C:\\x\\y\\pic.jpg", "C:\\x\\y\\"), std::make_pair("C:\\表\\pic.jpg", "C:\\表\\")}) {
        FolderOf(out, path);
        EXPECT_STREQ(folder, out);
    }
    TempDir dir;
    GetCurrentDirectoryA(MAX_PATH, module);
    SetCurrentDirectoryA(dir.Path().c_str());
    FolderOf(out, "pic.jpg");
    SetCurrentDirectoryA(module);
    EXPECT_EQ(Fold(dir.Path()), Fold(out));
    ProgramPath(out);
    const std::string lowered = Fold(out);
    ASSERT_GE(lowered.size(), 15u);
    EXPECT_EQ("test_browse.exe", lowered.substr(lowered.size() - 15));
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    FolderOf(expected, module);
    ProgramFolder(out);
    EXPECT_EQ(Fold(expected), Fold(out));
}

class LongFullPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The temporary folder as the file system spells it.
        root_ = LongFullPath(dir_.Path().substr(0, dir_.Path().size() - 1));
        ASSERT_NE("(failed)", root_);
        ASSERT_TRUE(CreateDirectoryA((dir_.Path() + "Program Files").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((dir_.Path() + "Program Files\\表Mixed").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(dir_.Path() + "Program Files\\表Mixed\\Foo.Jpg", Bytes{1}));
        stored_ = root_ + "\\Program Files\\表Mixed\\Foo.Jpg";
    }
    TempDir dir_;
    std::string root_, stored_;
};

// Differently cased components come back in their stored spelling; the
// drive prefix keeps the case it was given in. The name part is the last component.
TEST_F(LongFullPathTest, SpellsEveryComponentAsStoredAndFailsForMissingOnesAndDriveRoots) {
    const std::string lowered = Fold(stored_), upper = Fold(stored_, true);
    const std::pair<std::string, std::string> cases[] = {
        {stored_, stored_},
        {lowered, lowered.substr(0, 2) + stored_.substr(2)},
        {upper, upper.substr(0, 2) + stored_.substr(2)},
        {dir_.Path() + "Program Files\\nothing\\Foo.Jpg", "(failed)"},
        {dir_.Path() + "Program Files\\missing.jpg", "(failed)"},
        {"C:\\", "(failed)"},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(expected, LongFullPath(path)) << path;
    for (const char* name : {"foo.jpg", "*.jpg"}) {
        char out[MAX_PATH];
        char* part = nullptr;
        ASSERT_EQ(1, GetLongFullPath((dir_.Path() + "program files\\表mixed\\" + name).c_str(), out, &part));
        EXPECT_STREQ("Foo.Jpg", part) << name;
    }
}

TEST_F(LongFullPathTest, ShortNamesBecomeLongNames) {
    char shortPath[MAX_PATH] = "";
    if (!GetShortPathNameA(stored_.c_str(), shortPath, MAX_PATH) || stored_ == shortPath) {
        GTEST_SKIP() << "no short names on this file system";
    }
    EXPECT_EQ(stored_, LongFullPath(shortPath));
}

// Without a callback every file and folder counts, but no dot entry.
TEST(EnumFiles, CountsWhatMatchesAndWhatTheCallbackAnswersOneFor) {
    TempDir dir;
    for (const char* name : {"a.jpg", "b.jpg", "c.txt", "sub\\1.jpg", "sub\\2.jpg"}) {
        CreateDirectoryA(dir.File("sub").c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(dir.File(name), Bytes{1}));
    }
    // clang-format off
    const struct { const char* pattern; int count; } cases[] = {
        {"*.*", 4}, {"*", 4}, {"*.jpg", 2}, {"*.xyz", 0}, {"missing\\*.*", 0}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(c.count, EnumFiles((dir.Path() + c.pattern).c_str(), nullptr, 0)) << c.pattern;
    std::vector<std::string> seen;
    EXPECT_EQ(2, EnumFiles((dir.Path() + "*.*").c_str(), Record, reinterpret_cast<LONG_PTR>(&seen)));
    const std::string here = Fold(dir.Path());
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen,
              (std::vector<std::string>{here + "a.jpg", here + "b.jpg", here + "c.txt", here + "sub\\"}));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.File("sub").c_str()));
    seen.clear();
    const int counted = EnumFiles("*.jpg", Record, reinterpret_cast<LONG_PTR>(&seen));
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(2, counted);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{here + "sub\\1.jpg", here + "sub\\2.jpg"}));
    auto nested = [](const char* directory, const WIN32_FIND_DATAA& found, DWORD attributes, LONG_PTR) {
        return int(attributes & FILE_ATTRIBUTE_DIRECTORY &&  // entered again from inside a walk
                   EnumFiles((std::string(directory) + found.cFileName + "\\*.*").c_str(), nullptr, 0) == 2);
    };
    EXPECT_EQ(1, EnumFiles((dir.Path() + "*.*").c_str(), nested, 0));
}

TEST(ExpandPath, RefusesWhatCannotBeAFullPath) {
    std::string deep = "C:\\" + std::string(300, 'a');
    char out[MAX_PATH];
    EXPECT_EQ(0u, ExpandPath(deep.c_str(), out));
    EXPECT_FALSE(IsPlainFullPath(deep.c_str()));
    EXPECT_TRUE(IsPlainFullPath("C:\\pics\\Sub Folder\\a b.jpg"));
    EXPECT_FALSE(IsPlainFullPath("C:\\表\\ソフト\\能.jpg"));
    EXPECT_FALSE(IsPlainFullPath("C:\\pics\\..\\a.jpg"));
}

TEST(ExpandPath, AgreesWithTheSystemOnRandomPaths) {
    static const char* const pieces[] = {"\\",   "\\",   ".",  "..",   " ",        "a",     "Con",
                                         "nul",  "COM3", "表", "ソ",   "/",        "x.jpg", ":",
                                         "LPT1", "aux.", "b ", "\\\\", "\x85\x40", "\x81 ", "\x81"};
    uint32_t state = 12345;
    auto next = [&] { return state ^= state << 13, state ^= state >> 17, state ^= state << 5; };
    for (int i = 0; i < 3000; ++i) {
        std::string path = "C:\\";
        int count = 1 + static_cast<int>(next() % 10);
        for (int p = 0; p < count; ++p) path += pieces[next() % (sizeof pieces / sizeof pieces[0])];
        char got[MAX_PATH] = "?";
        ASSERT_EQ(FullPathName(path.c_str()), (ExpandPath(path.c_str(), got), got)) << path;
    }
}
