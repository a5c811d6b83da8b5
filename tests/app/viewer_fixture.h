// A real ViewerWindow in this process, on the test display, with every
// modal prompt answered by the test.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/user_prompt.h"
#include "tests/support/test_files.h"

using Texts = std::vector<std::string>;

// The pixels of a window's client area, captured from its device context.
class ClientPixels {
public:
    explicit ClientPixels(HWND window);
    Rgb At(int x, int y) const;
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsBlack(int x, int y) const { return At(x, y) == Rgb{0, 0, 0}; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> bgra_;
};

inline std::string WindowText(HWND window) {
    char text[MAX_PATH] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}
inline std::string ItemText(HWND dialog, int id) {
    char text[MAX_PATH] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}
inline Rgb ToRgb(COLORREF colour) {
    return Rgb{GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}
// A DROPFILES block of names as the shell hands it over; the receiver
// finishes it.
HDROP MakeDrop(const std::vector<std::string>& names, POINT at = POINT{});
std::vector<std::string> ListLines(HWND list);

// A list box holding names, as the file browser shows a folder.
class NameListBox {
public:
    explicit NameListBox(const std::vector<std::string>& names, DWORD style = 0);
    ~NameListBox() { DestroyWindow(box_); }
    NameListBox(const NameListBox&) = delete;
    NameListBox& operator=(const NameListBox&) = delete;
    HWND get() const { return box_; }

private:
    HWND box_;
};

struct RecordedMessage {
    std::string text;
    std::string caption;
    UINT type;
};

class ViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void SetClientSize(int width, int height);
    // Shows path the way a dropped picture is shown.
    void Show(const std::string& path, int orientation = 0);
    // Runs the window's queued messages (paints, posted commands).
    void Pump();
    void Command(int command) {
        SendMessageA(window_, WM_COMMAND, static_cast<WPARAM>(command), 0);
        Pump();
    }
    // Paints now, synchronously.
    void Repaint() {
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Pump();
    }
    // What SetUp installs: messages recorded and answered with
    // messageAnswer_, dialogs answered IDOK, the save dialog cancelled.
    // Tests change one part and install it again.
    PromptAnswerer RecordingAnswerer();
    // Puts the cursor over the client point (x, y) and sends message there.
    void MouseAt(UINT message, WPARAM keys, int x, int y);
    // Writes 16 x 16 pictures into the test folder and adds them to the album.
    void AddPages(std::initializer_list<const char*> names);
    // The messages recorded so far as "caption: text", forgotten afterwards.
    Texts TakeMessages();

    HWND window_ = nullptr;
    TempDir dir_;
    std::vector<RecordedMessage> messages_;
    int messageAnswer_ = IDOK;
};
