// Extensions of picture paths, found with multibyte-aware scans so that the
// second byte of a double-byte character is never taken for "\" or ".".
#pragma once

// The loaders' rule: the text after the last "." of the whole path (even
// when it lies in a folder name), or null when the path has no ".".
const char* LoaderExtensionOf(const char* path);
// (The name rule, the text after the last "." when no "\" follows it, is
// ExtensionOf of browse/file_utils.h.)
// One of the program's own picture extensions ("jpg", "jpeg", "pmp",
// "bmp"), case ignored.
bool IsOwnPictureExtension(const char* extension);
bool SameExtension(const char* extension, const char* wanted);
