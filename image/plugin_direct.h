// The plug-in host that calls the libraries directly, in this process. The
// plug-in helper programs (piltrin-plugins32.exe, piltrin-plugins64.exe)
// hold it; the viewer reaches it only through them (image/plugin_host.h), so
// that a plug-in that crashes or hangs takes down nothing but its helper.
// The walks answer as the viewer's interface does; the Try calls ask one
// plug-in, so that the viewer can walk plug-ins spread over two helpers.
#pragma once

#include <windows.h>

#include <string>

#include "image/picture_types.h"
#include "image/plugin_pattern.h"

namespace direct {

int LoadPluginsFromCommonFiles();
int LoadPluginsFromProgramFolder();
int LoadPlugins(const char* folder);
void UnloadPlugins();
int PluginLoadPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels);
int PluginLoadPreview(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels);
int PluginReadInfo(const char* path, PictureInfo* info);
int PluginSupportsFile(const char* path);
int PluginMatchesExtension(const char* extension);

// The entry points of an import filter, as plug-ins export them. The file
// argument of IsSupported is the handle of the file open for reading (or,
// with a non-zero high word, a pointer to the file's first 2 KB). The
// pictures handed back are movable blocks that the caller takes over.
typedef int(__stdcall* GetPluginInfoProc)(int infoNumber, LPSTR buffer, int bufferLength);
typedef int(__stdcall* IsSupportedProc)(LPCSTR path, DWORD_PTR file);
typedef int(__stdcall* GetPictureInfoProc)(LPCSTR path, LONG_PTR offset, unsigned int flags,
                                           PictureInfo* info);
typedef int(__stdcall* GetPictureProc)(LPCSTR path, LONG_PTR offset, unsigned int flags, HLOCAL* header,
                                       HLOCAL* pixels, ProgressProc progress, intptr_t userData);

// One bound plug-in.
struct PluginEntry {
    HMODULE module;
    GetPluginInfoProc GetPluginInfo;
    IsSupportedProc IsSupported;
    GetPictureInfoProc GetPictureInfo;
    GetPictureProc GetPicture;
    GetPictureProc GetPreview;
};

// The process-wide table of bound plug-ins, in the order the folder walk
// met them. It lives in one movable block from loading to unloading.
struct PluginTable {
    HLOCAL block;
    int capacity;  // "*.spi" files counted when the table was made
    int count;     // entries bound, from the start of the block
};

// Binds the library at path into entry: 1 when it reports version "00IN"
// and exports all five entry points; else 0 with the entry's module cleared
// and the library freed.
int BindPlugin(PluginEntry* entry, const char* path);
// The progress callback handed to plug-ins when the caller gave none:
// plug-ins call it without checking, so it must exist. Always 0 (go on).
int __stdcall DefaultProgress(int done, int total, intptr_t userData);

// Number of bound plug-ins, and entry i of them (null outside 0..count-1).
int PluginCount();
const PluginEntry* PluginAt(int index);

// What one plug-in made of a file, as the walks record it.
enum TryResult : int {
    kTryPicture = 0,      // the two out blocks hold the picture
    kTryStopped = 1,      // the callback stopped it
    kTryNotAccepted = 2,  // IsSupported said no
    kTryCannotOpen = 3,   // the file did not open
    kTryFailed = 255,     // accepted, then failed or handed back an unusable picture
};
// The plug-in at index, for path: IsSupported, then GetPicture, or (preview)
// GetPreview falling back to GetPicture, on a worker thread. The picture
// handed back is the plug-in's own pair of blocks, unchecked: the taker
// checks it (TakeOverPluginPicture) and frees the pair with FreePluginBlocks.
int TryPluginPicture(int index, const char* path, bool preview, ProgressProc progress, intptr_t userData,
                     HLOCAL* header, HLOCAL* pixels);
// Frees the blocks a plug-in handed back (they are not counted as the
// pipeline's own) and clears both.
void FreePluginBlocks(HLOCAL* header, HLOCAL* pixels);
// The plug-in at index, for path: 1 and info filled, else 0 (a text block
// attached to a failed answer is freed).
int TryPluginInfo(int index, const char* path, PictureInfo* info);
// Whether the plug-in at index accepts the file's content.
int TryPluginSupports(int index, const char* path);
// The file-type patterns of the plug-in at index: its groups (information
// numbers 2, 4, ... up to the first it does not have) joined by ";"; empty
// when it has none.
std::string PluginPatterns(int index);
// Whether one of the ";"-separated patterns ("*.png") names extension, in
// any case.
bool PatternsName(const char* patterns, const char* extension);
// The shared plug-in folder named by the registry, with its trailing "\";
// false when the registry does not name one that fits in a path.
bool CommonPluginFolder(std::string* folder);
// The file name of the plug-in at index, as the folder walk met it.
const char* PluginFileName(int index);
// Asked with each plug-in file's name before LoadPlugins binds it: false
// leaves the file unbound. Null (the default) binds every file.
typedef bool (*BindGate)(const char* fileName);
void SetBindGate(BindGate gate);

}  // namespace direct
