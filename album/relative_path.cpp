#include "album/relative_path.h"

#include <windows.h>

namespace {
bool IsLeadByte(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE; }
}  // namespace

int CountSeparators(const char* text) {
    int count = 0;
    for (const char* p = text; *p; ++p) {
        if (IsLeadByte(*p) && p[1]) ++p;
        else if (*p == '\\') ++count;
    }
    return count;
}

int CommonPrefixCount(const char* path, const char* base) {
    int count = 0;
    for (size_t i = 0; base[i]; ++i) {
        if (path[i] != base[i]) break;
        if (IsLeadByte(base[i]) && base[i + 1]) {
            ++i;
            if (path[i] != base[i]) break;
        } else if (base[i] == '\\') {
            ++count;
        }
    }
    return count;
}

std::string RelativeText(const char* path, const char* base, int common) {
    std::string text;
    for (int up = CountSeparators(base) - common; up > 0; --up) text += "..\\";
    const char* rest = path;
    int seen = 0;
    for (const char* p = path; *p && seen < common; ++p) {
        if (IsLeadByte(*p) && p[1]) {
            ++p;
        } else if (*p == '\\') {
            ++seen;
            rest = p + 1;
        }
    }
    text += rest;
    return text;
}
