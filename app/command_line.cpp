#include "app/command_line.h"

#include <cstring>
#include <vector>

#include "album/zub_album.h"
#include "app/album_commands.h"
#include "app/picture_display.h"
#include "app/shell_paths.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "browse/file_utils.h"
#include "image/picture_loader.h"

namespace {
void ShowStartupPicture(HWND window) {
    ViewerState& v = Viewer();
    ProgramFolder(v.CurrentFolder);
    if (!JoinPath(v.CurrentPath, v.CurrentFolder, "Piltrin.bmp")) v.CurrentPath[0] = '\0';
    v.CurrentOrientation = 0;
    // The window takes the start-up picture's size this once.
    v.Settings.KeepWindowSize = 0;
    ShowPicture(window);
    v.Settings.KeepWindowSize = 1;
    if (v.FolderList.block) FolderListFree(&v.FolderList);
    v.FolderIndex = 0;
    SetWindowTextA(window, kViewerTitle);
}

void OpenPictureList(HWND window, const std::string& text) {
    ViewerState& v = Viewer();
    std::vector<std::string> tokens;
    for (size_t start = 0;;) {
        const size_t space = text.find(' ', start);
        tokens.push_back(text.substr(start, space == std::string::npos ? std::string::npos : space - start));
        if (space == std::string::npos) break;
        start = space + 1;
    }
    int firstPage = -1;
    for (const std::string& token : tokens) {
        // A token longer than a path cannot name a file.
        if (token.size() >= MAX_PATH) continue;
        char full[MAX_PATH] = "";
        GetLongFullPath(token.c_str(), full, nullptr);
        if (IsPictureFile(full) && v.Album->FindPage(full) == -1) v.Album->AddPage(full);
        if (&token == &tokens.front()) firstPage = v.Album->FindPage(full);
    }
    // The zub display below shows the page at the current index; when that
    // page is the first picture itself, unturned, showing the picture here
    // as well would read and lay it out twice for the same window.
    const bool shownBelow =
        firstPage >= 0 && firstPage == ZubDisplayPage() && v.Album->GetPageOrientation(firstPage) == 0;
    const std::string& first = tokens.front();
    if (!shownBelow && first.size() < MAX_PATH && IsPictureFile(first.c_str())) {
        v.CurrentOrientation = 0;
        lstrcpynA(v.CurrentPath, first.c_str(), MAX_PATH);
        ShowPicture(window);
    }
    if (v.FolderList.block) FolderListFree(&v.FolderList);
    v.FolderIndex = 0;
    if (first.size() < MAX_PATH) CutToFolder(v.CurrentFolder, first.c_str());
    SetDisplayMode(window, kZubDisplay);
}
}  // namespace

std::string ArgumentText(const char* line) {
    const char* p = line;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

std::string UnquotedArgument(const std::string& text) {
    if (text.empty() || text[0] != '"') return text;
    const size_t close = text.find('"', 1);
    return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

void HandleCommandLine(HWND window, const std::string& argumentText) {
    if (argumentText.empty()) {
        ShowStartupPicture(window);
        return;
    }
    const std::string text = UnquotedArgument(argumentText);
    if (lstrcmpiA(ExtensionOf(text.c_str()), "zub") == 0) {
        if (text.size() < MAX_PATH) OpenZubFile(window, text.c_str());
        return;
    }
    OpenPictureList(window, text);
}
