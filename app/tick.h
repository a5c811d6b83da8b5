// The 100 ms tick: the slideshow, the spin and the bounce.
#pragma once

#include <windows.h>

// Timer 1's procedure: posts the tick command, so that the work runs in
// order with the window's other messages.
void CALLBACK TickTimerProc(HWND window, UINT message, UINT_PTR timer, DWORD time);

// The tick command's handler.
void OnTick(HWND window);

// One bounce step along one axis: the step turns at the edges of
// [0, pictureLength - clientLength]. Returns the step to scroll by and
// updates moveStep.
int BounceStep(int& moveStep, bool overflow, int scroll, int pictureLength, int clientLength);
