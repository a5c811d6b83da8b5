// One plug-in helper process as the viewer sees it: started with the
// plug-in folder on its command line, reached through a named pipe that the
// viewer creates. While the viewer waits for the helper it takes the
// messages other programs send and paints, and nothing else: its windows
// keep painting and answering (the system never takes them for hung), while
// the tick and the user's input wait in the queue until the load is over.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "image/plugin_protocol.h"

class HelperLink {
public:
    HelperLink() = default;
    ~HelperLink() { Stop(); }
    HelperLink(const HelperLink&) = delete;
    HelperLink& operator=(const HelperLink&) = delete;

    // Starts the helper at exe for folder and returns at once: the helper
    // binds its plug-ins, all but the files named in leaveOut, while the
    // viewer goes on. False when it cannot be started at all.
    bool Start(const std::string& exe, const std::string& folder, const std::vector<std::string>& leaveOut);
    bool Running() const { return process_ != nullptr; }
    // The helper was started and has ended since.
    bool Ended() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }
    HANDLE Process() const { return process_; }

    enum Result { kGot, kDied, kTimedOut };
    // The next message, waiting at most timeout milliseconds for it. kDied
    // covers an ended helper, a broken pipe and bytes that are no message.
    Result Receive(plugin_protocol::Message* message, DWORD timeout);
    bool Send(plugin_protocol::Writer& writer);

    // Ends the helper at once (it crashed, hung or talks nonsense).
    void Kill();
    // Asks the helper to end, then ends it if it does not.
    void Stop();

private:
    bool WaitFor(HANDLE event, DWORD timeout);
    // Cancels the pipe's pending operation and waits until the system has
    // let go of its record, which lives on the caller's stack.
    void CancelAndWait(OVERLAPPED* overlapped);
    void Close();

    HANDLE process_ = nullptr;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE readEvent_ = nullptr;
    HANDLE writeEvent_ = nullptr;
    bool connected_ = false;
    plugin_protocol::StreamReader reader_;
};
