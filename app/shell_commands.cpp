#include "app/shell_commands.h"

#include "app/command_table.h"
#include "app/options_dialog.h"
#include "app/shell_integration.h"
#include "app/window_commands.h"

void RegisterShellCommands() {
    SetCommandHandler(kCommandWallpaperCentre, [](HWND window) { MakeWallpaper(window, 0); });
    SetCommandHandler(kCommandWallpaperTile, [](HWND window) { MakeWallpaper(window, 1); });
    SetCommandHandler(kCommandHelp, ShowHelp);
    SetCommandHandler(kCommandOptions, ShowOptionsDialog);
}
