// Path and folder primitives shared by every subsystem. Paths are ANSI
// (Shift-JIS) byte strings of at most MAX_PATH bytes; every search for "\"
// or "." is multibyte-aware, so a double-byte character whose second byte is
// 0x5C is never taken for a separator.
#pragma once

#include <windows.h>

// Appends "\" unless the path already ends in a separator ("" becomes "\").
void AddDirSeparator(char* path);
// out (MAX_PATH bytes) = folder followed by name, when both fit with the
// terminator; false, and out left as it was, when they do not.
bool JoinPath(char* out, const char* folder, const char* name);

// Full path with every component spelled as the file system stores it (long
// names, stored case); outNamePart, when given, points at the last component
// inside out. 1 on success, 0 on failure.
int GetLongFullPath(const char* path, char* out, char** outNamePart);

// Called for each entry of EnumFiles; answering 1 counts the entry.
typedef int (*EnumFileProc)(const char* directory, const WIN32_FIND_DATAA& findRecord, DWORD attributes,
                            LONG_PTR context);
// Walks the entries matching pattern (not "." or ".."); returns how many
// counted (all of them without a callback).
int EnumFiles(const char* pattern, EnumFileProc callback, LONG_PTR context);

// The full path of the running program (its module file name).
void ProgramPath(char* out);
// The program's folder with a trailing separator.
void ProgramFolder(char* out);
// The absolute folder of path, with a trailing separator.
void FolderOf(char* out, const char* path);
// The text after the last "." when no separator follows it; else the end of
// path (an empty extension).
const char* ExtensionOf(const char* path);

// True for a lead byte of a double-byte character in the ANSI code page.
bool IsPathLeadByte(char c);
// Whether two ANSI texts are the same name, comparing at most limit bytes:
// single-byte letters without case, a double-byte character byte for byte
// (its second byte may fall in 'A'..'Z' and is never folded: "イ" 83 43 and
// "ツ" 83 63 differ). The one comparison of paths and names everywhere.
bool SamePathText(const char* a, const char* b, size_t limit = static_cast<size_t>(-1));
// Multibyte-aware searches: the first / last "\" of text (a double-byte
// character is stepped over as a whole), or null when there is none.
const char* FindFirstSeparator(const char* text);
const char* FindLastSeparator(const char* text);
char* FindLastSeparator(char* text);
// Where the file-name part of path begins: just after its last separator, or
// path itself when it has none.
const char* FileNamePart(const char* path);
// True when path is a full path that GetFullPathNameA would return unchanged:
// a drive prefix, then non-empty components of plain ASCII without "." or
// "..", trailing dots or blanks, device names or characters the system treats
// specially.
bool IsPlainFullPath(const char* path);
// GetFullPathNameA into a MAX_PATH buffer; the length of the result, or 0
// when the path cannot be expanded within MAX_PATH bytes.
DWORD ExpandPath(const char* path, char* out);
