#include "browse/dialogs/waiting_messages.h"

bool DispatchWaitingMessages(UINT kinds) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | kinds)) {
        // A handler run by the peek itself may have posted the quit, so it
        // is taken and posted again rather than looked at in place.
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}
