// Text fields of the modeless boxes, which show their facts again on every
// refresh or paint.
#pragma once

#include <windows.h>

// Sets the field's text only when it differs (a null text is empty): each
// set redraws the field, which makes it flicker and is most of the cost of
// a repaint, and in an edit field it would also move the user's caret.
void SetField(HWND box, int id, const char* text);
// The same for a signed decimal number.
void SetNumberField(HWND box, int id, long value);
