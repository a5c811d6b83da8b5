#include "browse/common_controls.h"

#include <shellapi.h>

#include <cstring>

namespace {
struct CommonControlsApi {
    decltype(&ImageList_Create) create = nullptr;
    decltype(&ImageList_Destroy) destroy = nullptr;
    decltype(&ImageList_Draw) draw = nullptr;
    decltype(&ImageList_ReplaceIcon) replaceIcon = nullptr;
};

template <typename Proc>
void Bind(HMODULE module, const char* name, Proc* proc) {
    *proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Null until the library is loaded, and when it cannot be.
const CommonControlsApi* Api() {
    static const CommonControlsApi* api = []() -> const CommonControlsApi* {
        HMODULE module = LoadLibraryA("comctl32.dll");
        if (!module) return nullptr;
        static CommonControlsApi loaded;
        Bind(module, "ImageList_Create", &loaded.create);
        Bind(module, "ImageList_Destroy", &loaded.destroy);
        Bind(module, "ImageList_Draw", &loaded.draw);
        Bind(module, "ImageList_ReplaceIcon", &loaded.replaceIcon);
        decltype(&InitCommonControlsEx) init = nullptr;
        Bind(module, "InitCommonControlsEx", &init);
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
        if (!init || !init(&classes) || !loaded.create || !loaded.destroy || !loaded.draw ||
            !loaded.replaceIcon)
            return nullptr;
        return &loaded;
    }();
    return api;
}
}  // namespace

bool LoadCommonControls() {
    return Api() != nullptr;
}

HIMAGELIST MakeShellIconList(std::initializer_list<int> icons) {
    const CommonControlsApi* api = Api();
    if (!api) return nullptr;
    HIMAGELIST list = api->create(16, 16, ILC_COLOR4 | ILC_MASK, static_cast<int>(icons.size()), 0);
    char shell32[MAX_PATH];
    const UINT length = GetSystemDirectoryA(shell32, MAX_PATH - 16);
    if (!list || length == 0 || length >= MAX_PATH - 16) return list;
    std::strcat(shell32, "\\shell32.dll");
    for (int icon : icons) {
        HICON small = nullptr;
        if (ExtractIconExA(shell32, icon, nullptr, &small, 1) && small) {
            api->replaceIcon(list, -1, small);
            DestroyIcon(small);
        }
    }
    return list;
}

void DestroyImageList(HIMAGELIST list) {
    if (list && Api()) Api()->destroy(list);
}

void DrawListImage(HIMAGELIST list, int image, HDC dc, int x, int y, UINT style) {
    if (list && Api()) Api()->draw(list, image, dc, x, y, style);
}
