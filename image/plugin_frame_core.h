// Cutting one message frame (type word, length word, body) off the front of
// the bytes the pipe has delivered so far. StreamReader keeps the bytes; this
// decides what they hold.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plugin_protocol {

enum class FrameCut {
    kNeedMore,  // the frame is not complete yet
    kWhole,     // a whole frame: type and length filled in
    kCorrupt,   // an unknown type or a body longer than kMaxBody
};

FrameCut CutFrame(const uint8_t* data, size_t available, uint32_t* type, uint32_t* length);

}  // namespace plugin_protocol
