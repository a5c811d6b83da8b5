#include "image/plugin_notice.h"

#include <windows.h>

#include <deque>

#include "image/plugin_host.h"

namespace {

constexpr UINT kShowNotices = WM_APP + 1;
constexpr char kNoticeClass[] = "PiltrinPluginNotice";

PluginNoticeProc Notice = nullptr;
std::deque<std::string> Pending;

void ShowNotice(const char* text) {
    if (Notice) {
        Notice(text);
        return;
    }
    MessageBoxA(GetActiveWindow(), text, "Error", MB_OK | MB_ICONWARNING);
}

// One at a time: a message box's own loop may come here again.
LRESULT OnShowNotices() {
    while (!Pending.empty()) {
        std::string text = std::move(Pending.front());
        Pending.pop_front();
        ShowNotice(text.c_str());
    }
    return 0;
}

LRESULT CALLBACK NoticeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kShowNotices:
            return OnShowNotices();
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window of the interface thread, made with the first notice
// and kept for the run.
HWND NoticeWindow() {
    static HWND window = nullptr;
    if (window && IsWindow(window)) return window;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = NoticeWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kNoticeClass;
    RegisterClassA(&windowClass);  // fails harmlessly when registered before
    window = CreateWindowExA(0, kNoticeClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                             nullptr);
    return window;
}

}  // namespace

void SetPluginNoticeProc(PluginNoticeProc notice) {
    Notice = notice;
}

void PostPluginNotice(const std::string& text) {
    Pending.push_back(text);
    HWND window = NoticeWindow();
    if (!window || !PostMessageA(window, kShowNotices, 0, 0)) OnShowNotices();
}
