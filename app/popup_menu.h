// The viewer's one menu: a popup opened where the right button is released.
// Two items change their number and text in place (13/14 and 5/4).
#pragma once

#include <windows.h>

// Mode 0 builds the menu; later calls with DisplayMode (13 or 14) set the
// mode item, the fit/true-size text and which commands are enabled.
void UpdateMenu(int mode);

// Gives the item numbered from the number and text of command to.
void ReplaceMenuCommand(int from, int to);

// Checks the chosen stacking item (6, 7 or 8) and unchecks the other two.
void CheckStackingItem(int command);

// Destroys the menu and its submenus.
void DestroyPopupMenu();
