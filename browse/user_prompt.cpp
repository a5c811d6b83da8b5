#include "browse/user_prompt.h"

#include <commdlg.h>

#include <utility>

namespace {
PromptAnswerer& Answerer() {
    static PromptAnswerer answerer;
    return answerer;
}
}  // namespace

int ShowMessage(HWND owner, const char* text, const char* caption, UINT type) {
    if (Answerer().message) return Answerer().message(owner, text, caption, type);
    return MessageBoxA(owner, text, caption, type);
}

INT_PTR RunModalDialog(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM param) {
    if (Answerer().dialog) return Answerer().dialog(templateName, owner, procedure, param);
    return DialogBoxParamA(instance, templateName, owner, procedure, param);
}

BOOL AskSaveFileName(OPENFILENAMEA* request) {
    if (Answerer().saveFileName) return Answerer().saveFileName(request);
    // The common dialogs bring the print spooler with them, whose start
    // alone costs tens of milliseconds; they are loaded when a save dialog
    // is first wanted, not with the program.
    using SaveProc = BOOL(WINAPI*)(OPENFILENAMEA*);
    static const SaveProc save = [] {
        HMODULE dialogs = LoadLibraryA("comdlg32.dll");
        return dialogs ? reinterpret_cast<SaveProc>(
                             reinterpret_cast<void*>(GetProcAddress(dialogs, "GetSaveFileNameA")))
                       : nullptr;
    }();
    return save ? save(request) : FALSE;
}

void SetPromptAnswerer(PromptAnswerer answerer) {
    Answerer() = std::move(answerer);
}
