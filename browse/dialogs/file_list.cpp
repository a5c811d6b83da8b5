#include "browse/dialogs/file_list.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "browse/dialogs/waiting_messages.h"
#include "browse/file_utils.h"
#include "image/picture_loader.h"

namespace {
// Entries since the waiting messages were last dispatched, across fills.
int listedSinceLastPump = 0;

// Adds one listed name to the names, with its wide form and, for a sorted
// list, its key: the list box's own comparison is CompareString in its
// locale ignoring case, and sort keys of that locale order the same, while
// comparing them costs far less than the list box's search for every
// insertion.
void AddListedName(FileListNames& names, const char* name) {
    const size_t length = std::strlen(name);
    names.textStart.push_back(names.text.size());
    names.text.insert(names.text.end(), name, name + length + 1);
    if (!names.whole) return;
    wchar_t wide[MAX_PATH];
    const int wideLength = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide, MAX_PATH);
    if (wideLength <= 0) {
        names.whole = false;
        return;
    }
    names.wideStart.push_back(names.wide.size());
    names.wide.insert(names.wide.end(), wide, wide + wideLength);
    if (!names.sorted) return;
    unsigned char key[8 * MAX_PATH];
    const int keyLength = LCMapStringW(names.locale, LCMAP_SORTKEY | NORM_IGNORECASE, wide, -1,
                                       reinterpret_cast<wchar_t*>(key), static_cast<int>(sizeof key));
    if (keyLength <= 0) {
        names.whole = false;
        return;
    }
    names.keys.insert(names.keys.end(), key, key + keyLength);
    names.keyEnd.push_back(names.keys.size());
}

// The order in which the list box would hold the names.
std::vector<size_t> ListBoxOrder(const FileListNames& names) {
    std::vector<size_t> order(names.wideStart.size());
    std::iota(order.begin(), order.end(), size_t{0});
    if (!names.sorted) return order;
    const std::vector<size_t>& start = names.keyEnd;
    const unsigned char* keys = names.keys.data();
    // Keys compare byte by byte, a shorter key first when it is the start of
    // the other; equal keys keep the order of the walk.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const size_t lengthA = start[a + 1] - start[a], lengthB = start[b + 1] - start[b];
        const int c = std::memcmp(keys + start[a], keys + start[b], std::min(lengthA, lengthB));
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
    HWND list = config->Files;
    FileListNames& names = config->ListedNames;
    names = FileListNames{};
    names.started = GetTickCount64();
    names.sorted = (GetWindowLongA(list, GWL_STYLE) & LBS_SORT) != 0;
    names.locale = static_cast<LCID>(SendMessageW(list, LB_GETLOCALE, 0, 0));
    config->PictureExtensions.clear();
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
}

void EndFileList(FolderDialogConfig* config) {
    HWND list = config->Files;
    FileListNames names = std::move(config->ListedNames);
    config->ListedNames = FileListNames{};
    const size_t count = names.textStart.size();
    SendMessageW(list, LB_INITSTORAGE, count, count * 16 * sizeof(wchar_t));
    if (names.whole) {
        for (size_t i : ListBoxOrder(names))
            SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(names.wide.data() + names.wideStart[i]));
    } else {
        // Text that has no wide form or no key: the list box places each
        // line itself.
        for (size_t start : names.textStart)
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names.text.data() + start));
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

int ListFileEntry(FolderDialogConfig* config, const FileEntry& entry) {
    if (++listedSinceLastPump >= 102) {
        listedSinceLastPump = 0;
        // A young listing leaves the windows that wait to be drawn so: the
        // selection that starts it invalidates the tree, and drawing it
        // would take the processor from the folder's reading for a picture
        // that the end of the listing changes again.
        const bool young = GetTickCount64() - config->ListedNames.started < kListingPaintDelay;
        const UINT kinds = young ? PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE : 0;
        if (!DispatchWaitingMessages(kinds) || config->Gone) return -1;
    }
    if (entry.Attributes == INVALID_FILE_ATTRIBUTES || (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    if (config->FileFilter && config->FileFilter(config, entry) != 1) return 0;
    if (config->Files) AddListedName(config->ListedNames, entry.FullPath + entry.NameOffset);
    return 1;
}
