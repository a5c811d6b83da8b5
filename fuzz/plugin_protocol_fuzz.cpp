// The helper protocol as the viewer and the helper read it: the input is
// the pipe's byte stream, fed to a StreamReader in pieces whose size the
// input's first byte chooses, and every message cut out of it is read with
// the body shape its type has.
#include "fuzz/fuzz_support.h"
#include "image/plugin_protocol.h"

using namespace plugin_protocol;

namespace {
// Each type's body: u 32 bits, i signed 32 bits, w 64 bits, t a text; a
// table (count, then name and patterns) repeats its last two fields.
constexpr const char* kShapes[] = {"",   "utt", "uut", "ii", "i", "iww", "ut", "iiiiiuut",
                                   "ut", "i",   "",    "w",  "t", "w",   "ww"};
static_assert(sizeof kShapes / sizeof *kShapes == kShareAnswer + 1, "a shape for every type");

void ReadBody(const Message& message) {
    BodyReader body(message);
    const char* shape = kShapes[message.type];
    uint32_t word = 0, count = 1;
    int32_t number = 0;
    uint64_t wide = 0;
    std::string text;
    if (message.type == kTable && (!body.U32(&count) || count > 4096)) return;
    for (uint32_t i = 0; i < count; ++i)
        for (const char* field = message.type == kTable ? "tt" : shape; *field && body.Ok(); ++field) {
            if (*field == 'u') body.U32(&word);
            if (*field == 'i') body.I32(&number);
            if (*field == 'w') body.U64(&wide);
            if (*field == 't') body.Text(&text);
            FUZZ_ASSERT(text.size() <= kMaxText);
        }
    body.Done();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = data[0] % 32 + 1;
    StreamReader reader;
    Message message;
    for (size_t at = 1; at < size; at += piece) {
        reader.Feed(data + at, std::min(piece, size - at));
        StreamReader::Status status;
        while ((status = reader.Next(&message)) == StreamReader::kGotMessage) {
            FUZZ_ASSERT(message.type >= kTable && message.type <= kShareAnswer &&
                        message.body.size() <= kMaxBody);
            ReadBody(message);
        }
        if (status == StreamReader::kCorrupt) return 0;
    }
    return 0;
}

std::vector<Bytes> FuzzSeeds() {
    std::vector<Bytes> seeds = {{7}, {3}, {31}};
    auto add = [&](size_t seed, const std::vector<uint8_t>& message) {
        seeds[seed].insert(seeds[seed].end(), message.begin(), message.end());
    };
    add(0, Writer(kTable).U32(2).Text("a.spi").Text("*.png").Text("b.spi").Text("").Bytes());
    add(0, Writer(kPicture).U32(0).U32(1).Text("C:\\pictures\\a.png").Bytes());
    add(1, Writer(kProgress).I32(5).I32(100).Bytes());
    add(1, Writer(kProgressAnswer).I32(0).Bytes());
    add(1, Writer(kPictureSize).U64(uint64_t(9) << 20).Bytes());
    add(1, Writer(kShareRequest).U64(52).Bytes());
    add(1, Writer(kShareAnswer).U64(0x1234).U64(4096).Bytes());
    add(1, Writer(kPictureDone).I32(1).U64(40).U64(12).Bytes());
    add(0, Writer(kBinding).Text("a.spi").Bytes());
    add(2, Writer(kInfo).U32(1).Text("a.png").Bytes());
    add(2, Writer(kInfoDone).I32(1).I32(0).I32(0).I32(3).I32(2).U32(0x00480048).U32(24).Text("x").Bytes());
    add(2, Writer(kSupports).U32(0).Text("x.gif").Bytes());
    add(2, Writer(kAnswer).I32(1).Bytes());
    add(2, Writer(kQuit).Bytes());
    return seeds;
}
