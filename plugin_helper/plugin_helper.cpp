// The plug-in helper: a program without windows that binds the plug-ins of
// its bitness from the folder named on its command line and runs their calls
// for the viewer, which started it and talks to it through the pipe named
// there too. A plug-in that crashes or hangs takes only this process down;
// the viewer notices and starts another.
//   piltrin-plugins32.exe <pipe name> <files left out> <plug-in folder>
// (the files left out as plugin_protocol::EncodeNames writes them).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/plugin_direct.h"
#include "image/plugin_protocol.h"

namespace {

using plugin_protocol::BodyReader;
using plugin_protocol::Message;
using plugin_protocol::Writer;

HANDLE Pipe = INVALID_HANDLE_VALUE;
plugin_protocol::StreamReader Reader;
// Pictures are handed over in memory the viewer made, whose handle it sends
// when asked (kShareRequest). It lives as long as the helper, or until the
// viewer makes a larger one, and stays mapped in both processes, so a large
// picture costs one copy on each side instead of a fresh mapping's page
// faults on both. A request comes only after the viewer has copied the last
// picture out, so one mapping is enough.
struct SharedPictures {
    HANDLE mapping = nullptr;
    uint8_t* view = nullptr;
    uint64_t size = 0;
} Shared;

bool Send(Writer& writer) {
    const std::vector<uint8_t>& bytes = writer.Bytes();
    DWORD written = 0;
    return WriteFile(Pipe, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

bool Receive(Message* message) {
    for (;;) {
        switch (Reader.Next(message)) {
            case plugin_protocol::StreamReader::kGotMessage:
                return true;
            case plugin_protocol::StreamReader::kCorrupt:
                return false;
            case plugin_protocol::StreamReader::kNeedMore:
                break;
        }
        uint8_t buffer[4096];
        DWORD read = 0;
        if (!ReadFile(Pipe, buffer, sizeof buffer, &read, nullptr) || read == 0) return false;
        Reader.Feed(buffer, read);
    }
}

// Asks the viewer for memory of at least bytes; a new handle replaces the
// mapping held so far.
bool EnsureShared(uint64_t bytes) {
    Writer ask(plugin_protocol::kShareRequest);
    ask.U64(bytes);
    Message answer;
    if (!Send(ask) || !Receive(&answer) || answer.type != plugin_protocol::kShareAnswer) return false;
    BodyReader body(answer);
    uint64_t handle = 0, size = 0;
    if (!body.U64(&handle) || !body.U64(&size) || !body.Done() || !handle || size < bytes) return false;
    HANDLE mapping = reinterpret_cast<HANDLE>(uintptr_t(handle));
    if (mapping != Shared.mapping) {
        if (Shared.view) UnmapViewOfFile(Shared.view);
        if (Shared.mapping) CloseHandle(Shared.mapping);
        Shared = SharedPictures{mapping,
                                static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)), 0};
        if (!Shared.view) return false;
    }
    Shared.size = size;
    return Shared.size >= bytes;
}

// When the current request last relayed a progress call; 0 before its first.
DWORD LastRelay = 0;
bool Relayed = false;
int LastAnswer = 0;
// Progress calls closer together than this are answered with the viewer's
// last answer instead of a round trip each: a decoder that reports every
// row of a large picture would otherwise spend more time on the pipe than
// on the picture. Often enough for a stop to take effect at once, and far
// more often than the viewer's hang timeout.
constexpr DWORD kRelayInterval = 50;

// The plug-in's progress calls, relayed to the viewer, whose callback
// answers; a viewer that is gone stops the plug-in. The first and the last
// call of a picture always go through.
int __stdcall RelayProgress(int done, int total, intptr_t) {
    const DWORD now = GetTickCount();
    if (Relayed && done < total && now - LastRelay < kRelayInterval) return LastAnswer;
    Relayed = true;
    LastRelay = now;
    Writer progress(plugin_protocol::kProgress);
    progress.I32(done).I32(total);
    Message answer;
    int32_t stop = 1;
    if (!Send(progress) || !Receive(&answer) || answer.type != plugin_protocol::kProgressAnswer) return 1;
    BodyReader body(answer);
    LastAnswer = body.I32(&stop) && body.Done() ? stop : 1;
    return LastAnswer;
}

// Copies the plug-in's two blocks, as large as they really are, into the
// viewer's memory.
bool Share(HLOCAL header, HLOCAL pixels, Writer* done) {
    const uint64_t headerBytes = LocalSize(header), pixelBytes = LocalSize(pixels);
    LockedBlock<uint8_t> h(header), p(pixels);
    if (!h || !p || !EnsureShared(headerBytes + pixelBytes)) return false;
    std::memcpy(Shared.view, h.get(), size_t(headerBytes));
    CopyPictureBytes(Shared.view + headerBytes, p.get(), size_t(pixelBytes));
    done->I32(direct::kTryPicture).U64(headerBytes).U64(pixelBytes);
    return true;
}

// Tells the viewer how many pixel bytes a large full picture will need, so
// that it makes its block ready while the copy below runs; a header the
// viewer would refuse announces nothing.
bool AnnounceSize(HLOCAL header) {
    BITMAPINFOHEADER info{};
    {
        LockedBlock<uint8_t> h(header);
        if (!h || LocalSize(header) < sizeof info) return true;
        std::memcpy(&info, h.get(), sizeof info);
    }
    const uint64_t bytes = IsUsableDibHeader(info) ? DibPixelBytes(info) : 0;
    if (bytes < plugin_protocol::kAnnouncedPixelBytes) return true;
    Writer size(plugin_protocol::kPictureSize);
    size.U64(bytes);
    return Send(size);
}

bool AnswerPicture(BodyReader& body) {
    uint32_t index = 0, mode = 0;
    std::string path;
    if (!body.U32(&index) || !body.U32(&mode) || !body.Text(&path) || !body.Done()) return false;
    HLOCAL header = nullptr, pixels = nullptr;
    Relayed = false;
    LastAnswer = 0;
    int result =
        direct::TryPluginPicture(int(index), path.c_str(), mode == 1, RelayProgress, 0, &header, &pixels);
    if (result == direct::kTryPicture && mode == 0 && !AnnounceSize(header)) {
        direct::FreePluginBlocks(&header, &pixels);
        return false;
    }
    Writer done(plugin_protocol::kPictureDone);
    if (result != direct::kTryPicture || !Share(header, pixels, &done)) {
        done = Writer(plugin_protocol::kPictureDone);
        done.I32(result == direct::kTryPicture ? int(direct::kTryFailed) : result);
    }
    direct::FreePluginBlocks(&header, &pixels);
    return Send(done);
}

bool AnswerInfo(BodyReader& body) {
    uint32_t index = 0;
    std::string path;
    if (!body.U32(&index) || !body.Text(&path) || !body.Done()) return false;
    PictureInfo info{};
    int filled = direct::TryPluginInfo(int(index), path.c_str(), &info);
    std::string text;
    if (filled && info.textHandle) {
        if (LockedBlock<char> locked(info.textHandle); locked)
            text.assign(locked.get(), strnlen(locked.get(), LocalSize(info.textHandle)));
        LocalFree(info.textHandle);
    }
    Writer done(plugin_protocol::kInfoDone);
    done.I32(filled).I32(info.left).I32(info.top).I32(info.width).I32(info.height);
    done.U32(uint32_t(info.xDensity) | uint32_t(info.yDensity) << 16)
        .U32(uint32_t(uint16_t(info.colorDepth)));
    done.Text(text);
    return Send(done);
}

bool AnswerSupports(BodyReader& body) {
    uint32_t index = 0;
    std::string path;
    if (!body.U32(&index) || !body.Text(&path) || !body.Done()) return false;
    Writer done(plugin_protocol::kAnswer);
    done.I32(direct::TryPluginSupports(int(index), path.c_str()));
    return Send(done);
}

// The viewer hears of each plug-in before the helper binds it or asks it
// for its patterns, so that a crash or hang there is put down to it.
bool Announce(const char* fileName) {
    Writer binding(plugin_protocol::kBinding);
    binding.Text(fileName);
    return Send(binding);
}

std::vector<std::string> LeftOut;

// Binds the file unless the viewer left it out (or is gone).
bool AdmitPlugin(const char* fileName) {
    for (const std::string& name : LeftOut) {
        if (name == fileName) return false;
    }
    return Announce(fileName);
}

bool SendTable() {
    Writer table(plugin_protocol::kTable);
    table.U32(uint32_t(direct::PluginCount()));
    for (int i = 0; i < direct::PluginCount(); ++i) {
        if (!Announce(direct::PluginFileName(i))) return false;
        table.Text(direct::PluginFileName(i)).Text(direct::PluginPatterns(i));
    }
    return Send(table);
}

// The command line's three arguments: the pipe's name and the files left
// out (no spaces in either), then the folder, which is the rest of the line
// whatever it holds.
bool ReadArguments(std::string* pipe, std::string* leftOut, std::string* folder) {
    const char* line = GetCommandLineA();
    if (*line == '"') {
        line = std::strchr(line + 1, '"');
        if (!line) return false;
        ++line;
    } else {
        while (*line && *line != ' ') ++line;
    }
    while (*line == ' ') ++line;
    for (std::string* word : {pipe, leftOut}) {
        const char* space = std::strchr(line, ' ');
        if (!space) return false;
        word->assign(line, space);
        line = space + 1;
    }
    *folder = line;
    return !pipe->empty() && !folder->empty();
}

// A plug-in that crashes ends the helper at once, without the system's
// error box or a debugger: the viewer sees the pipe break.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    std::string pipe, leftOut, folder;
    if (!ReadArguments(&pipe, &leftOut, &folder) || !plugin_protocol::DecodeNames(leftOut, &LeftOut))
        return 2;
    Pipe = CreateFileA(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (Pipe == INVALID_HANDLE_VALUE) return 3;
    direct::SetBindGate(AdmitPlugin);
    direct::LoadPlugins(folder.c_str());
    if (!SendTable()) return 4;
    Message request;
    while (Receive(&request)) {
        BodyReader body(request);
        bool answered = false;
        switch (request.type) {
            case plugin_protocol::kPicture:
                answered = AnswerPicture(body);
                break;
            case plugin_protocol::kInfo:
                answered = AnswerInfo(body);
                break;
            case plugin_protocol::kSupports:
                answered = AnswerSupports(body);
                break;
            default:
                break;
        }
        if (!answered) break;
    }
    direct::UnloadPlugins();
    return 0;
}
