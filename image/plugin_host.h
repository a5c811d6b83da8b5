// The import-filter plug-in host: finds "*.spi" libraries, binds those of
// interface version "00IN", and asks them in load order for pictures.
#pragma once

#include <windows.h>

#include "image/picture_types.h"

// Loads the plug-ins of the shared plug-in folder; 0 when none (also when
// the folder cannot be found).
int LoadPluginsFromCommonFiles();
// Loads the plug-ins beside the program; 0 when none.
int LoadPluginsFromProgramFolder();
// Loads every "*.spi" of folder (ending in a separator); 1 when one bound.
int LoadPlugins(const char* folder);
// Frees every bound plug-in and the table.
void UnloadPlugins();

// 1 and a DibImage (header and pixel handles, now the caller's), or 0 with
// LastLoadError = 2.
int PluginLoadPicture(const char* path, ProgressProc progress, long userData, HLOCAL* header, HLOCAL* pixels);
// As PluginLoadPicture through the plug-ins' preview entry, falling back to
// the full picture; the plug-in call runs on a worker thread.
int PluginLoadPreview(const char* path, ProgressProc progress, long userData, HLOCAL* header, HLOCAL* pixels);
// 1 when a plug-in accepted the file and filled info.
int PluginReadInfo(const char* path, PictureInfo* info);
// 1 when some plug-in accepts the file's content.
int PluginSupportsFile(const char* path);
// 1 when some plug-in lists extension (without the dot) among its patterns.
int PluginMatchesExtension(const char* extension);
