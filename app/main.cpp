// Piltrin's entry point: a thin shell over the subsystem libraries.
#include <windows.h>

#include "app/command_line.h"
#include "app/viewer_app.h"
#include "browse/dialogs/dialog_commands.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showState) {
    // WinMain's own argument loses bytes of Japanese names; the process
    // command line keeps them.
    RegisterDialogCommands();
    return RunViewer(instance, ArgumentText(GetCommandLineA()), showState);
}
