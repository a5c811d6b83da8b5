// The import-filter plug-ins as the viewer meets them. The plug-ins run in
// helper programs beside the viewer, one per bitness (piltrin-plugins32.exe
// binds "*.spi", piltrin-plugins64.exe "*.sph"), reached through a pipe, with
// the pictures passed through shared memory. A plug-in that crashes or hangs
// ends only its helper: the file counts as unreadable by that plug-in, the
// helper is started again, and the walk goes on with the next plug-in.
#pragma once

#include <windows.h>

#include <string>

#include "image/picture_types.h"
#include "image/plugin_pattern.h"

// Looks for plug-ins in the shared plug-in folder; 0 when it has none (also
// when the folder cannot be found).
int LoadPluginsFromCommonFiles();
// Looks for plug-ins beside the program; 0 when none.
int LoadPluginsFromProgramFolder();
// Uses the plug-ins of folder (ending in a separator): 1 when it holds a
// plug-in file of a kind some helper binds. No helper starts yet: the first
// call that needs one starts it and waits for it to bind. A set loaded
// before is released first.
int LoadPlugins(const char* folder);
// Starts the helpers of the loaded set in the background, so that a later
// call finds them bound; the viewer does this once its first picture is on
// screen. Calls made meanwhile wait for the start.
void StartPluginHelpers();
// Ends the helpers and forgets the plug-ins.
void UnloadPlugins();

// 1 and a DibImage (header and pixel handles, now the caller's), or 0 with
// LastLoadError = 2. The progress callback runs on the calling thread; while
// a plug-in works, the calling thread dispatches paint messages and the
// messages other threads and programs send, nothing else.
int PluginLoadPicture(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels);
// As PluginLoadPicture through the plug-ins' preview entry, falling back to
// the full picture.
int PluginLoadPreview(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header,
                      HLOCAL* pixels);
// True while the calling thread waits for a plug-in: a window that is sent
// a message that could start another load (a command, a drop sent by
// another program) posts it again, so it runs after the load, not inside it.
bool PluginCallWaiting();
// 1 when a plug-in accepted the file and filled info.
int PluginReadInfo(const char* path, PictureInfo* info);
// 1 when some plug-in accepts the file's content.
int PluginSupportsFile(const char* path);
// 1 when some plug-in lists extension (without the dot) among its patterns.
int PluginMatchesExtension(const char* extension);
// Plug-ins bound by the helpers (waits for them); excluded ones still count.
int PluginCount();

// How long a plug-in may go without answering or calling its progress
// callback before its helper is ended: 30 s. Tests shorten it.
constexpr DWORD kPluginHangTimeout = 30000;
void SetPluginHangTimeout(DWORD milliseconds);
// How long one plug-in call may take in all, however often the plug-in
// calls its progress callback: 5 minutes, then it counts as a hang. Tests
// shorten it.
constexpr DWORD kPluginCallLimit = 300000;
void SetPluginCallLimit(DWORD milliseconds);
// Crashes or hangs after which a plug-in is left out for the rest of the run.
constexpr int kPluginStrikes = 3;
// Where the helper of a bitness (32 or 64) is looked for: beside the program
// unless set here (tests point at the other flavour's build). Empty resets.
void SetPluginHelperPath(int bits, const std::string& path);
// What tells the user that a plug-in was left out, once the load has
// returned (the notice is posted): a message box unless a test replaces it.
// Null restores the message box.
typedef void (*PluginNoticeProc)(const char* text);
void SetPluginNoticeProc(PluginNoticeProc notice);
