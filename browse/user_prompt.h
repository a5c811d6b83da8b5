// Every modal prompt of the program goes through these functions, so that a
// test can answer them instead of a person and never blocks on a dialog.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <functional>

// Shows a message box (MessageBoxA) unless a test has installed an answerer.
int ShowMessage(HWND owner, const char* text, const char* caption, UINT type);

// Runs a modal dialog from a template (DialogBoxParamA) unless answered.
INT_PTR RunModalDialog(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM param);

// Shows the save dialog (GetSaveFileNameA) unless answered.
BOOL AskSaveFileName(OPENFILENAMEA* request);

// What a test installs. Each receives what the real call would have shown
// and returns what the user would have answered.
struct PromptAnswerer {
    std::function<int(HWND, const char*, const char*, UINT)> message;
    std::function<INT_PTR(LPCSTR, HWND, DLGPROC, LPARAM)> dialog;
    std::function<BOOL(OPENFILENAMEA*)> saveFileName;
};

// Installs (or, with an empty answerer, removes) the test's answers.
void SetPromptAnswerer(PromptAnswerer answerer);
