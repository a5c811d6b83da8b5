// The import-filter plug-in host: finds "*.spi" libraries ("*.sph" in the
// 64-bit program), binds those of interface version "00IN", and asks them in
// load order for pictures.
#pragma once

#include <windows.h>

#include "image/picture_types.h"

// 64-bit plug-ins carry their own extension, so that a folder can hold both
// kinds and each program binds only the libraries it can load.
#ifdef _WIN64
constexpr char kPluginPattern[] = "*.sph";
#else
constexpr char kPluginPattern[] = "*.spi";
#endif
constexpr const char* kPluginExtension = kPluginPattern + 1;

// Loads the plug-ins of the shared plug-in folder; 0 when none (also when
// the folder cannot be found).
int LoadPluginsFromCommonFiles();
// Loads the plug-ins beside the program; 0 when none.
int LoadPluginsFromProgramFolder();
// Loads every kPluginPattern file of folder (ending in a separator); 1 when one bound.
// A table loaded before is released first, so the set loaded last is the
// one in use.
int LoadPlugins(const char* folder);
// Frees every bound plug-in and the table.
void UnloadPlugins();

// 1 and a DibImage (header and pixel handles, now the caller's), or 0 with
// LastLoadError = 2.
int PluginLoadPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels);
// As PluginLoadPicture through the plug-ins' preview entry, falling back to
// the full picture; the plug-in call runs on a worker thread.
int PluginLoadPreview(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels);
// 1 when a plug-in accepted the file and filled info.
int PluginReadInfo(const char* path, PictureInfo* info);
// 1 when some plug-in accepts the file's content.
int PluginSupportsFile(const char* path);
// 1 when some plug-in lists extension (without the dot) among its patterns.
int PluginMatchesExtension(const char* extension);

// The entry points of an import filter, as plug-ins export them. The file
// argument of IsSupported is the handle of the file open for reading (or,
// with a non-zero high word, a pointer to the file's first 2 KB). The
// pictures handed back are movable blocks that the caller takes over.
typedef int(__stdcall* GetPluginInfoProc)(int infoNumber, LPSTR buffer, int bufferLength);
typedef int(__stdcall* IsSupportedProc)(LPCSTR path, DWORD_PTR file);
typedef int(__stdcall* GetPictureInfoProc)(LPCSTR path, LONG_PTR offset, unsigned int flags, PictureInfo* info);
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
