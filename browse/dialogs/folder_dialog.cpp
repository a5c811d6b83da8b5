#include "browse/dialogs/folder_dialog.h"

#include <cstring>
#include <string>
#include <utility>

#include "browse/dialogs/drive_combo.h"
#include "browse/dialogs/file_list.h"
#include "browse/dialogs/folder_tree.h"
#include "browse/file_utils.h"
#include "browse/late_libraries.h"
#include "browse/scoped_handles.h"
#include "browse/user_prompt.h"

namespace {
// The owner-drawn combo asks for its item height before WM_INITDIALOG has
// delivered the record: the record being opened is kept here meanwhile.
FolderDialogConfig* openingConfig = nullptr;

void SetDialogResult(HWND dialog, LONG_PTR result) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
}

void ShowPath(HWND dialog, FolderDialogConfig* config) {
    if (config->PathEditId) SetDlgItemTextA(dialog, config->PathEditId, config->Path);
}

// The current directory follows the folder shown; "C:" alone for a drive's
// top item selects that drive's own current directory.
void SetCurrentDirectoryToPath(const char* path) {
    std::string folder = path;
    if (!folder.empty()) folder.pop_back();
    SetCurrentDirectoryA(folder.c_str());
}

void AddTool(FolderDialogConfig* config, HWND dialog, int id, const char* text, UINT extraFlags = 0) {
    if (!id || !GetDlgItem(dialog, id)) return;
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS | extraFlags;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, id));
    tool.lpszText = const_cast<char*>(text);
    SendMessageA(config->Tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void CreateTooltips(HWND dialog, FolderDialogConfig* config) {
    config->Tooltip =
        CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, config->Instance, nullptr);
    if (!config->Tooltip) return;
    AddTool(config, dialog, config->DesktopButtonId, "ﾃﾞｨﾚｸﾄﾘをﾃﾞｨｽｸﾄｯﾌﾟへ移動します");
    AddTool(config, dialog, config->MkdirButtonId, "新規ﾃﾞｨﾚｸﾄﾘを作成します");
    AddTool(config, dialog, config->UpdirButtonId, "親ディレクトリを選択します");
    AddTool(config, dialog, config->RereadButtonId, "最新の内容に更新します");
    AddTool(config, dialog, config->DriveComboId, "ドライブを選択します");
    AddTool(config, dialog, config->PathEditId, LPSTR_TEXTCALLBACKA, TTF_CENTERTIP);
}

// The button shows the icon but does not own it: the dialog does.
void SetButtonIcon(HWND dialog, FolderDialogConfig* config) {
    config->DesktopIcon = ShellSmallIcon(34);
    if (config->DesktopIcon)
        SendDlgItemMessageA(dialog, config->DesktopButtonId, BM_SETIMAGE, IMAGE_ICON,
                            reinterpret_cast<LPARAM>(config->DesktopIcon));
}

// The start folder: the folder of ResultPath, or the current directory.
void StartFolder(FolderDialogConfig* config) {
    const char* result = config->ResultPath ? config->ResultPath : "";
    if (!result[0] || ExpandPath(result, config->Path) == 0) {
        GetCurrentDirectoryA(MAX_PATH, config->Path);
    } else {
        config->Path[FileNamePart(config->Path) - config->Path] = '\0';
    }
    // A start folder that is gone (a removed folder, a vanished drive) or
    // cannot be entered: the dialog opens on the current directory instead.
    if (std::strlen(config->Path) + 1 >= MAX_PATH || !SetCurrentDirectoryA(config->Path))
        GetCurrentDirectoryA(MAX_PATH, config->Path);
    if (std::strlen(config->Path) + 1 < MAX_PATH) AddDirSeparator(config->Path);
}

// A name that MoveFile would take for a path, or that no folder may have:
// empty, with a separator, a colon or one of * ? " < > |. The search steps
// over double-byte characters, whose second byte may be "\" or "|".
bool IsUsableFolderName(const char* name) {
    if (!name || !name[0]) return false;
    for (const char* c = name; *c; ++c) {
        if (IsPathLeadByte(*c)) {
            if (!c[1]) return false;
            ++c;
            continue;
        }
        if (std::strchr("\\/:*?\"<>|", *c) || static_cast<unsigned char>(*c) < 0x20) return false;
    }
    return true;
}

LRESULT OnInitDialog(HWND dialog, FolderDialogConfig* config) {
    config->Window = dialog;
    StartFolder(config);
    if (config->DesktopButtonId) SetButtonIcon(dialog, config);
    if (config->FileListId) {
        config->Files = GetDlgItem(dialog, config->FileListId);
        Trace("KELTVD:new FileList (KELTVD2_LV) \n");
    }
    if (config->TreeId) {
        config->Tree = GetDlgItem(dialog, config->TreeId);
        if (config->Tree) AttachTreeImages(config->Tree);
    }
    if (config->DriveComboId) {
        config->Drives = GetDlgItem(dialog, config->DriveComboId);
        if (config->Drives) {
            FillDriveCombo(config->Drives);
            SelectDriveOf(config->Drives, config->Path);
        }
    }
    config->LabelEditing = 0;
    config->EndRequest = 0;
    CreateTooltips(dialog, config);
    if (config->Hook) config->Hook(dialog, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(config), config);
    if (!config->Tree) return TRUE;
    if (config->Drives) SelectDriveOf(config->Drives, config->Path);
    BusyDialog busy(dialog, config);
    SetCurrentDirectoryToPath(config->Path);
    ShowPath(dialog, config);
    ShowFolderInTree(config, config->Path);
    return TRUE;
}

void OnSelectionChanged(HWND dialog, FolderDialogConfig* config) {
    HTREEITEM selected = TreeView_GetSelection(config->Tree);
    if (!selected) return;
    Trace("KELTVD:TVN_SELCHANGED.\n");
    BusyDialog busy(dialog, config);
    if (config->Files) {
        Trace("KELTVD:TVN_SELCHANGED SendMessage.\n");
        BeginFileList(config);
        Trace("KELTVD:TVN_SELCHANGED SendMessage End.\n");
        Trace("KELTVD:TVN_SELCHANGED NestDirCheck.\n");
        FillTreeItem(config, selected, true, ListFileEntry);
        if (config->Gone) return;
        EndFileList(config);
    } else {
        Trace("KELTVD:TVN_SELCHANGED AddSelectedSubDir.\n");
        FillTreeItem(config, selected, true, nullptr);
        if (config->Gone) return;
    }
    Trace("KELTVD:TVN_SELCHANGED SetDirName.\n");
    GetItemPath(config->Tree, selected, config->Path);
    ShowPath(dialog, config);
    SetCurrentDirectoryToPath(config->Path);
    Trace("KELTVD:TVN_SELCHANGED END.\n");
}

void SetItemImages(HWND tree, HTREEITEM item, int image) {
    TVITEMA change{};
    change.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    change.hItem = item;
    change.iImage = change.iSelectedImage = image;
    SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&change));
}

void StartRenaming(FolderDialogConfig* config) {
    HTREEITEM selected = TreeView_GetSelection(config->Tree);
    if (!selected) return;
    config->LabelEditing = 1;
    SetFocus(config->Tree);
    SendMessageA(config->Tree, TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(selected));
}

// TVN_ENDLABELEDIT; the tree keeps the old label (the answer is 0) and is
// given the new one only when the folder was renamed.
void OnEndLabelEdit(HWND dialog, FolderDialogConfig* config, HTREEITEM item, const char* newText) {
    char old[MAX_PATH];
    GetItemPath(config->Tree, item, old);
    size_t length = std::strlen(old);
    if (length) old[--length] = '\0';
    // A cancelled edit, an empty or unusable name or a drive keeps its name.
    if (IsUsableFolderName(newText) && length > 2) {
        const std::string parent(static_cast<const char*>(old), FileNamePart(old));
        const std::string renamed = parent + newText;
        // The folder being renamed is the current directory, which the
        // system will not rename while it is in use: step out of it first.
        SetCurrentDirectoryA(parent.c_str());
        if (renamed.size() < MAX_PATH && MoveFileA(old, renamed.c_str())) {
            TVITEMA change{};
            change.mask = TVIF_TEXT | TVIF_HANDLE;
            change.hItem = item;
            change.pszText = const_cast<char*>(newText);
            SendMessageA(config->Tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&change));
        }
    }
    HTREEITEM selected = TreeView_GetSelection(config->Tree);
    if (selected) GetItemPath(config->Tree, selected, config->Path);
    ShowPath(dialog, config);
    SetCurrentDirectoryToPath(config->Path);
    config->LabelEditing = 0;
}

LRESULT OnNotify(HWND dialog, FolderDialogConfig* config, NMHDR* header) {
    if (config->Tree && header->hwndFrom == config->Tree) {
        switch (header->code) {
            case TVN_SELCHANGEDA:
            case TVN_SELCHANGEDW:
                OnSelectionChanged(dialog, config);
                return 0;
            case TVN_ITEMEXPANDEDA:
            case TVN_ITEMEXPANDEDW: {
                auto* view = reinterpret_cast<NMTREEVIEWA*>(header);
                SetItemImages(config->Tree, view->itemNew.hItem, view->action & TVE_EXPAND ? 1 : 0);
                return 0;
            }
            case TVN_BEGINLABELEDITA:
            case TVN_BEGINLABELEDITW:
                config->LabelEditing = 1;
                SetDialogResult(dialog, FALSE);
                return TRUE;
            case TVN_ENDLABELEDITA: {
                auto* edit = reinterpret_cast<NMTVDISPINFOA*>(header);
                OnEndLabelEdit(dialog, config, edit->item.hItem, edit->item.pszText);
                SetDialogResult(dialog, FALSE);
                return TRUE;
            }
            case TVN_ENDLABELEDITW: {
                auto* edit = reinterpret_cast<NMTVDISPINFOW*>(header);
                char text[MAX_PATH] = "";
                if (edit->item.pszText)
                    WideCharToMultiByte(CP_ACP, 0, edit->item.pszText, -1, text, MAX_PATH, nullptr, nullptr);
                OnEndLabelEdit(dialog, config, edit->item.hItem, edit->item.pszText ? text : nullptr);
                SetDialogResult(dialog, FALSE);
                return TRUE;
            }
        }
    }
    if (header->code == TTN_GETDISPINFOA && config->PathEditId) {
        // The path field's tip shows the whole path, however long.
        static char text[MAX_PATH];
        GetDlgItemTextA(dialog, config->PathEditId, text, MAX_PATH);
        reinterpret_cast<NMTTDISPINFOA*>(header)->lpszText = text;
        return 0;
    }
    if (header->code == TTN_GETDISPINFOW && config->PathEditId) {
        static wchar_t text[MAX_PATH];
        GetDlgItemTextW(dialog, config->PathEditId, text, MAX_PATH);
        reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = text;
    }
    return 0;
}

void EndFolderDialog(HWND dialog, FolderDialogConfig* config, INT_PTR result) {
    if (config->Modeless) {
        DestroyWindow(dialog);
    } else {
        EndDialog(dialog, result);
    }
}

void OnOkOrCancel(HWND dialog, FolderDialogConfig* config, int id) {
    if (config->LabelEditing) {
        // Enter and Escape reach the dialog as its OK and Cancel: they end
        // the edit, keeping or dropping the text.
        if (config->Tree) SendMessageA(config->Tree, TVM_ENDEDITLABELNOW, id == IDCANCEL, 0);
        return;
    }
    if (config->ResultPath) {
        config->ResultPath[0] = '\0';
        if (config->Tree) GetSelectedFolder(config, config->ResultPath);
        if (!config->NoFileName && config->Files) {
            LRESULT caret = SendMessageA(config->Files, LB_GETCURSEL, 0, 0);
            if (caret < 0) {
                if (id == config->OkId) return;
            } else if (SendMessageA(config->Files, LB_GETTEXTLEN, caret, 0) +
                           std::strlen(config->ResultPath) <
                       MAX_PATH) {
                SendMessageA(config->Files, LB_GETTEXT, caret,
                             reinterpret_cast<LPARAM>(config->ResultPath + std::strlen(config->ResultPath)));
            }
        }
    }
    EndFolderDialog(dialog, config, id);
}

void OnDesktopButton(HWND dialog, FolderDialogConfig* config) {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0, KEY_READ,
                      key.out()) != ERROR_SUCCESS)
        return;
    char desktop[MAX_PATH + 1] = "";
    DWORD size = MAX_PATH;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), "Desktop", nullptr, &type, reinterpret_cast<BYTE*>(desktop), &size) !=
        ERROR_SUCCESS)
        return;
    desktop[MAX_PATH - 1] = '\0';
    ChangeFolder(dialog, desktop, config);
}

void OnMkdir(HWND dialog, FolderDialogConfig* config) {
    char folder[MAX_PATH];
    GetSelectedFolder(config, folder);
    if (!folder[0] || std::strlen(folder) + 7 >= MAX_PATH) return;
    std::strcat(folder, "NewDir");
    if (!CreateDirectoryA(folder, nullptr)) return;
    std::strcat(folder, "\\");
    ChangeFolder(dialog, folder, config);
    if (!config->Gone) StartRenaming(config);
}

void OnCommand(HWND dialog, FolderDialogConfig* config, int id, int code) {
    if (!id) return;
    if (id == config->DriveComboId) {
        if (code != CBN_SELCHANGE || !config->Drives) return;
        if (config->SubdirCheckId) CheckDlgButton(dialog, config->SubdirCheckId, BST_UNCHECKED);
        char drive[16] = "";
        LRESULT index = SendMessageA(config->Drives, CB_GETCURSEL, 0, 0);
        if (index < 0 || SendMessageA(config->Drives, CB_GETLBTEXTLEN, index, 0) >= 16) return;
        SendMessageA(config->Drives, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(drive));
        ChangeFolder(dialog, drive, config);
    } else if (id == config->DesktopButtonId) {
        OnDesktopButton(dialog, config);
    } else if (id == config->UpdirButtonId) {
        if (!config->Tree) return;
        HTREEITEM selected = TreeView_GetSelection(config->Tree);
        HTREEITEM parent = selected ? TreeView_GetParent(config->Tree, selected) : nullptr;
        if (parent) TreeView_SelectItem(config->Tree, parent);
    } else if (id == config->RereadButtonId) {
        char folder[MAX_PATH];
        GetSelectedFolder(config, folder);
        if (folder[0]) ChangeFolder(dialog, folder, config);
    } else if (id == config->MkdirButtonId) {
        if (config->Tree) OnMkdir(dialog, config);
    } else if (id == config->RenameButtonId) {
        if (config->Tree) StartRenaming(config);
    } else if (id == config->SubdirCheckId) {
        char folder[MAX_PATH];
        GetSelectedFolder(config, folder);
        if (config->Files && folder[0]) ChangeFolder(dialog, folder, config);
    } else if (id == config->OkId || id == config->CancelId || (config->LabelEditing && id <= IDCANCEL)) {
        OnOkOrCancel(dialog, config, id);
    }
}

void OnDropFiles(HWND dialog, FolderDialogConfig* config, HDROP drop) {
    char name[MAX_PATH] = "";
    const UINT length = DroppedFile(drop, 0, name, MAX_PATH);
    FinishDrop(drop);
    if (length == 0 || length >= MAX_PATH - 1) return;
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        AddDirSeparator(name);
    } else {
        name[FileNamePart(name) - name] = '\0';
    }
    ChangeFolder(dialog, name, config);
}

void OnDestroy(HWND dialog, FolderDialogConfig* config) {
    if (config->Tree) DetachTreeImages();
    if (config->Drives) DetachDriveImages();
    if (config->Tooltip) DestroyWindow(config->Tooltip);
    if (config->DesktopIcon) {
        SendDlgItemMessageA(dialog, config->DesktopButtonId, BM_SETIMAGE, IMAGE_ICON, 0);
        DestroyIcon(std::exchange(config->DesktopIcon, nullptr));
    }
    config->Tree = config->Drives = config->Files = config->Tooltip = nullptr;
    config->Gone = 1;
    SetWindowLongPtrA(dialog, DWLP_USER, 0);
}

// After the hook: true when it asked the dialog to end (and it did).
bool HookEnded(HWND dialog, FolderDialogConfig* config, UINT message) {
    if (!config->EndRequest || message == WM_DESTROY) return false;
    Trace("KELTVD:End Dialog is TRUE.\n");
    if (config->LabelEditing) return false;
    EndFolderDialog(dialog, config, config->EndResult);
    return true;
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, FolderDialogConfig* config) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, config);
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (config->DriveComboId && static_cast<int>(wParam) == config->DriveComboId) {
                DrawDriveItem(*item);
                return TRUE;
            }
            return FALSE;
        }
        case WM_MEASUREITEM: {
            auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (config->DriveComboId && static_cast<int>(item->CtlID) == config->DriveComboId) {
                item->itemHeight = 16;
                return TRUE;
            }
            return FALSE;
        }
        case WM_NOTIFY:
            return OnNotify(dialog, config, reinterpret_cast<NMHDR*>(lParam));
        case WM_COMMAND:
            OnCommand(dialog, config, LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN && config->LabelEditing && config->Tree)
                SendMessageA(config->Tree, TVM_ENDEDITLABELNOW, FALSE, 0);
            return FALSE;
        case WM_DROPFILES:
            OnDropFiles(dialog, config, reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_SETCURSOR:
            if (!config->UseCursors) return FALSE;
            SetCursor(IsWindowEnabled(dialog) ? config->NormalCursor : config->BusyCursor);
            SetDialogResult(dialog, TRUE);
            return TRUE;
        case WM_DESTROY:
            OnDestroy(dialog, config);
            return TRUE;
    }
    return FALSE;
}
}  // namespace

BusyDialog::BusyDialog(HWND dialog, FolderDialogConfig* config)
    : dialog_(dialog), config_(config), focus_(GetFocus()) {
    if (focus_ != dialog && !IsChild(dialog, focus_)) focus_ = nullptr;
    EnableWindow(dialog, FALSE);
    if (config->UseCursors && config->BusyCursor) SetCursor(config->BusyCursor);
}

BusyDialog::~BusyDialog() {
    if (config_->Gone) return;
    if (config_->UseCursors && config_->NormalCursor) SetCursor(config_->NormalCursor);
    EnableWindow(dialog_, TRUE);
    if (focus_ && IsWindow(focus_) && !GetFocus()) SetFocus(focus_);
}

FolderDialogConfig* FolderDialogConfigOf(HWND dialog) {
    return reinterpret_cast<FolderDialogConfig*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void GetSelectedFolder(const FolderDialogConfig* config, char* out) {
    out[0] = '\0';
    if (!config->Tree) return;
    HTREEITEM selected = TreeView_GetSelection(config->Tree);
    if (selected) GetItemPath(config->Tree, selected, out);
}

INT_PTR CALLBACK FolderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    FolderDialogConfig* config = nullptr;
    if (message == WM_INITDIALOG) {
        config = reinterpret_cast<FolderDialogConfig*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(config));
        openingConfig = nullptr;
    } else {
        config = FolderDialogConfigOf(dialog);
    }
    if (!config) {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (message == WM_MEASUREITEM && openingConfig && openingConfig->DriveComboId &&
            static_cast<int>(item->CtlID) == openingConfig->DriveComboId) {
            item->itemHeight = 16;
            return TRUE;
        }
        return FALSE;
    }
    // A modeless dialog owns its record. A handler may dispatch messages
    // that destroy the window; the record then lives on until the outermost
    // call of the procedure has unwound.
    ++config->FillDepth;
    INT_PTR result = TRUE;
    if (message != WM_INITDIALOG) {
        if (message != WM_DESTROY) config->EndRequest = 0;
        if (config->Hook) config->Hook(dialog, message, wParam, lParam, config);
    }
    if (message == WM_INITDIALOG || !HookEnded(dialog, config, message))
        result = HandleMessage(dialog, message, wParam, lParam, config);
    if (--config->FillDepth == 0 && config->Gone && config->Modeless)
        std::unique_ptr<FolderDialogConfig> owned(config);
    return result;
}

void ChangeFolder(HWND dialog, const char* folder, FolderDialogConfig* config) {
    BusyDialog busy(dialog, config);
    SetCurrentDirectoryA(folder);
    GetCurrentDirectoryA(MAX_PATH, config->Path);
    if (std::strlen(config->Path) + 1 < MAX_PATH) AddDirSeparator(config->Path);
    ShowPath(dialog, config);
    if (config->Drives) SelectDriveOf(config->Drives, config->Path);
    if (config->Tree) ShowFolderInTree(config, config->Path);
}

INT_PTR RunFolderDialogModal(FolderDialogConfig* config) {
    config->Modeless = 0;
    LoadCommonControls();
    openingConfig = config;
    INT_PTR result = RunModalDialog(config->Instance, MAKEINTRESOURCEA(config->TemplateId), config->Owner,
                                    FolderDialogProc, reinterpret_cast<LPARAM>(config));
    openingConfig = nullptr;
    return result;
}

HWND OpenFolderDialogModeless(std::unique_ptr<FolderDialogConfig> config) {
    config->Modeless = 1;
    LoadCommonControls();
    openingConfig = config.get();
    HWND dialog = CreateDialogParamA(config->Instance, MAKEINTRESOURCEA(config->TemplateId), config->Owner,
                                     FolderDialogProc, reinterpret_cast<LPARAM>(config.get()));
    openingConfig = nullptr;
    // Created: the window owns the record and frees it when destroyed.
    if (dialog) config.release();
    return dialog;
}
