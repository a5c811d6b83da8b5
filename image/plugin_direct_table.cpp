// Finding, binding and releasing the import-filter plug-ins in this process.
// The table is filled once when a helper starts and read by the picture calls
// in plugin_direct_calls.cpp.
#include <cstring>
#include <string>
#include <vector>

#include "image/plugin_direct.h"

#include "browse/file_utils.h"
#include "browse/scoped_handles.h"

namespace direct {
namespace {

PluginTable Table = {nullptr, 0, 0};
// The table block stays locked from LoadPlugins to UnloadPlugins, so the
// entries can be read without locking around every call.
PluginEntry* TableEntries = nullptr;
// The file name of each bound entry, for the notice that leaves one out.
std::vector<std::string> TableNames;
BindGate Gate = nullptr;

constexpr char kPluginVersion[] = "00IN";
constexpr char kCommonFilesKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kSharedPluginFolder[] = "\\kelsoft\\plugin\\";

void ClearEntry(PluginEntry* entry) {
    *entry = PluginEntry{};
}

template <typename Proc>
Proc Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Called by EnumFiles for each plug-in file: binds it into the next free
// entry and counts it only when it bound, so a refused library's entry is
// reused by the next one.
int BindFoundPlugin(const char* directory, const WIN32_FIND_DATAA& found, DWORD attributes, LONG_PTR) {
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    // A plug-in copied into the folder between the counting walk and this
    // one finds no room; it is skipped rather than written past the table.
    if (Table.count >= Table.capacity) return 0;
    char path[MAX_PATH];
    size_t directoryLength = std::strlen(directory);
    size_t nameLength = std::strlen(found.cFileName);
    if (directoryLength + nameLength >= sizeof(path)) return 0;
    std::memcpy(path, directory, directoryLength);
    std::memcpy(path + directoryLength, found.cFileName, nameLength + 1);
    if (Gate && !Gate(found.cFileName)) return 0;
    if (!BindPlugin(&TableEntries[Table.count], path)) return 0;
    ++Table.count;
    TableNames.emplace_back(found.cFileName);
    return 1;
}

}  // namespace

int __stdcall DefaultProgress(int, int, intptr_t) {
    return 0;
}

int BindPlugin(PluginEntry* entry, const char* path) {
    ClearEntry(entry);
    // A damaged library or one that lacks a DLL it needs must not stop the
    // start with a system error box: plug-in failures are silent.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    LoadedModule module(LoadLibraryA(path));
    SetErrorMode(previousMode);
    if (!module.get()) return 0;

    auto getPluginInfo = Resolve<GetPluginInfoProc>(module.get(), "GetPluginInfo");
    if (!getPluginInfo) return 0;
    char version[257] = {};
    getPluginInfo(0, version, 256);
    if (std::strcmp(version, kPluginVersion) != 0) return 0;

    PluginEntry bound{};
    bound.GetPluginInfo = getPluginInfo;
    bound.IsSupported = Resolve<IsSupportedProc>(module.get(), "IsSupported");
    bound.GetPictureInfo = Resolve<GetPictureInfoProc>(module.get(), "GetPictureInfo");
    bound.GetPicture = Resolve<GetPictureProc>(module.get(), "GetPicture");
    bound.GetPreview = Resolve<GetPictureProc>(module.get(), "GetPreview");
    if (!bound.IsSupported || !bound.GetPictureInfo || !bound.GetPicture || !bound.GetPreview) return 0;
    bound.module = module.release();
    *entry = bound;
    return 1;
}

int LoadPlugins(const char* folder) {
    UnloadPlugins();
    char pattern[MAX_PATH];
    size_t folderLength = std::strlen(folder);
    if (folderLength + sizeof(kPluginPattern) > sizeof(pattern)) return 0;
    std::memcpy(pattern, folder, folderLength);
    std::memcpy(pattern + folderLength, kPluginPattern, sizeof(kPluginPattern));

    int found = EnumFiles(pattern, nullptr, 0);
    if (found <= 0) return 0;
    HLOCAL block =
        LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, sizeof(PluginEntry) * static_cast<size_t>(found));
    if (!block) return 0;
    TableEntries = static_cast<PluginEntry*>(LocalLock(block));
    if (!TableEntries) {
        LocalFree(block);
        return 0;
    }
    Table = PluginTable{block, found, 0};
    Table.count = EnumFiles(pattern, BindFoundPlugin, 0);
    return Table.count != 0 ? 1 : 0;
}

void UnloadPlugins() {
    for (int i = 0; i < Table.count; ++i) {
        if (TableEntries[i].module) FreeLibrary(TableEntries[i].module);
    }
    if (Table.block) {
        LocalUnlock(Table.block);
        LocalFree(Table.block);
    }
    Table = PluginTable{nullptr, 0, 0};
    TableEntries = nullptr;
    TableNames.clear();
}

bool CommonPluginFolder(std::string* out) {
    // Reading the value needs nothing more than read access; asking for more
    // is refused to every user who is not an administrator, and the shared
    // folder would never be searched.
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCommonFilesKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return false;
    char folder[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH;
    if (RegQueryValueExA(key.get(), "CommonFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(folder),
                         &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    folder[size < MAX_PATH ? size : MAX_PATH] = '\0';  // the value need not be terminated
    size_t length = std::strlen(folder);
    if (length + sizeof(kSharedPluginFolder) > MAX_PATH) return false;
    *out = std::string(folder) + kSharedPluginFolder;
    return true;
}

int LoadPluginsFromCommonFiles() {
    std::string folder;
    return CommonPluginFolder(&folder) ? LoadPlugins(folder.c_str()) : 0;
}

int LoadPluginsFromProgramFolder() {
    char folder[MAX_PATH] = "";
    ProgramFolder(folder);
    if (!folder[0]) return 0;
    return LoadPlugins(folder);
}

int PluginCount() {
    return Table.count;
}

void SetBindGate(BindGate gate) {
    Gate = gate;
}

const PluginEntry* PluginAt(int index) {
    if (index < 0 || index >= Table.count) return nullptr;
    return &TableEntries[index];
}

const char* PluginFileName(int index) {
    return index >= 0 && index < int(TableNames.size()) ? TableNames[size_t(index)].c_str() : "";
}

}  // namespace direct
