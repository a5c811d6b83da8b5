// A plug-in helper gone wrong: it binds one plug-in, "fake", and answers
// every picture request with a picture in a section of its own making,
// reserved and never committed, named the way an older viewer opened them.
// Whatever a helper answers, the viewer must at worst fail the picture.
//   fakehelper.exe <pipe name> <anything>
#include <windows.h>

#include <cstring>
#include <string>

#include "image/plugin_protocol.h"

using namespace plugin_protocol;

namespace {

HANDLE Pipe = INVALID_HANDLE_VALUE;

bool Send(Writer& writer) {
    const std::vector<uint8_t>& bytes = writer.Bytes();
    DWORD written = 0;
    return WriteFile(Pipe, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string line = GetCommandLineA();
    const size_t start = line.find(' ', line.find('"', 1)) + 1;
    const std::string pipe = line.substr(start, line.find(' ', start) - start);
    Pipe = CreateFileA(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (Pipe == INVALID_HANDLE_VALUE) return 3;
    Writer table(kTable);
    table.U32(1).Text("fake.spi").Text("*.tpc");
    if (!Send(table)) return 4;
    const char kName[] = "piltrin-fake-helper-reserved";
    HANDLE reserved =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0, 16 << 20, kName);
    StreamReader reader;
    Message request;
    for (;;) {
        while (reader.Next(&request) == StreamReader::kGotMessage) {
            Writer done(kPictureDone);
            done.I32(0).Text(kName).U64(sizeof(BITMAPINFOHEADER)).U64(1 << 20);
            if (request.type != kPicture || !Send(done)) return 0;
        }
        uint8_t buffer[4096];
        DWORD read = 0;
        if (!ReadFile(Pipe, buffer, sizeof buffer, &read, nullptr) || read == 0) break;
        reader.Feed(buffer, read);
    }
    CloseHandle(reserved);
    return 0;
}
