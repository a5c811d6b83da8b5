// Commands that a layer above the shell provides. The browsing dialogs live
// above the shell (they use its state, its album and its ShowPicture), so the
// shell cannot call them directly: they register their commands here when the
// program starts, and the menu greys a command that nobody has registered.
#pragma once

#include <windows.h>

using CommandHandler = void (*)(HWND window);

// Registers (or, with nullptr, removes) the handler of a command.
void SetCommandHandler(int command, CommandHandler handler);

// The registered handler, or nullptr.
CommandHandler CommandHandlerFor(int command);
