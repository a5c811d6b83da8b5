#include "image/plugin_helper_link.h"

#include <cstdio>

#include "image/plugin_host.h"

namespace {

// Each helper gets a pipe of its own, named after the viewer and a count.
std::string NewPipeName() {
    static LONG serial = 0;
    char name[96];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\piltrin-plugins-%lu-%ld", GetCurrentProcessId(),
                  InterlockedIncrement(&serial));
    return name;
}

thread_local int Waiting = 0;  // waits under way on this thread

// Paints the thread's windows while a plug-in works and, since any look at
// the queue does so, delivers the messages other threads and programs send
// (they wait for an answer); every posted message and all input wait in
// the queue until the load is over.
void DispatchPaintOnly() {
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
}

}  // namespace

bool PluginCallWaiting() {
    return Waiting > 0;
}

bool HelperLink::Start(const std::string& exe, const std::string& folder,
                       const std::vector<std::string>& leaveOut) {
    Stop();
    reader_ = plugin_protocol::StreamReader();
    std::string name = NewPipeName();
    pipe_ = CreateNamedPipeA(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 64 * 1024, 64 * 1024, 0, nullptr);
    readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (pipe_ == INVALID_HANDLE_VALUE || !readEvent_ || !writeEvent_) {
        Close();
        return false;
    }
    std::string commandLine =
        "\"" + exe + "\" " + name + " " + plugin_protocol::EncodeNames(leaveOut) + " " + folder;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // No standard handles: the helper writes nothing, and a copy of the
    // viewer's output (a file or pipe it is tracing to) would stay open for
    // as long as the helper lives.
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION info{};
    // The helper shows nothing; a plug-in's crash must not show the
    // system's error box either.
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        Close();
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
}

bool HelperLink::WaitFor(HANDLE event, DWORD timeout) {
    const DWORD start = GetTickCount();
    HANDLE handles[2] = {event, process_};
    struct Mark {
        Mark() { ++Waiting; }
        ~Mark() { --Waiting; }
    } mark;
    DispatchPaintOnly();  // what was sent before the wait began
    for (;;) {
        DWORD spent = GetTickCount() - start;
        if (spent >= timeout) return false;
        DWORD woke = MsgWaitForMultipleObjects(2, handles, FALSE, timeout - spent, QS_PAINT | QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke == WAIT_OBJECT_0 + 2) {
            DispatchPaintOnly();
            continue;
        }
        // The helper ended: whatever it wrote before is still in the pipe.
        if (woke == WAIT_OBJECT_0 + 1) return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        return false;
    }
}

HelperLink::Result HelperLink::Receive(plugin_protocol::Message* message, DWORD timeout) {
    if (!process_) return kDied;
    const DWORD start = GetTickCount();
    auto left = [&] {
        DWORD spent = GetTickCount() - start;
        return spent >= timeout ? 0 : timeout - spent;
    };
    if (!connected_) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = readEvent_;
        ResetEvent(readEvent_);
        if (ConnectNamedPipe(pipe_, &overlapped) || GetLastError() == ERROR_PIPE_CONNECTED) {
            connected_ = true;
        } else if (GetLastError() == ERROR_IO_PENDING) {
            DWORD unused;
            if (!WaitFor(readEvent_, left())) {
                CancelAndWait(&overlapped);
                return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0 ? kDied : kTimedOut;
            }
            connected_ = GetOverlappedResult(pipe_, &overlapped, &unused, FALSE) != 0;
        }
        if (!connected_) return kDied;
    }
    for (;;) {
        switch (reader_.Next(message)) {
            case plugin_protocol::StreamReader::kGotMessage:
                return kGot;
            case plugin_protocol::StreamReader::kCorrupt:
                return kDied;
            case plugin_protocol::StreamReader::kNeedMore:
                break;
        }
        uint8_t buffer[16 * 1024];
        OVERLAPPED overlapped{};
        overlapped.hEvent = readEvent_;
        ResetEvent(readEvent_);
        DWORD read = 0;
        if (!ReadFile(pipe_, buffer, sizeof buffer, &read, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) return kDied;
            if (!WaitFor(readEvent_, left())) {
                CancelAndWait(&overlapped);
                return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0 ? kDied : kTimedOut;
            }
            if (!GetOverlappedResult(pipe_, &overlapped, &read, FALSE)) return kDied;
        }
        if (read == 0) return kDied;
        reader_.Feed(buffer, read);
    }
}

bool HelperLink::Send(plugin_protocol::Writer& writer) {
    if (!process_ || !connected_) return false;
    const std::vector<uint8_t>& bytes = writer.Bytes();
    OVERLAPPED overlapped{};
    overlapped.hEvent = writeEvent_;
    ResetEvent(writeEvent_);
    DWORD written = 0;
    if (!WriteFile(pipe_, bytes.data(), DWORD(bytes.size()), &written, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        // Requests are small and the pipe's buffer holds them; a helper
        // that does not take them within a few seconds is gone.
        if (WaitForSingleObject(writeEvent_, 5000) != WAIT_OBJECT_0) {
            CancelAndWait(&overlapped);
            return false;
        }
        if (!GetOverlappedResult(pipe_, &overlapped, &written, FALSE)) return false;
    }
    return written == bytes.size();
}

void HelperLink::CancelAndWait(OVERLAPPED* overlapped) {
    CancelIo(pipe_);
    DWORD unused = 0;
    GetOverlappedResult(pipe_, overlapped, &unused, TRUE);
}

void HelperLink::Kill() {
    if (process_) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 2000);
    }
    Close();
}

void HelperLink::Stop() {
    if (process_ && connected_) {
        plugin_protocol::Writer quit(plugin_protocol::kQuit);
        if (Send(quit) && WaitForSingleObject(process_, 1000) == WAIT_OBJECT_0) {
            Close();
            return;
        }
    }
    Kill();
}

void HelperLink::Close() {
    if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    if (readEvent_) CloseHandle(readEvent_);
    if (writeEvent_) CloseHandle(writeEvent_);
    if (process_) CloseHandle(process_);
    pipe_ = INVALID_HANDLE_VALUE;
    readEvent_ = writeEvent_ = process_ = nullptr;
    connected_ = false;
}
