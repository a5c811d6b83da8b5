#include "image/plugin_frame_core.h"

#include "image/plugin_protocol.h"

namespace plugin_protocol {

namespace {

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// kShareAnswer is the last type of the protocol.
bool KnownType(uint32_t type) {
    return type >= kTable && type <= kShareAnswer;
}

}  // namespace

// The head is judged as soon as it is complete, so that a helper talking
// nonsense is found at once rather than after a body that never comes.
FrameCut CutFrame(const uint8_t* data, size_t available, uint32_t* type, uint32_t* length) {
    if (available < kFrameHead) return FrameCut::kNeedMore;
    *type = GetU32(data);
    *length = GetU32(data + 4);
    if (!KnownType(*type) || *length > kMaxBody) return FrameCut::kCorrupt;
    if (available - kFrameHead < *length) return FrameCut::kNeedMore;
    return FrameCut::kWhole;
}

}  // namespace plugin_protocol
