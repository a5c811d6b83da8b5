#include "browse/user_prompt.h"

#include <commdlg.h>

#include <utility>

#include "browse/late_libraries.h"

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
    return ShowSaveDialog(request);
}

void SetPromptAnswerer(PromptAnswerer answerer) {
    Answerer() = std::move(answerer);
}
