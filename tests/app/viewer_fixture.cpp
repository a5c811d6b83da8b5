#include "tests/app/viewer_fixture.h"

#include <cstring>

#include "album/zub_album.h"
#include "app/command_table.h"
#include "app/file_drops.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "app/picture_display.h"
#include "app/window_commands.h"
#include "browse/user_prompt.h"

ClientPixels::ClientPixels(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    bgra_.assign(static_cast<size_t>(width_) * height_ * 4, 0);
    HDC windowDC = GetDC(window), memory = CreateCompatibleDC(windowDC);
    HBITMAP copy = CreateCompatibleBitmap(windowDC, width_, height_);
    HGDIOBJ old = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, width_, height_, windowDC, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    GetDIBits(memory, copy, 0, height_, bgra_.data(), &info, DIB_RGB_COLORS);
    DeleteObject(copy);
    DeleteDC(memory);
    ReleaseDC(window, windowDC);
}

Rgb ClientPixels::At(int x, int y) const {
    const uint8_t* p = &bgra_[(static_cast<size_t>(y) * width_ + x) * 4];
    return Rgb{p[2], p[1], p[0]};
}

HDROP MakeDrop(const std::vector<std::string>& names, POINT at) {
    std::string list;
    for (const std::string& name : names) list += name + '\0';
    list += '\0';
    const std::vector<uint8_t> bytes = MakeDropFilesBlock(list.data(), list.size(), at);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

std::vector<std::string> ListLines(HWND list) {
    std::vector<std::string> lines;
    char line[MAX_PATH];
    for (LRESULT i = 0, count = SendMessageA(list, LB_GETCOUNT, 0, 0); i < count; ++i) {
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
        lines.push_back(line);
    }
    return lines;
}

NameListBox::NameListBox(const std::vector<std::string>& names, DWORD style) {
    box_ = CreateWindowExA(0, "LISTBOX", "", WS_POPUP | style, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    for (const std::string& name : names)
        SendMessageA(box_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

void ViewerWindowTest::SetUp() {
    ResetViewerState();
    SetPromptAnswerer(RecordingAnswerer());
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewerClass(instance);
    window_ = CreateViewerWindow(instance);
    ASSERT_NE(window_, nullptr);
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    Pump();
}

PromptAnswerer ViewerWindowTest::RecordingAnswerer() {
    PromptAnswerer answerer;
    answerer.message = [this](HWND, const char* text, const char* caption, UINT type) {
        messages_.push_back(RecordedMessage{text ? text : "", caption ? caption : "", type});
        return messageAnswer_;
    };
    answerer.dialog = [](LPCSTR, HWND, DLGPROC, LPARAM) -> INT_PTR { return IDOK; };
    answerer.saveFileName = [](OPENFILENAMEA*) -> BOOL { return FALSE; };
    return answerer;
}

void ViewerWindowTest::MouseAt(UINT message, WPARAM keys, int x, int y) {
    POINT screen{x, y};
    ClientToScreen(window_, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageA(window_, message, keys, MAKELPARAM(x, y));
}

void ViewerWindowTest::TearDown() {
    // The dialogs' tests register the boxes' commands and leave them open.
    const ViewerState& v = Viewer();
    for (HWND box : {v.ZubBOXWindow, v.InfoBOXWindow, v.FileBOXWindow})
        if (box && IsWindow(box)) DestroyWindow(box);
    for (int command : {kCommandInfoBox, kCommandZubBox, kCommandCopyMove, kCommandFileBox})
        SetCommandHandler(command, nullptr);
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    Pump();
    // Leave no quit message behind for the next test's loop.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    SetPromptAnswerer(PromptAnswerer{});
    ResetViewerState();
}

void ViewerWindowTest::SetClientSize(int width, int height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)), FALSE);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    RECT client;
    GetClientRect(window_, &client);
    ASSERT_EQ(client.right, width);
    ASSERT_EQ(client.bottom, height);
}

void ViewerWindowTest::Show(const std::string& path, int orientation) {
    ViewerState& v = Viewer();
    lstrcpynA(v.CurrentPath, path.c_str(), MAX_PATH);
    v.CurrentOrientation = orientation;
    ShowPicture(window_);
    Repaint();
}

void ViewerWindowTest::Pump() {
    MSG message;
    for (int round = 0; round < 3; ++round) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

void ViewerWindowTest::AddPages(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        WriteBmp(dir_.File(name), 16, 16);
        Viewer().Album->AddPage(dir_.File(name).c_str());
    }
}

Texts ViewerWindowTest::TakeMessages() {
    Texts texts;
    for (const RecordedMessage& m : messages_) texts.push_back(m.caption + ": " + m.text);
    messages_.clear();
    return texts;
}
