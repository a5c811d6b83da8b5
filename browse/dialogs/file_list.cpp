#include "browse/dialogs/file_list.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "browse/file_utils.h"
#include "image/picture_loader.h"

namespace {
// Entries since the waiting messages were last dispatched, across fills.
int listedSinceLastPump = 0;

// The names as the list box keeps them (it is a Unicode control; handing
// it wide text spares a conversion per line), one after another in a single
// block; false when one cannot be converted.
struct WideNames {
    std::vector<wchar_t> text;
    std::vector<size_t> start;
    const wchar_t* Name(size_t i) const { return text.data() + start[i]; }
};

bool ConvertNames(const std::vector<std::string>& names, WideNames& wide) {
    wide.start.reserve(names.size());
    wide.text.reserve(names.size() * 16);
    wchar_t text[MAX_PATH];
    for (const std::string& name : names) {
        const int length =
            MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.c_str(), -1, text, MAX_PATH);
        if (length <= 0) return false;
        wide.start.push_back(wide.text.size());
        wide.text.insert(wide.text.end(), text, text + length);
    }
    return true;
}

// The order in which a sorted list box would hold the names: its own
// comparison is CompareString in its locale ignoring case, and sort keys of
// that locale order the same, while comparing them costs far less than the
// list box's search for every insertion. The keys share one block, as the
// names do. Empty when a key cannot be made.
std::vector<size_t> ListBoxOrder(HWND list, const WideNames& names) {
    const LCID locale = static_cast<LCID>(SendMessageW(list, LB_GETLOCALE, 0, 0));
    const size_t count = names.start.size();
    std::vector<unsigned char> keys;
    keys.reserve(count * 32);
    std::vector<size_t> keyStart(count + 1);
    unsigned char key[8 * MAX_PATH];
    for (size_t i = 0; i < count; ++i) {
        const int length = LCMapStringW(locale, LCMAP_SORTKEY | NORM_IGNORECASE, names.Name(i), -1,
                                        reinterpret_cast<wchar_t*>(key), static_cast<int>(sizeof key));
        if (length <= 0) return {};
        keyStart[i] = keys.size();
        keys.insert(keys.end(), key, key + length);
    }
    keyStart[count] = keys.size();
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), size_t{0});
    // Keys compare byte by byte, a shorter key first when it is the start of
    // the other; equal keys keep the order of the walk.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const size_t lengthA = keyStart[a + 1] - keyStart[a], lengthB = keyStart[b + 1] - keyStart[b];
        const int c = std::memcmp(&keys[keyStart[a]], &keys[keyStart[b]], std::min(lengthA, lengthB));
        return c != 0 ? c < 0 : lengthA < lengthB;
    });
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
    WideNames wide;
    std::vector<size_t> order;
    const bool converted = ConvertNames(names, wide);
    if (converted && sorted) {
        order = ListBoxOrder(list, wide);
    } else if (converted) {
        order.resize(names.size());
        std::iota(order.begin(), order.end(), size_t{0});
    }
    SendMessageW(list, LB_INITSTORAGE, names.size(), names.size() * 16 * sizeof(wchar_t));
    if (order.size() == names.size()) {
        for (size_t i : order)
            SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(wide.Name(i)));
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
