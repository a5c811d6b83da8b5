#include "image/folder_list.h"

#include <cstring>

namespace {
// LB_GETTEXT into a path-sized buffer; a longer text would overrun it, so it
// counts as empty.
int ListBoxText(HWND listBox, int index, char (&text)[MAX_PATH]) {
    text[0] = '\0';
    LRESULT length = SendMessageA(listBox, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length >= MAX_PATH) return 0;
    SendMessageA(listBox, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    text[MAX_PATH - 1] = '\0';
    return static_cast<int>(std::strlen(text));
}
}  // namespace

DWORD FolderListFromListBox(FolderList* list, const char* folder, HWND listBox) {
    if (list->block) FolderListFree(list);
    *list = FolderList{};

    LRESULT items = SendMessageA(listBox, LB_GETCOUNT, 0, 0);
    const DWORD count = items == LB_ERR || items < 0 ? 0 : static_cast<DWORD>(items);
    char text[MAX_PATH];
    size_t total = std::strlen(folder) + 1;
    for (DWORD i = 0; i < count; ++i) total += ListBoxText(listBox, static_cast<int>(i), text) + 1;

    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, total + sizeof(char*) * count + 1);
    if (!handle) return 0;
    char* block = static_cast<char*>(GlobalLock(handle));
    std::strcpy(block, folder);
    list->count = count;
    list->folder = block;
    list->block = block;
    list->names = reinterpret_cast<char**>(block + total);
    char* spareByte = block + total + sizeof(char*) * count;

    size_t position = std::strlen(folder) + 1;
    for (DWORD i = 0; i < count; ++i) {
        const int length = ListBoxText(listBox, static_cast<int>(i), text);
        // A text that grew since the first pass no longer fits: it becomes
        // an empty name (the zero spare byte) rather than a write past the
        // block, and the answer 0 tells the caller the list is not whole.
        if (position + length + 1 > total) {
            list->names[i] = spareByte;
            position = total + 1;
            continue;
        }
        list->names[i] = block + position;
        std::memcpy(block + position, text, length + 1);
        position += length + 1;
    }
    return position == total ? count : 0;
}

int FolderListFree(FolderList* list) {
    if (!list->block) return 0;
    HGLOBAL handle = GlobalHandle(list->block);
    GlobalUnlock(handle);
    list->block = nullptr;
    return GlobalFree(handle) == nullptr ? 1 : 0;
}
