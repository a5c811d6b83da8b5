#include "browse/dialogs/dialog_fields.h"

#include <cstring>
#include <string>

void SetField(HWND box, int id, const char* text) {
    HWND field = GetDlgItem(box, id);
    if (!field) return;
    if (!text) text = "";
    const size_t length = std::strlen(text);
    if (static_cast<size_t>(GetWindowTextLengthA(field)) == length) {
        std::string shown(length + 1, '\0');
        GetWindowTextA(field, &shown[0], static_cast<int>(length + 1));
        if (std::memcmp(shown.data(), text, length) == 0) return;
    }
    SetWindowTextA(field, text);
}

void SetNumberField(HWND box, int id, long value) {
    char text[16];
    wsprintfA(text, "%ld", value);
    SetField(box, id, text);
}
