#include "browse/dialogs/file_list.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "browse/file_utils.h"
#include "image/picture_loader.h"

namespace {
// Entries since the waiting messages were last dispatched, across fills.
int listedSinceLastPump = 0;

// The names as the list box keeps them (it is a Unicode control; handing
// it wide text spares a conversion per line), empty when one cannot be
// converted.
std::vector<std::wstring> WideNames(const std::vector<std::string>& names) {
    std::vector<std::wstring> wide;
    wide.reserve(names.size());
    wchar_t text[MAX_PATH];
    for (const std::string& name : names) {
        const int length =
            MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.c_str(), -1, text, MAX_PATH);
        if (length <= 0) return {};
        wide.emplace_back(text, static_cast<size_t>(length - 1));
    }
    return wide;
}

// The order in which a sorted list box would hold the names: its own
// comparison is CompareString in its locale ignoring case, and sort keys of
// that locale order the same, while comparing them costs far less than the
// list box's search for every insertion. Empty when a key cannot be made.
std::vector<size_t> ListBoxOrder(HWND list, const std::vector<std::wstring>& names) {
    const LCID locale = static_cast<LCID>(SendMessageW(list, LB_GETLOCALE, 0, 0));
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(names.size());
    char key[8 * MAX_PATH];
    for (size_t i = 0; i < names.size(); ++i) {
        const int length = LCMapStringW(locale, LCMAP_SORTKEY | NORM_IGNORECASE, names[i].c_str(), -1,
                                        reinterpret_cast<wchar_t*>(key), static_cast<int>(sizeof key));
        if (length <= 0) return {};
        keys.emplace_back(std::string(key, static_cast<size_t>(length)), i);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<size_t> order;
    order.reserve(keys.size());
    for (const auto& k : keys) order.push_back(k.second);
    return order;
}
}  // namespace

bool IsAlbumName(const char* name) {
    return SamePathText(ExtensionOf(name), "zub");
}

bool IsListedPictureName(FolderDialogConfig* config, const char* name) {
    std::string extension = ExtensionOf(name);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const auto& [known, picture] : config->PictureExtensions)
        if (known == extension) return picture;
    const bool picture = IsPictureName(name) != 0;
    config->PictureExtensions.emplace_back(extension, picture);
    return picture;
}

void BeginFileList(FolderDialogConfig* config) {
    config->ListedNames.clear();
    config->PictureExtensions.clear();
    SendMessageA(config->Files, WM_SETREDRAW, FALSE, 0);
    SendMessageA(config->Files, LB_RESETCONTENT, 0, 0);
}

void EndFileList(FolderDialogConfig* config) {
    HWND list = config->Files;
    const std::vector<std::string> names = std::move(config->ListedNames);
    config->ListedNames.clear();
    const bool sorted = (GetWindowLongA(list, GWL_STYLE) & LBS_SORT) != 0;
    const std::vector<std::wstring> wide = WideNames(names);
    std::vector<size_t> order;
    if (wide.size() == names.size() && sorted) {
        order = ListBoxOrder(list, wide);
    } else if (wide.size() == names.size()) {
        for (size_t i = 0; i < names.size(); ++i) order.push_back(i);
    }
    SendMessageW(list, LB_INITSTORAGE, names.size(), names.size() * 16 * sizeof(wchar_t));
    if (order.size() == names.size()) {
        for (size_t i : order)
            SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(wide[i].c_str()));
    } else {
        // Text that has no wide form or no key: the list box places each
        // line itself.
        for (const std::string& name : names)
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

int ListFileEntry(FolderDialogConfig* config, const FileEntry& entry) {
    if (++listedSinceLastPump >= 102) {
        listedSinceLastPump = 0;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return -1;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (config->Gone) return -1;
    }
    if (entry.Attributes == INVALID_FILE_ATTRIBUTES || (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    if (config->FileFilter && config->FileFilter(config, entry) != 1) return 0;
    if (config->Files) config->ListedNames.emplace_back(entry.FullPath + entry.NameOffset);
    return 1;
}
