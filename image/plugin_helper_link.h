// One plug-in helper process as the viewer sees it: started with the
// plug-in folder on its command line, reached through a named pipe that the
// viewer creates. While the viewer waits for the helper it dispatches paint
// messages only, so its windows keep painting while neither a command nor
// the tick can re-enter the load that waits.
#pragma once

#include <windows.h>

#include <string>

#include "image/plugin_protocol.h"

class HelperLink {
public:
    HelperLink() = default;
    ~HelperLink() { Stop(); }
    HelperLink(const HelperLink&) = delete;
    HelperLink& operator=(const HelperLink&) = delete;

    // Starts the helper at exe for folder and returns at once: the helper
    // binds its plug-ins while the viewer goes on. False when it cannot be
    // started at all.
    bool Start(const std::string& exe, const std::string& folder);
    bool Running() const { return process_ != nullptr; }

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
    void Close();

    HANDLE process_ = nullptr;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE readEvent_ = nullptr;
    HANDLE writeEvent_ = nullptr;
    bool connected_ = false;
    plugin_protocol::StreamReader reader_;
};
