#include "browse/dialogs/dialog_commands.h"

#include "app/command_table.h"
#include "browse/dialogs/copy_move.h"
#include "browse/dialogs/file_box.h"
#include "browse/dialogs/info_box.h"
#include "browse/dialogs/zub_box.h"

void RegisterDialogCommands() {
    // Each dialog module adds its own registration here.
    RegisterInfoBoxCommands();
    RegisterZubBOXCommands();
    RegisterFileBOXCommands();
    RegisterCopyMoveCommands();
}
