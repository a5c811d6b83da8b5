// The messages between the viewer and a plug-in helper, and the reader that
// cuts them out of the pipe's byte stream. Each message is a type word, a
// length word and that many body bytes, little-endian. Both sides treat the
// other's bytes as untrusted: a helper may be anything a plug-in made of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plugin_protocol {

enum MessageType : uint32_t {
    // helper -> viewer, unasked, once bound: count, then per plug-in its file
    // name and its information number 2 (empty when it has none).
    kTable = 1,
    // viewer -> helper: plug-in index, mode (0 full, 1 preview), path.
    kPicture = 2,
    // helper -> viewer while a plug-in works: done, total; answered by
    // kProgressAnswer with the callback's answer.
    kProgress = 3,
    kProgressAnswer = 4,
    // helper -> viewer: result (direct::TryResult); for a picture also its
    // header bytes and pixel bytes, which lie in the viewer's memory that
    // kShareAnswer handed over.
    kPictureDone = 5,
    // viewer -> helper: plug-in index, path; answered by kInfoDone: filled
    // (0/1), left, top, width, height, densities, depth, text.
    kInfo = 6,
    kInfoDone = 7,
    // viewer -> helper: plug-in index, path; answered by kAnswer.
    kSupports = 8,
    kAnswer = 9,
    kQuit = 10,
    // helper -> viewer, unasked, between a large full picture's decode and
    // its copy into shared memory: the pixel bytes the viewer's copy will
    // need, so that the viewer makes its block ready while the helper copies.
    kPictureSize = 11,
    // helper -> viewer while it starts: the file name of the plug-in it is
    // about to bind or ask for its patterns, so that a crash or a hang
    // there is put down to that plug-in.
    kBinding = 12,
    // helper -> viewer once a picture is decoded: the bytes (header and
    // pixels) it must hand over. The viewer answers kShareAnswer: the handle,
    // valid in the helper, of memory the viewer made and holds mapped, and
    // that memory's size; a null handle when the viewer refuses the size.
    // The viewer reads only memory of its own making, so the worst a helper
    // can do with it is fail the picture.
    kShareRequest = 13,
    kShareAnswer = 14,
};

// Pictures from this many pixel bytes on are announced with kPictureSize:
// below it a fresh block costs too little to be worth making ready.
constexpr uint64_t kAnnouncedPixelBytes = uint64_t(8) << 20;

// No message needs more: pictures travel through shared memory.
constexpr uint32_t kMaxBody = 64 * 1024;
constexpr size_t kFrameHead = 8;
// Longest text field: paths are 260 bytes; the plug-in table's patterns 100.
constexpr uint32_t kMaxText = 4096;

struct Message {
    uint32_t type = 0;
    std::vector<uint8_t> body;
};

// The plug-in file names a helper leaves unbound, as one command-line word:
// "-" for none, else the names joined by line feeds, in hexadecimal (names
// may hold spaces and any byte of the code page).
std::string EncodeNames(const std::vector<std::string>& names);
bool DecodeNames(const std::string& word, std::vector<std::string>* names);

// Builds one message.
class Writer {
public:
    explicit Writer(uint32_t type);
    Writer& U32(uint32_t value);
    Writer& I32(int32_t value) { return U32(uint32_t(value)); }
    Writer& U64(uint64_t value);
    Writer& Text(const std::string& text);
    // The framed bytes, with the length filled in.
    const std::vector<uint8_t>& Bytes();

private:
    std::vector<uint8_t> bytes_;
};

// Reads the fields of one message body; every read past the end, or a text
// longer than kMaxText, fails and keeps failing.
class BodyReader {
public:
    explicit BodyReader(const Message& message) : data_(message.body.data()), size_(message.body.size()) {}
    bool U32(uint32_t* value);
    bool I32(int32_t* value);
    bool U64(uint64_t* value);
    bool Text(std::string* text);
    // True when every read succeeded and the body was used up exactly.
    bool Done() const { return ok_ && at_ == size_; }
    bool Ok() const { return ok_; }

private:
    bool Take(void* out, size_t n);
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

// Cuts messages out of the byte stream as it arrives.
class StreamReader {
public:
    enum Status { kNeedMore, kGotMessage, kCorrupt };
    void Feed(const uint8_t* data, size_t size);
    // The next whole message, when there is one. kCorrupt (for good) when a
    // frame announces more than kMaxBody or an unknown type.
    Status Next(Message* message);

    // Bytes held: what is unread, never much more (tests watch it).
    size_t Held() const { return pending_.size(); }

private:
    std::vector<uint8_t> pending_;
    size_t start_ = 0;
    bool corrupt_ = false;
};

}  // namespace plugin_protocol
