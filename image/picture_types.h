// The picture records shared by the loaders, the plug-in interface and their
// callers. PictureInfo and ProgressProc are fixed by the import-filter
// plug-in interface: plug-ins fill the one and call the other.
#pragma once

#include <windows.h>

#include <cstdint>

// Progress callback of the plug-in interface: (done, total, user data);
// answers 0 to go on, anything else to stop.
typedef int(__stdcall* ProgressProc)(int done, int total, intptr_t userData);

#pragma pack(push, 1)
// Packed exactly as plug-ins write it: a padded layout would misread the
// text handle.
struct PictureInfo {
    long left;
    long top;
    long width;
    long height;
    WORD xDensity;
    WORD yDensity;
    short colorDepth;
    HLOCAL textHandle;  // a movable text block a plug-in may attach
};
#pragma pack(pop)
// 26 bytes in the 32-bit program, 30 in the 64-bit one: the text handle is
// pointer-sized, while long stays 4 bytes on 64-bit Windows.
static_assert(sizeof(PictureInfo) == 22 + sizeof(HLOCAL), "PictureInfo must keep the plug-in interface's packed layout");

// Why the last load attempt failed. Each reader sets it; the dispatch reads
// it to decide whether to try the next reader.
enum LoadErrorCode : int {
    kLoadOk = 0,
    kLoadStopped = 1,        // the progress callback asked to stop
    kLoadNotThisFormat = 2,  // no reader accepted the file
    kLoadCannotOpen = 3,
    kLoadOutOfMemory = 4,
    kLoadNoSize = 5,
    kLoadNoExtension = 6,
    kLoadFailed = 255,
};

extern int LastLoadError;
