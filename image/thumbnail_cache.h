// Thumbnails kept between runs: one file per thumbnail in a folder of the
// user's own (by default %LOCALAPPDATA%\Piltrin\), keyed by the picture's
// full path, file size, write time and the thumbnail size, so that a
// changed file misses and is built again. The folder holds at most the cap
// in bytes; storing past it deletes the entries used least recently (a hit
// renews its entry's write time). Every entry read is checked by
// DecodeCachedThumbnail; a damaged one is deleted and built again.
//
// Off until SetThumbnailCache names a folder and a cap (the program does
// at start-up; tests name a temporary folder). User-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "image/thumbnail_cache_format.h"

// Folder (with its trailing separator) and cap in bytes; an empty folder or
// a cap of 0 turns the cache off.
void SetThumbnailCache(const std::string& folder, uint64_t capBytes);
bool ThumbnailCacheOn();
// A new cap for the folder named; 0 turns the cache off. The next store
// trims the folder to it.
void SetThumbnailCacheCap(uint64_t capBytes);
// %LOCALAPPDATA%\Piltrin\, or empty when the variable is not set.
std::string DefaultThumbnailCacheFolder();

// The key of the picture file as it is now: false when the cache is off or
// the file's facts cannot be read.
bool ThumbnailCacheKeyFor(const char* path, uint32_t size, ThumbnailCacheKey* key);
// Whether an entry of key's name is there (not yet whether it is sound).
bool HasCachedThumbnail(const ThumbnailCacheKey& key);
// True with out filled when the cache holds a sound entry for key.
bool FindCachedThumbnail(const ThumbnailCacheKey& key, CachedThumbnail* out);
// Writes the entry (whole, or not at all) and trims the folder to the cap.
void StoreCachedThumbnail(const ThumbnailCacheKey& key, const CachedThumbnail& thumbnail);
// Entries found since the start, for tests and benches.
long ThumbnailCacheHits();
