// Resource numbers shared by piltrin.rc and the code. Numbers other programs
// or the shell see (the icon order, the cursor and dialog numbers) are fixed.
#pragma once

// Icons, in this order: the shell's file-type registration takes the
// program's fourth icon for .zub files.
#define PILTRIN_ICON_PROGRAM 112
#define PILTRIN_ICON_ALBUM 130
#define PILTRIN_ICON_PICTURE 131
#define PILTRIN_ICON_ZUB_FILE 132

// Cursors shown while a file is dragged out of the viewer.
#define PILTRIN_CURSOR_DROP_OK 104
#define PILTRIN_CURSOR_DROP_NO 106

// Dialog templates.
#define PILTRIN_DIALOG_ABOUT 128
#define PILTRIN_ABOUT_VERSION_TEXT 1001
#define PILTRIN_ABOUT_ICON 1002
