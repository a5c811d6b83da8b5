// Where the host looks for plug-ins: the shared folder named by the
// registry, and the program's own folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstdlib>

#include "image/plugin_host.h"
#include "tests/plugins/plugin_fixtures.h"

namespace {

constexpr char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// Stands in for HKEY_LOCAL_MACHINE inside this process: a key of the
// current user holding SOFTWARE\Microsoft\Windows\CurrentVersion, which
// everyone may read and nobody may change, as on a machine where the user
// is no administrator.
class FakeMachineKey {
public:
    explicit FakeMachineKey(const char* commonFilesDir) {
        wsprintfA(rootName_, "Software\\PiltrinTests\\Machine%lu", GetCurrentProcessId());
        RegCreateKeyExA(HKEY_CURRENT_USER, rootName_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                        nullptr);
        HKEY version = nullptr;
        RegCreateKeyExA(root_, kVersionKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &version, nullptr);
        if (commonFilesDir) {
            RegSetValueExA(version, "CommonFilesDir", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(commonFilesDir), DWORD(strlen(commonFilesDir) + 1));
        }
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                             nullptr);
        RegSetKeySecurity(version, DACL_SECURITY_INFORMATION, readOnly);
        LocalFree(readOnly);
        RegCloseKey(version);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_);
    }
    ~FakeMachineKey() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegDeleteTreeA(root_, nullptr);
        RegCloseKey(root_);
        RegDeleteKeyA(HKEY_CURRENT_USER, rootName_);
    }
    FakeMachineKey(const FakeMachineKey&) = delete;
    FakeMachineKey& operator=(const FakeMachineKey&) = delete;

    // Whether the key refuses a request for every right, as it should.
    bool RefusesAllAccess() const {
        HKEY key = nullptr;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_ALL_ACCESS, &key);
        if (key) RegCloseKey(key);
        return result == ERROR_ACCESS_DENIED;
    }

private:
    char rootName_[100];
    HKEY root_ = nullptr;
};

class PluginFolders : public ::testing::Test {
protected:
    void TearDown() override { UnloadPlugins(); }
    // A member, so that it goes after TearDown has ended the helper that
    // holds the filters copied into it.
    TempDir common_;
};

TEST_F(PluginFolders, TheSharedFolderIsFoundThroughAKeyTheUserMayOnlyReadAndNothingElseLoads) {
    // With "\kelsoft\plugin\" appended a long name would no longer fit in
    // MAX_PATH. The values are stored without the trailing "\".
    std::string plugins = common_.Path() + "kelsoft\\plugin\\";
    for (const std::string& folder : {common_.Path() + "kelsoft", plugins})
        CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA(TestPluginPath("tinypic").c_str(), (plugins + PluginFile("tinypic")).c_str(), FALSE);
    TempDir empty;
    std::string shared = common_.Path().substr(0, common_.Path().size() - 1);
    std::string none = empty.Path().substr(0, empty.Path().size() - 1);
    for (std::string value :
         {std::string(), none, "C:\\" + std::string(250, 'a'), "C:\\" + std::string(300, 'a'), shared}) {
        SCOPED_TRACE(value.empty() ? "no value" : value);
        int loaded = value == shared ? 1 : 0;
        FakeMachineKey machine(value.empty() ? nullptr : value.c_str());
        ASSERT_TRUE(machine.RefusesAllAccess());
        EXPECT_EQ(LoadPluginsFromCommonFiles(), loaded);
        EXPECT_EQ(PluginCount(), loaded);
        EXPECT_EQ(PluginMatchesExtension("tpc"), loaded);
    }
    EXPECT_EQ(LoadPlugins((std::string("C:\\") + std::string(256, 'b') + "\\").c_str()), 0);
    // A shared folder that binds no import plug-in gives way to the program's own filter.
    ASSERT_TRUE(DeleteFileA((plugins + PluginFile("tinypic")).c_str()));
    WriteFileBytes(plugins + PluginFile("junk"), Bytes(600, 'M'));
    FakeMachineKey machine(shared.c_str());
    LoadPluginsFromCommonFiles();
    EXPECT_EQ(std::make_pair(PluginMatchesExtension("png"), PluginCount()), std::make_pair(1, 1));
}

// Run by the next test in a child process started with an unquoted command
// line that names a picture in another folder.
TEST_F(PluginFolders, ChildReportsTheProgramFolderFilters) {
    const char* report = std::getenv("PILTRIN_PLUGIN_FOLDER_REPORT");
    if (!report) GTEST_SKIP() << "only run as the child of ProgramFolderIgnoresTheCommandLinesArguments";
    LoadPluginsFromProgramFolder();
    char text[64];
    wsprintfA(text, "%d %d %d", PluginCount(), PluginMatchesExtension("png"), PluginMatchesExtension("tpc"));
    WriteFileBytes(report, Bytes(text, text + strlen(text)));
}

TEST_F(PluginFolders, ProgramFolderIgnoresTheCommandLinesArguments) {
    // Cutting an unquoted command line at its last "\" would take the
    // picture's folder, and load whatever libraries lie there.
    TempDir pictures;
    CopyFileA(TestPluginPath("tinypic").c_str(), pictures.File(PluginFile("planted")).c_str(), FALSE);
    std::string report = pictures.File("report.txt");
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string line = std::string(program) +
                       " --gtest_filter=PluginFolders.ChildReportsTheProgramFolderFilters " +
                       pictures.File("photo.png");

    SetEnvironmentVariableA("PILTRIN_PLUGIN_FOLDER_REPORT", report.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started =
        CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA("PILTRIN_PLUGIN_FOLDER_REPORT", nullptr);
    ASSERT_TRUE(started);
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    Bytes answer = ReadFileBytes(report);
    EXPECT_EQ(std::string(answer.begin(), answer.end()), "1 1 0");  // the WIC filter only
}

}  // namespace
