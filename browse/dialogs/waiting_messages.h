// The dialogs' long work (a folder's listing, the ZubBOX's thumbnails)
// keeps the program alive by running the messages that wait meanwhile.
#pragma once

#include <windows.h>

// Dispatches the messages waiting in the thread's queue, of the kinds given
// as PM_QS_* flags (0: every kind); false when it met WM_QUIT, which stays
// queued for the main loop.
bool DispatchWaitingMessages(UINT kinds = 0);
