// The album keeps its data in movable global blocks, locked for as long as a
// pointer to them is held, and its texts in heap strings. Every block and
// string the album allocates goes through these functions, which keep a count
// of what is alive so that tests can prove a load, a copy or a destruction
// gives back everything it took.
#pragma once

#include <windows.h>

#include <cstddef>

// A zero-filled movable block, locked; null when memory runs out.
void* AllocAlbumBlock(size_t size);
// Grows (or, from null, allocates) a locked block to newSize bytes, keeping
// its content and zero-filling the rest; null when memory runs out (the old
// block is then still valid and locked).
void* ReallocAlbumBlock(void* block, size_t newSize);
// Unlocks and frees a block found from its locked address; true on success.
bool FreeAlbumBlock(void* block);

// A movable block of size bytes, not locked (the memory record carrier).
HGLOBAL AllocMovableBlock(size_t size);
// Resizes a movable block, keeping its content; null on failure (the old
// handle stays valid).
HGLOBAL ReallocMovableBlock(HGLOBAL handle, size_t newSize);
bool FreeMovableBlock(HGLOBAL handle);

// A heap copy of length bytes of text with a terminator after them.
char* NewHeapString(const char* text, size_t length);
char* NewHeapString(const char* text);
void FreeHeapString(char* text);

// Blocks and strings allocated through this module and not yet freed.
long LiveAlbumAllocations();
