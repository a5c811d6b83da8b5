// One dialog procedure that turns any template holding some of a known set
// of controls into a folder browser: a tree of the folders of one drive, a
// drive selector, the files of the selected folder passed through a filter,
// the current path, and buttons for the parent folder, a new folder, a
// re-read and the desktop. The caller describes its template in a
// FolderDialogConfig; a hook named there sees every message first.
// The dialog works on the process's current directory: every folder shown
// also becomes the current directory.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct FolderDialogConfig;

// The names of a listing under way, each in one block: as the walk gives
// them, in the wide form the list box keeps (it is a Unicode control), and
// with their sort keys when the list is a sorted one. The wide forms and
// keys are made as the names come, while the folder is still being read.
struct FileListNames {
    std::vector<char> text;
    std::vector<size_t> textStart;
    std::vector<wchar_t> wide;
    std::vector<size_t> wideStart;
    std::vector<unsigned char> keys;
    std::vector<size_t> keyEnd = {0};  // key i is keys[keyEnd[i], keyEnd[i + 1])
    ULONGLONG started = 0;             // GetTickCount64 when the listing began; 0 when none is under way
    LCID locale = 0;
    bool sorted = false;
    // False once a name had no wide form or no key: the list box then
    // places the names itself.
    bool whole = true;
};

// What a file filter receives for each entry of a listed folder.
struct FileEntry {
    char FullPath[MAX_PATH];
    int NameOffset;  // FullPath + NameOffset: the name relative to the listed folder
    HTREEITEM Item;  // the folder being filled
    WIN32_FIND_DATAA FindData;
    DWORD Attributes;  // 0xFFFFFFFF when unknown
    FolderDialogConfig* Context;
};

// 1 lists the entry; -1 abandons the whole fill; anything else leaves it out.
using FileFilterProc = int (*)(FolderDialogConfig* config, const FileEntry& entry);
// Sees every message before the dialog; its answer is not used.
using DialogHookProc = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                                   FolderDialogConfig* config);

struct FolderDialogConfig {
    // Control ids of the template; 0 where it has no such control.
    int TreeId = 0;
    int DriveComboId = 0;
    int FileListId = 0;
    int DesktopButtonId = 0;
    int MkdirButtonId = 0;
    int UpdirButtonId = 0;
    int RereadButtonId = 0;
    int RenameButtonId = 0;
    int PathEditId = 0;
    int OkId = 0;
    int CancelId = 0;
    int SubdirCheckId = 0;
    int ListMode = 2;  // 1: the file list is a list box (the only mode built)
    FileFilterProc FileFilter = nullptr;
    HCURSOR BusyCursor = nullptr;
    HCURSOR NormalCursor = nullptr;
    int UseCursors = 0;
    DialogHookProc Hook = nullptr;
    char* ResultPath = nullptr;  // MAX_PATH bytes: start folder in, chosen folder out
    int NoFileName = 0;
    HWND Owner = nullptr;
    HINSTANCE Instance = nullptr;
    int TemplateId = 0;

    // Owned by the dialog.
    HWND Tree = nullptr;
    HWND Drives = nullptr;
    HWND Files = nullptr;
    HWND Tooltip = nullptr;
    HICON DesktopIcon = nullptr;  // the desktop button's picture, destroyed with the dialog
    int Modeless = 0;
    int LabelEditing = 0;
    char Path[MAX_PATH] = "";
    int EndRequest = 0;
    INT_PTR EndResult = 0;
    // A fill may dispatch messages that destroy the dialog; the record then
    // outlives the window until the fill has unwound.
    int FillDepth = 0;
    // The names a fill has listed, put into the list when it ends.
    FileListNames ListedNames;
    // Whether an extension (single-byte letters in lower case) names
    // pictures, as far as the listing under way has asked.
    std::vector<std::pair<std::string, bool>> PictureExtensions;
    int Gone = 0;
    HWND Window = nullptr;
};

// Disables the dialog with the busy cursor for its lifetime, so that its own
// controls cannot start a second piece of work meanwhile. A disabled window
// loses the keyboard focus: the control that had it gets it back, so that
// the arrow keys go on moving through a list.
class BusyDialog {
public:
    BusyDialog(HWND dialog, FolderDialogConfig* config);
    ~BusyDialog();
    BusyDialog(const BusyDialog&) = delete;
    BusyDialog& operator=(const BusyDialog&) = delete;

private:
    HWND dialog_;
    FolderDialogConfig* config_;
    HWND focus_;
};

// Runs the dialog modally (through the program's prompt seam); the end code.
INT_PTR RunFolderDialogModal(FolderDialogConfig* config);
// Creates the dialog modeless; it owns and frees the record from then on.
HWND OpenFolderDialogModeless(std::unique_ptr<FolderDialogConfig> config);

INT_PTR CALLBACK FolderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Makes folder the current directory and shows it (the directory read back
// afterwards, so a folder that cannot be entered leaves the old one shown).
void ChangeFolder(HWND dialog, const char* folder, FolderDialogConfig* config);
// Full path of a tree item with its trailing "\" ("C:\" for a drive).
void GetItemPath(HWND tree, HTREEITEM item, char* out);
// The path of the tree's selected item, or "" without a selection.
void GetSelectedFolder(const FolderDialogConfig* config, char* out);
// The record of a folder dialog window, or null.
FolderDialogConfig* FolderDialogConfigOf(HWND dialog);

// A listing that ends within this many milliseconds is drawn once, at its
// end, which no one sees as late; a longer one is drawn as it goes on.
constexpr ULONGLONG kListingPaintDelay = 100;

// The dialog's own filter: pumps waiting messages every 102 entries and
// lists the files that the config's filter accepts. Repaints wait while the
// listing begun by BeginFileList is younger than kListingPaintDelay.
int ListFileEntry(FolderDialogConfig* config, const FileEntry& entry);
