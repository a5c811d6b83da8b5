#include "app/shell_integration.h"

#include <string>
#include <vector>

#include "app/viewer_state.h"
#include "browse/file_utils.h"
#include "browse/late_libraries.h"
#include "browse/scoped_handles.h"
#include "browse/user_prompt.h"
#include "image/picture_loader.h"

const char kUserClassesKey[] = "Software\\Classes";

namespace {
// The desktop key, without the leading "\" that some texts give it: a key
// name that begins with a separator is refused by the registry, and the
// values would silently never be written.
constexpr char kDesktopKey[] = "Control Panel\\Desktop";

bool KeyExists(HKEY root, const std::string& path) {
    RegistryKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

bool SetText(HKEY key, const char* name, const std::string& text) {
    // The stored size counts the terminator, as every reader of a text
    // value expects.
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool ReadDefaultText(HKEY key, std::string* text) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    *text = data.data();
    return true;
}

// The keys and default values that one registration changed, so that a
// failing step can put the classes back as they were.
class ClassesChanges {
public:
    explicit ClassesChanges(HKEY classes) : classes_(classes) {}

    // Creates (or opens) path and sets its default value to text.
    bool SetDefault(const std::string& path, const std::string& text) {
        NoteNewKeys(path);
        RegistryKey key;
        if (RegCreateKeyExA(classes_, path.c_str(), 0, const_cast<char*>(""), 0, KEY_ALL_ACCESS, nullptr,
                            key.out(), nullptr) != ERROR_SUCCESS) {
            return false;
        }
        Change change{path, false, false, ""};
        change.hadValue = ReadDefaultText(key.get(), &change.oldValue);
        changes_.push_back(change);
        return SetText(key.get(), nullptr, text);
    }

    void Undo() {
        for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
            if (change->created) {
                RegDeleteKeyA(classes_, change->path.c_str());
                continue;
            }
            RegistryKey key;
            if (RegOpenKeyExA(classes_, change->path.c_str(), 0, KEY_SET_VALUE, key.out()) != ERROR_SUCCESS) {
                continue;
            }
            if (change->hadValue) {
                SetText(key.get(), nullptr, change->oldValue);
            } else {
                RegDeleteValueA(key.get(), nullptr);
            }
        }
        changes_.clear();
    }

private:
    struct Change {
        std::string path;
        bool created;  // the key did not exist: undoing deletes it
        bool hadValue;
        std::string oldValue;
    };

    // Every key on the way to path that does not exist yet.
    void NoteNewKeys(const std::string& path) {
        for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
            const std::string prefix = path.substr(0, end);
            if (!KeyExists(classes_, prefix)) changes_.push_back(Change{prefix, true, false, ""});
            if (end == std::string::npos) break;
        }
    }

    HKEY classes_;
    std::vector<Change> changes_;
};

bool WriteDocType(HKEY classes, const char* extension, const char* typeName, const char* description,
                  int iconIndex, const char* programPath) {
    ClassesChanges changes(classes);
    const std::string type = typeName;
    char icon[MAX_PATH + 16];
    wsprintfA(icon, "%s,%d", programPath ? programPath : "", iconIndex);
    bool ok = changes.SetDefault(extension, type) && changes.SetDefault(type, description) &&
              changes.SetDefault(type + "\\DefaultIcon", icon);
    // The program's path is quoted, or the shell would end the program's
    // name at the first space (C:\Program Files\...) and hand the rest over
    // as the album's path; "%1" stays as it is, since the command line's
    // rules take an album path with its spaces as one argument.
    if (ok && programPath)
        ok = changes.SetDefault(type + "\\Shell\\open\\command", "\"" + std::string(programPath) + "\" %1");
    if (!ok) changes.Undo();
    return ok;
}

// Writes the wallpaper file through a fresh file beside it, so that a write
// that fails half-way leaves the old wallpaper file whole.
bool WriteWallpaperFile(const char* source, const std::string& destination) {
    const std::string fresh = destination + ".new";
    if (SavePictureAsBmp(source, fresh.c_str()) &&
        MoveFileExA(fresh.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    DeleteFileA(fresh.c_str());
    return false;
}
}  // namespace

int RegisterDocType(const char* extension, const char* typeName, const char* description, const char*,
                    int iconIndex, const char* programPath, int ask) {
    RegistryKey classes;
    const bool opened = RegCreateKeyExA(HKEY_CURRENT_USER, kUserClassesKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, classes.out(), nullptr) == ERROR_SUCCESS;
    // An entry the machine provides counts as existing as well.
    const bool exists =
        KeyExists(HKEY_CLASSES_ROOT, extension) || (opened && KeyExists(classes.get(), extension));
    if (exists && ask) {
        const std::string question =
            std::string(extension) + " に対する設定は既に行われています。再設定しますか？";
        if (ShowMessage(nullptr, question.c_str(), "set Icon error", MB_OKCANCEL) != IDOK) return 0;
    }
    const bool ok =
        opened && WriteDocType(classes.get(), extension, typeName, description, iconIndex, programPath);
    if (ask) {
        if (ok) {
            ShowMessage(nullptr, "設定は無事終了しました。", "SUCCESS", MB_OK);
        } else {
            ShowMessage(nullptr, "何らかの問題で設定に失敗しました。", "FALSE", MB_OK);
        }
    }
    return ok ? 1 : 0;
}

int SetWallpaper(const char* bitmapPath, int tile, int style) {
    RegistryKey desktop;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, desktop.out(),
                        nullptr) == ERROR_SUCCESS) {
        char text[16];
        wsprintfA(text, "%d", tile);
        SetText(desktop.get(), "TileWallpaper", text);
        wsprintfA(text, "%d", style);
        SetText(desktop.get(), "Wallpaperstyle", text);
    }
    SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(bitmapPath), SPIF_UPDATEINIFILE);
    UpdateWindow(GetDesktopWindow());
    return 1;
}

int OpenHelp(const char* documentPath) {
    return OpenDocument(documentPath) ? 1 : 0;
}

void MakeWallpaper(HWND window, int tile) {
    const ViewerState& v = Viewer();
    if (!v.ShownBitmap) return;
    char folder[MAX_PATH];
    ProgramFolder(folder);
    const std::string destination = std::string(folder) + "Wallpaper.bmp";
    // The file is made from the picture file itself: the wallpaper shows the
    // picture as stored, whatever turn the viewer gives it.
    if (destination.size() + 4 >= MAX_PATH || !WriteWallpaperFile(v.CurrentPath, destination)) {
        const std::string text = "壁紙の画像ファイルを書き込めませんでした。\n" + destination;
        ShowMessage(window, text.c_str(), "Error", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    SetWallpaper(destination.c_str(), tile, 0);
}

void ShowHelpDocument(HWND owner, const char* documentPath) {
    if (GetFileAttributesA(documentPath) == INVALID_FILE_ATTRIBUTES) {
        const std::string text = std::string("ヘルプファイルが見つかりません。\n") + documentPath;
        ShowMessage(owner, text.c_str(), "Error", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!OpenHelp(documentPath)) {
        const std::string text = std::string("ヘルプファイルを開けませんでした。\n") + documentPath;
        ShowMessage(owner, text.c_str(), "Error", MB_OK | MB_ICONEXCLAMATION);
    }
}

void ShowHelp(HWND window) {
    char path[MAX_PATH];
    ProgramFolder(path);
    const std::string document = std::string(path) + "Help\\index.htm";
    ShowHelpDocument(window, document.c_str());
}
