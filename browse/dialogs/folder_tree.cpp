#include "browse/dialogs/folder_tree.h"

#include <cstring>
#include <string>
#include <vector>

#include "browse/dialogs/folder_reader.h"
#include "browse/file_utils.h"
#include "browse/late_libraries.h"

namespace {
constexpr int kClosedFolderImage = 0;

struct SharedImageList {
    HIMAGELIST list = nullptr;
    int users = 0;
};
SharedImageList treeImages;

std::string ItemLabel(HWND tree, HTREEITEM item) {
    char text[MAX_PATH] = "";
    TVITEMA query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = MAX_PATH;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
    return text;
}

LPARAM ItemData(HWND tree, HTREEITEM item) {
    TVITEMA query{};
    query.mask = TVIF_PARAM | TVIF_HANDLE;
    query.hItem = item;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
    return query.lParam;
}

void SetItemData(HWND tree, HTREEITEM item, LPARAM data) {
    TVITEMA change{};
    change.mask = TVIF_PARAM | TVIF_HANDLE;
    change.hItem = item;
    change.lParam = data;
    SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&change));
}

HTREEITEM InsertItem(HWND tree, HTREEITEM parent, const char* label) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_SORT;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(label);
    insert.item.iImage = insert.item.iSelectedImage = kClosedFolderImage;
    insert.item.lParam = 0;
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// One entry of a walk, with the attribute word read back for its full path.
bool MakeEntry(FolderDialogConfig* config, HTREEITEM item, const char* folder, size_t folderLength,
               const WIN32_FIND_DATAA& found, FileEntry& entry) {
    const size_t nameLength = std::strlen(found.cFileName);
    // A name that would not fit a path buffer cannot be opened by anyone
    // downstream: it is left out rather than cut.
    if (folderLength + nameLength >= MAX_PATH) return false;
    std::memcpy(entry.FullPath, folder, folderLength);
    std::memcpy(entry.FullPath + folderLength, found.cFileName, nameLength + 1);
    entry.NameOffset = static_cast<int>(folderLength);
    entry.Item = item;
    entry.FindData = found;
    // What GetFileAttributes of the full path would answer, without asking
    // again per entry (which would triple the cost of a listing): the find
    // record's word, which the reader has made INVALID_FILE_ATTRIBUTES for a
    // name the code page cannot spell, so such a name is never listed,
    // opened or added as a page that names nothing.
    entry.Attributes = found.dwFileAttributes;
    entry.Context = config;
    return true;
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

void AttachTreeImages(HWND tree) {
    if (treeImages.users++ == 0) treeImages.list = MakeShellIconList({3, 4});
    SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(treeImages.list));
}

void DetachTreeImages() {
    if (treeImages.users > 0 && --treeImages.users == 0 && treeImages.list) {
        DestroyImageList(treeImages.list);
        treeImages.list = nullptr;
    }
}

void Trace(const char* text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

HTREEITEM FindChildItem(HWND tree, HTREEITEM parent, const char* name, size_t length) {
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child;
         child = TreeView_GetNextSibling(tree, child)) {
        const std::string label = ItemLabel(tree, child);
        if (label.size() == length && SamePathText(label.c_str(), name, length)) return child;
    }
    return nullptr;
}

void GetItemPath(HWND tree, HTREEITEM item, char* out) {
    std::string path = "\\";
    for (bool first = true; item; item = TreeView_GetParent(tree, item), first = false) {
        path.insert(0, ItemLabel(tree, item) + (first ? "" : "\\"));
    }
    if (path.size() >= MAX_PATH) path.clear();
    std::memcpy(out, path.c_str(), path.size() + 1);
}

int FillTreeItem(FolderDialogConfig* config, HTREEITEM item, bool addSubfolders, FileFilterProc filter) {
    HWND tree = config->Tree;
    const LPARAM filled = ItemData(tree, item);
    if (filled == 1 && !filter) return 1;
    if (filled == 1) addSubfolders = false;
    char folder[MAX_PATH];
    GetItemPath(tree, item, folder);
    const size_t folderLength = std::strlen(folder);
    if (folderLength == 0 || folderLength + 3 >= MAX_PATH) return 1;
    const std::string pattern = std::string(folder) + "*.*";

    // One walk serves both passes: files are offered as they come, folders
    // are kept and handled after the files, as a second walk would.
    std::vector<FileEntry> folders;
    {
        WIN32_FIND_DATAA found;
        FolderReader reader(pattern.c_str());
        FileEntry entry;
        while (reader.Next(found)) {
            if (IsDotEntry(found.cFileName)) continue;
            if (!MakeEntry(config, item, folder, folderLength, found, entry)) continue;
            if (IsFolder(entry.Attributes)) {
                folders.push_back(entry);
            } else if (filter && filter(config, entry) == -1) {
                return -1;
            }
            if (config->Gone) return -1;
        }
    }
    for (FileEntry& entry : folders) {
        HTREEITEM child = nullptr;
        const char* name = entry.FullPath + entry.NameOffset;
        if (addSubfolders) {
            child = InsertItem(tree, item, name);
        } else {
            child = FindChildItem(tree, item, name, std::strlen(name));
            if (!child) break;
        }
        if (filter && filter(config, entry) == -1) return -1;
        if (config->SubdirCheckId && child && filter &&
            IsDlgButtonChecked(config->Window, config->SubdirCheckId) == BST_CHECKED) {
            if (FillTreeItem(config, child, true, filter) == -1) return -1;
        }
        if (config->Gone) return -1;
    }
    SetItemData(tree, item, 1);
    return 1;
}

bool ShowFolderInTree(FolderDialogConfig* config, const char* path) {
    HWND tree = config->Tree;
    // Drawn once when it is complete.
    SendMessageA(tree, WM_SETREDRAW, FALSE, 0);
    struct RedrawAtEnd {
        HWND tree;
        ~RedrawAtEnd() {
            if (!IsWindow(tree)) return;
            SendMessageA(tree, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(tree, nullptr, TRUE);
        }
    } redraw{tree};
    TreeView_SelectItem(tree, nullptr);
    TreeView_DeleteAllItems(tree);
    HTREEITEM current = nullptr;
    bool whole = true;
    for (const char* separator = FindFirstSeparator(path); separator;) {
        if (!current) {
            const std::string drive(path, separator);
            current = InsertItem(tree, TVI_ROOT, drive.c_str());
            if (!current) return false;
        }
        const char* start = separator + 1;
        const char* next = FindFirstSeparator(start);
        // The last folder is filled by its selection below, files and
        // sub-folders in one walk of a folder that may be large.
        if (!next) break;
        if (FillTreeItem(config, current, true, nullptr) == -1 || config->Gone) return false;
        HTREEITEM child = FindChildItem(tree, current, start, static_cast<size_t>(next - start));
        if (!child) {
            // A folder removed meanwhile (or one the system would not
            // list): the deepest folder that is still there is shown, so
            // that the tree and its buttons stay usable.
            whole = false;
            break;
        }
        current = child;
        separator = next;
    }
    if (!current) return false;
    TreeView_SelectItem(tree, current);
    if (config->Gone) return false;
    FillTreeItem(config, current, true, nullptr);  // without a selection handler
    TreeView_Expand(tree, current, TVE_EXPAND);
    TreeView_Select(tree, current, TVGN_FIRSTVISIBLE);
    return whole;
}
