// The commands of the browsing dialogs, handed to the shell's command table.
#pragma once

// Registers every dialog command with the shell; the program calls it once
// before the window is created, and so does a test that wants the dialogs.
void RegisterDialogCommands();
