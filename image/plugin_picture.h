// Taking over a picture that a plug-in handed back. Plug-ins are other
// people's code: the header may be longer than 40 bytes (version 4 and 5
// headers), the colour table may stop at biClrUsed entries, and the blocks
// may be smaller than the header claims. Every plug-in picture passes this
// one check on its way in; what comes out is a DibImage with a 40-byte
// header, the depth's full colour table (or the three channel masks), and a
// pixel block that holds every row, so no later reader checks again.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "image/picture_meta.h"

// Copies the picture whose header block holds headerSize bytes and whose
// pixel block holds pixelSize bytes into two new counted blocks (see
// AllocDibBlock). False, with both outs null, when the pair is unusable.
// ready, when given, is a counted block of readyBytes the caller made ready
// ahead: it becomes the pixel block when the picture needs exactly that
// many bytes, and is freed otherwise. meta, when given, receives what the
// header block says of the picture (ReadPluginHeaderMeta) and whether a
// 32-bit picture's alpha means anything.
bool TakeOverPluginPicture(const uint8_t* headerBytes, size_t headerSize, const uint8_t* pixelBytes,
                           size_t pixelSize, HLOCAL* header, HLOCAL* pixels, HLOCAL ready = nullptr,
                           size_t readyBytes = 0, PictureMeta* meta = nullptr);

// Whether a plug-in's header describes a picture of sensible shape that is
// simply too large for any block the pipeline keeps (kMaxDibPixelBytes), so
// the walk can say "too large" rather than "unreadable".
bool PluginPictureTooLarge(const uint8_t* headerBytes, size_t headerSize);
