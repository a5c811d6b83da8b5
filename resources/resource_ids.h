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

// The options dialog (template 109).
#define PILTRIN_DIALOG_OPTIONS 109
#define PILTRIN_OPTIONS_ROTATION 1000
#define PILTRIN_OPTIONS_FIT 1002
#define PILTRIN_OPTIONS_STEP_X 1005
#define PILTRIN_OPTIONS_KEEP_SIZE 1022
#define PILTRIN_OPTIONS_ANIMATE 1023
#define PILTRIN_OPTIONS_AUTO_SWITCH 1024
#define PILTRIN_OPTIONS_ROTATION_SPIN 1030
#define PILTRIN_OPTIONS_STEP_X_SPIN 1032
#define PILTRIN_OPTIONS_STEP_Y 1033
#define PILTRIN_OPTIONS_STEP_Y_SPIN 1034
#define PILTRIN_OPTIONS_SWITCH_SECONDS 1035
#define PILTRIN_OPTIONS_SWITCH_SECONDS_SPIN 1036
#define PILTRIN_OPTIONS_AUTO_ADD 1037
#define PILTRIN_OPTIONS_REGISTER_ZUB 1057

// The image information box (template 115).
#define PILTRIN_DIALOG_INFOBOX 115
#define PILTRIN_INFOBOX_HEIGHT 1001
#define PILTRIN_INFOBOX_DEPTH 1002
#define PILTRIN_INFOBOX_TITLE 1040
#define PILTRIN_INFOBOX_FOLDER 1041
#define PILTRIN_INFOBOX_FILE_NAME 1042
#define PILTRIN_INFOBOX_SIZE_KIB 1043
#define PILTRIN_INFOBOX_WIDTH 1044
#define PILTRIN_INFOBOX_WRITE_TIME 1045
