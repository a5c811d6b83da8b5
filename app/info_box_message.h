// The one message the shell sends to the image information box: after every
// picture it shows, so that the box reads the viewer's state afresh and
// returns to where it was last closed. The box lives in a layer above the
// shell, which knows only its window handle (ViewerState::InfoBOXWindow).
#pragma once

#include <windows.h>

constexpr UINT WM_INFOBOXREFRESH = WM_APP + 0x115;
