#include "album/relative_path.h"

#include <cstring>

#include "browse/file_utils.h"

namespace {
bool IsLeadByte(char c) {
    return IsPathLeadByte(c);
}
}  // namespace

int CountSeparators(const char* text) {
    int count = 0;
    for (const char* p = text; *p; ++p) {
        if (IsLeadByte(*p) && p[1])
            ++p;
        else if (*p == '\\')
            ++count;
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

size_t RelativeForm::TextLength() const {
    return static_cast<size_t>(ups) * 3 + std::strlen(rest);
}

RelativeForm RelativeFormOf(const char* path, const char* base) {
    RelativeForm form;
    form.rest = path;
    int separators = 0;
    bool equal = true;
    size_t i = 0;
    for (; base[i]; ++i) {
        bool lead = IsLeadByte(base[i]) && base[i + 1];
        if (equal && (path[i] != base[i] || (lead && path[i + 1] != base[i + 1]))) equal = false;
        if (lead) {
            ++i;
        } else if (base[i] == '\\') {
            ++separators;
            if (equal) {
                ++form.common;
                form.rest = path + i + 1;
            }
        }
    }
    form.baseLength = i;
    form.ups = separators - form.common;
    return form;
}
