#include "browse/late_libraries.h"

#include <cstring>

namespace {
// The function of that name in the library, loaded on the first call; null
// when either is missing.
template <typename Proc>
Proc Find(const char* library, const char* name) {
    HMODULE module = GetModuleHandleA(library);
    if (!module) module = LoadLibraryA(library);
    return module ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
}  // namespace

bool LoadCommonControls() {
    static const bool loaded = [] {
        const auto init = Find<decltype(&InitCommonControlsEx)>("comctl32.dll", "InitCommonControlsEx");
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
        return init && init(&classes);
    }();
    return loaded;
}

HICON ShellSmallIcon(int number) {
    static const auto extract = Find<decltype(&ExtractIconExA)>("shell32.dll", "ExtractIconExA");
    char shell32[MAX_PATH];
    const UINT length = GetSystemDirectoryA(shell32, MAX_PATH - 16);
    if (!extract || length == 0 || length >= MAX_PATH - 16) return nullptr;
    std::strcat(shell32, "\\shell32.dll");
    HICON small = nullptr;
    return extract(shell32, number, nullptr, &small, 1) ? small : nullptr;
}

HIMAGELIST MakeShellIconList(std::initializer_list<int> icons) {
    static const auto create = Find<decltype(&ImageList_Create)>("comctl32.dll", "ImageList_Create");
    static const auto replace =
        Find<decltype(&ImageList_ReplaceIcon)>("comctl32.dll", "ImageList_ReplaceIcon");
    if (!LoadCommonControls() || !create || !replace) return nullptr;
    HIMAGELIST list = create(16, 16, ILC_COLOR4 | ILC_MASK, static_cast<int>(icons.size()), 0);
    for (int icon : icons) {
        HICON small = list ? ShellSmallIcon(icon) : nullptr;
        if (!small) continue;
        replace(list, -1, small);
        DestroyIcon(small);
    }
    return list;
}

void DestroyImageList(HIMAGELIST list) {
    static const auto destroy = Find<decltype(&ImageList_Destroy)>("comctl32.dll", "ImageList_Destroy");
    if (list && destroy) destroy(list);
}

void DrawListImage(HIMAGELIST list, int image, HDC dc, int x, int y, UINT style) {
    static const auto draw = Find<decltype(&ImageList_Draw)>("comctl32.dll", "ImageList_Draw");
    if (list && draw) draw(list, image, dc, x, y, style);
}

UINT DroppedFile(HDROP drop, UINT index, char* name, UINT size) {
    static const auto query = Find<decltype(&DragQueryFileA)>("shell32.dll", "DragQueryFileA");
    return query ? query(drop, index, name, size) : 0;
}

void FinishDrop(HDROP drop) {
    static const auto finish = Find<decltype(&DragFinish)>("shell32.dll", "DragFinish");
    if (finish) finish(drop);
}

bool OpenDocument(const char* path) {
    static const auto execute = Find<decltype(&ShellExecuteA)>("shell32.dll", "ShellExecuteA");
    return execute &&
           reinterpret_cast<INT_PTR>(execute(nullptr, nullptr, path, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

BOOL ShowSaveDialog(OPENFILENAMEA* request) {
    static const auto save = Find<decltype(&GetSaveFileNameA)>("comdlg32.dll", "GetSaveFileNameA");
    return save ? save(request) : FALSE;
}
