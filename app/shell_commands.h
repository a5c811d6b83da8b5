// The shell's own commands that go through the command table: the wallpaper,
// the help document and the options dialog.
#pragma once

// Registers commands 22, 23, 24 and 40003; window creation calls it.
void RegisterShellCommands();
