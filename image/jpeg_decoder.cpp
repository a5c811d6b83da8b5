#include "image/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <io.h>

#include <jerror.h>
#include <jpeglib.h>

#include "image/dib_image.h"
#include "image/exif_reader.h"
#include "image/icc_reader.h"

namespace {

// The progress target of the decode in progress: one per process, set by
// LoadJpeg / LoadJpegScaled before each decode.
ProgressProc progressTarget = nullptr;
intptr_t progressUserData = 0;

// libjpeg keeps its virtual arrays (whole-picture coefficient buffers of
// progressive streams) under this bound; a hostile header asking for more
// ends in a fatal error instead of exhausting the process.
constexpr long kDecoderMemoryLimit = 512L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr library;
    void (*libraryEmit)(j_common_ptr, int);
    jmp_buf returnPoint;
    // Set for single-scan streams once their head is read: there the end of
    // the file alone (a missing end marker) costs no pixel.
    bool endMayBeMissing;
};

// libjpeg's fatal-error hook: the library prints its message through its
// own output routine, then control returns to the read or decode call in
// progress, which releases the decoder and the file.
void JpegErrorExit(j_common_ptr decoder) {
    auto* errors = reinterpret_cast<ErrorManager*>(decoder->err);
    (*decoder->err->output_message)(decoder);
    longjmp(errors->returnPoint, 1);
}

// A stream whose coded data ends early (a marker or the end of the file
// where pixels should be) is a damaged picture: without this the library
// would invent flat rows for the rest, and a tiny file claiming a huge size
// would keep the decoder busy for as long as that size takes. The end of the
// file itself is damage only where later scans may be missing: a single-scan
// stream that merely lacks its end marker (cut downloads, some cameras) still
// decodes every row, and a row that misses data raises the marker warning.
void JpegEmitMessage(j_common_ptr decoder, int level) {
    auto* errors = reinterpret_cast<ErrorManager*>(decoder->err);
    const int code = decoder->err->msg_code;
    if (level < 0 && code == JWRN_JPEG_EOF && errors->endMayBeMissing) return;
    if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) JpegErrorExit(decoder);
    errors->libraryEmit(decoder, level);
}

void SetUpErrors(jpeg_decompress_struct& decoder, ErrorManager& errors) {
    decoder.err = jpeg_std_error(&errors.library);
    errors.library.error_exit = JpegErrorExit;
    errors.libraryEmit = errors.library.emit_message;
    errors.library.emit_message = JpegEmitMessage;
    errors.endMayBeMissing = false;
}

int64_t StreamBytes(FILE* file) {
    return _filelengthi64(_fileno(file)) - _ftelli64(file);
}

FILE* OpenStream(const char* path, uint32_t offset, bool* seekFailed) {
    *seekFailed = false;
    FILE* file = std::fopen(path, "rb");
    if (file && _fseeki64(file, int64_t(offset), SEEK_SET) != 0) {
        std::fclose(file);
        *seekFailed = true;
        return nullptr;
    }
    return file;
}

bool IsGreyOrColour(const jpeg_decompress_struct& decoder) {
    return decoder.out_color_space == JCS_GRAYSCALE || decoder.out_color_space == JCS_RGB;
}

// Huffman coding spends at least one bit on every 8 x 8 block of a scan;
// allowing eight times less (arithmetic coding of flat areas) still bounds
// what a stream can claim. A few hostile bytes claiming millions of blocks
// would otherwise make the library clear whole-picture coefficient buffers
// before it finds out that the data is missing.
constexpr int64_t kMaxBlocksPerStreamByte = 64;

bool StreamCanHold(const jpeg_decompress_struct& decoder, int64_t streamBytes) {
    const int64_t blocks = (int64_t(decoder.image_width) + 7) / 8 * ((int64_t(decoder.image_height) + 7) / 8);
    return blocks <= kMaxBlocksPerStreamByte * streamBytes;
}

// The orientation and the profile from the APP1 and APP2 segments libjpeg
// kept while it read the head, so the file is read only once.
void CollectMeta(const jpeg_decompress_struct& decoder, PictureMeta* meta) {
    std::vector<ByteSpan> app2;
    for (jpeg_saved_marker_ptr marker = decoder.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && meta->exifOrientation == 0)
            meta->exifOrientation = ExifOrientationFromApp1(marker->data, marker->data_length);
        if (marker->marker == JPEG_APP0 + 2) app2.push_back(ByteSpan{marker->data, marker->data_length});
    }
    meta->iccProfile = JoinIccChunks(app2);
}

// Everything between setjmp and a possible longjmp lives in plain C
// records: no destructor may be skipped by the jump (meta is the caller's
// and is filled only after the head was read).
int Decode(FILE* file, int denominator, BYTE* destination, size_t destinationBytes, bool report = true,
           PictureMeta* meta = nullptr, const std::atomic<bool>* abandon = nullptr) {
    jpeg_decompress_struct decoder;
    ErrorManager errors;
    volatile int stopAnswer = 0;
    SetUpErrors(decoder, errors);
    if (setjmp(errors.returnPoint)) {
        jpeg_destroy_decompress(&decoder);
        return stopAnswer > 0 ? kJpegStopped : kJpegFailed;
    }
    const int64_t streamBytes = StreamBytes(file);
    jpeg_create_decompress(&decoder);
    decoder.mem->max_memory_to_use = kDecoderMemoryLimit;
    jpeg_stdio_src(&decoder, file);
    if (meta) {
        jpeg_save_markers(&decoder, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&decoder, JPEG_APP0 + 2, 0xFFFF);
    }
    jpeg_read_header(&decoder, TRUE);
    if (!IsGreyOrColour(decoder) || !StreamCanHold(decoder, streamBytes)) {
        jpeg_destroy_decompress(&decoder);
        return kJpegFailed;
    }
    errors.endMayBeMissing = !jpeg_has_multiple_scans(&decoder);
    if (meta) CollectMeta(decoder, meta);
    // Colour rows arrive in blue-green-red order, as the picture stores them.
    if (decoder.out_color_space == JCS_RGB) decoder.out_color_space = JCS_EXT_BGR;
    decoder.scale_num = 1;
    decoder.scale_denom = denominator;
    jpeg_calc_output_dimensions(&decoder);
    const size_t rowBytes = size_t(decoder.output_width) * size_t(decoder.output_components);
    const size_t stride = (rowBytes + 3) / 4 * 4;
    const size_t height = decoder.output_height;
    // The file may have changed since its size was read: never write past
    // the block that was sized for it.
    if (height != 0 && stride > destinationBytes / height) {
        jpeg_destroy_decompress(&decoder);
        return kJpegFailed;
    }
    jpeg_start_decompress(&decoder);
    const int total = int(height);
    const int quantum = total / 20;
    // Rows go straight into the picture: no row buffer, no copy.
    for (int row = 0; row < total; ++row) {
        JSAMPROW target = destination + size_t(row) * stride;
        if (jpeg_read_scanlines(&decoder, &target, 1) != 1) {
            // Only a suspending source answers 0; stdio never suspends.
            jpeg_destroy_decompress(&decoder);
            return kJpegFailed;
        }
        // A worker's decode that no longer matters ends at once.
        if (abandon && quantum != 0 && row % quantum == 0 && abandon->load(std::memory_order_relaxed)) {
            jpeg_destroy_decompress(&decoder);
            return kJpegStopped;
        }
        if (report && quantum != 0 && row % quantum == 0) {
            if (const int answer = JpegProgressHook(row, total)) {
                stopAnswer = answer;
                // Abandoning the decode releases everything the library holds.
                jpeg_destroy_decompress(&decoder);
                return answer > 0 ? kJpegStopped : kJpegFailed;
            }
        }
    }
    if (report) JpegProgressHook(total, total);
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    return kJpegDone;
}

// The stream's head into info; plausible (when asked) tells whether the coded
// data that follows could hold the size the head claims.
int ReadHead(FILE* file, int denominator, PictureInfo* info, bool* plausible) {
    jpeg_decompress_struct decoder;
    ErrorManager errors;
    SetUpErrors(decoder, errors);
    if (setjmp(errors.returnPoint)) {
        jpeg_destroy_decompress(&decoder);
        return 0;
    }
    const int64_t streamBytes = StreamBytes(file);
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    if (plausible) *plausible = StreamCanHold(decoder, streamBytes);
    decoder.scale_num = 1;
    decoder.scale_denom = denominator;
    jpeg_calc_output_dimensions(&decoder);
    info->left = 0;
    info->top = 0;
    info->width = long(decoder.output_width);
    info->height = long(decoder.output_height);
    info->colorDepth = short(8 * decoder.output_components);
    info->xDensity = 0;
    info->yDensity = 0;
    const int accepted = IsGreyOrColour(decoder) ? 1 : 0;
    jpeg_destroy_decompress(&decoder);
    return accepted;
}

bool FileOpens(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// Registers the caller's callback for the length of one load; cleared
// afterwards, so that a later decode never calls back into user data that
// no longer exists.
class ProgressTargetScope {
public:
    ProgressTargetScope(ProgressProc progress, intptr_t userData) {
        progressTarget = progress;
        progressUserData = userData;
    }
    ~ProgressTargetScope() {
        progressTarget = nullptr;
        progressUserData = 0;
    }
    ProgressTargetScope(const ProgressTargetScope&) = delete;
    ProgressTargetScope& operator=(const ProgressTargetScope&) = delete;
};

int Fail(int code) {
    LastLoadError = code;
    return 0;
}

// Steps shared by the full and the reduced load: blocks sized from the
// stream's head, the decode, the header and grey table.
int DecodeIntoNewDib(const char* path, int denominator, uint32_t offset, const PictureInfo& info,
                     bool plausible, HLOCAL* headerOut, HLOCAL* pixelsOut, PictureMeta* meta,
                     bool report = true, const std::atomic<bool>* abandon = nullptr) {
    // Unreported, a failure leaves LastLoadError alone: a worker's load.
    auto Fail = [report](int code) { return report ? ::Fail(code) : 0; };
    const int bits = info.colorDepth == 8 ? 8 : 24;
    BITMAPINFOHEADER fields{};
    fields.biSize = sizeof fields;
    fields.biWidth = info.width;
    fields.biHeight = -info.height;
    fields.biPlanes = 1;
    fields.biBitCount = WORD(bits);
    // Checked before anything is allocated: a 65500 x 65500 colour head
    // asks for 12 GB.
    const uint64_t pixelBytes = DibPixelBytes(fields);
    if (info.width <= 0 || info.height <= 0 || pixelBytes > kMaxDibPixelBytes) return Fail(kLoadOutOfMemory);
    // A few hundred bytes claiming 12000 x 12000 are damaged: refused before
    // 432 MB are taken for them.
    if (!plausible) return Fail(kLoadFailed);

    DibBlock headerBlock(AllocDibBlock(DibHeaderBytes(fields)));
    DibBlock pixelBlock(AllocDibBlock(size_t(pixelBytes)));
    if (!headerBlock.Get() || !pixelBlock.Get()) return Fail(kLoadOutOfMemory);
    auto* pixels = static_cast<BYTE*>(LocalLock(pixelBlock.Get()));
    if (!pixels) return Fail(kLoadOutOfMemory);
    bool seekFailed;
    FILE* file = OpenStream(path, offset, &seekFailed);
    int result = file ? Decode(file, denominator, pixels, size_t(pixelBytes), report, meta, abandon)
                      : (seekFailed ? kJpegFailed : kJpegCannotOpen);
    if (file) std::fclose(file);
    LocalUnlock(pixelBlock.Get());
    if (result != kJpegDone) return Fail(result == kJpegStopped ? kLoadStopped : kLoadFailed);

    auto* header = static_cast<BYTE*>(LocalLock(headerBlock.Get()));
    if (!header) return Fail(kLoadOutOfMemory);
    std::memcpy(header, &fields, sizeof fields);
    if (bits == 8) {
        auto* table = reinterpret_cast<RGBQUAD*>(header + sizeof fields);
        for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    }
    LocalUnlock(headerBlock.Get());
    *headerOut = headerBlock.Release();
    *pixelsOut = pixelBlock.Release();
    return 1;
}

int ReadInfo(const char* path, int denominator, PictureInfo* info, uint32_t offset, bool* plausible) {
    bool seekFailed;
    FILE* file = OpenStream(path, offset, &seekFailed);
    if (!file) {
        if (!seekFailed) std::fprintf(stderr, "can't open %s\n", path);
        return 0;
    }
    const int accepted = ReadHead(file, denominator, info, plausible);
    std::fclose(file);
    return accepted;
}

}  // namespace

int JpegProgressHook(int rowsDone, int totalRows) {
    return progressTarget ? progressTarget(rowsDone, totalRows, progressUserData) : 0;
}

int ReadJpegInfo(const char* path, int denominator, PictureInfo* info, uint32_t offset) {
    return ReadInfo(path, denominator, info, offset, nullptr);
}

int DecodeJpeg(const char* path, int denominator, BYTE* destination, size_t destinationBytes,
               uint32_t offset) {
    bool seekFailed;
    FILE* file = OpenStream(path, offset, &seekFailed);
    if (!file) return seekFailed ? kJpegFailed : kJpegCannotOpen;
    const int result = Decode(file, denominator, destination, destinationBytes);
    std::fclose(file);
    return result;
}

int DecodeJpegUnreported(const char* path, int denominator, BYTE* destination, size_t destinationBytes,
                         uint32_t offset, PictureMeta* meta) {
    bool seekFailed;
    FILE* file = OpenStream(path, offset, &seekFailed);
    if (!file) return seekFailed ? kJpegFailed : kJpegCannotOpen;
    const int result = Decode(file, denominator, destination, destinationBytes, false, meta);
    std::fclose(file);
    return result;
}

int JpegScaleFor(int width, int height, int targetSize) {
    if (targetSize < 1) targetSize = 1;
    const int longer = width > height ? width : height;
    const int q = longer > 0 ? (longer - 1) / targetSize : 0;
    if (q >= 4) return 8;
    if (q >= 2) return 4;
    if (q == 1) return 2;
    return 1;
}

int LoadJpeg(const char* path, ProgressProc progress, intptr_t userData, int denominator, uint32_t offset,
             HLOCAL* header, HLOCAL* pixels, PictureMeta* meta) {
    const ProgressTargetScope target(progress, userData);
    if (!FileOpens(path)) return Fail(kLoadCannotOpen);
    PictureInfo info{};
    bool plausible = false;
    if (!ReadInfo(path, denominator, &info, offset, &plausible)) return Fail(kLoadNotThisFormat);
    return DecodeIntoNewDib(path, denominator, offset, info, plausible, header, pixels, meta);
}

int LoadJpegScaled(const char* path, ProgressProc progress, intptr_t userData, uint32_t offset,
                   int targetSize, HLOCAL* header, HLOCAL* pixels, PictureMeta* meta) {
    const ProgressTargetScope target(progress, userData);
    if (!FileOpens(path)) return Fail(kLoadCannotOpen);
    PictureInfo info{};
    if (!ReadJpegInfo(path, 1, &info, offset)) return Fail(kLoadNotThisFormat);
    const int denominator = JpegScaleFor(info.width, info.height, targetSize);
    bool plausible = false;
    if (!ReadInfo(path, denominator, &info, offset, &plausible)) return Fail(kLoadNotThisFormat);
    return DecodeIntoNewDib(path, denominator, offset, info, plausible, header, pixels, meta);
}

namespace {
// The pmp head's offset: kLoadOk, or why not.
int PmpOffsetOf(const char* path, uint32_t* offset) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kLoadCannotOpen;
    BYTE head[21];
    DWORD got = 0;
    const BOOL read = ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    if (!read || got != sizeof head || head[0] != 0x10) return kLoadNotThisFormat;
    *offset =
        uint32_t(head[8]) << 24 | uint32_t(head[9]) << 16 | uint32_t(head[10]) << 8 | uint32_t(head[11]);
    return kLoadOk;
}
}  // namespace

int ReadPmpOffset(const char* path, uint32_t* offset) {
    const int result = PmpOffsetOf(path, offset);
    return result == kLoadOk ? 1 : Fail(result);
}

int LoadJpegUnreported(const char* path, bool pmp, uint64_t maxBytes, HLOCAL* header, HLOCAL* pixels,
                       PictureMeta* meta, const std::atomic<bool>* abandon) {
    uint32_t offset = 0;
    if (pmp && PmpOffsetOf(path, &offset) != kLoadOk) return 0;
    PictureInfo info{};
    bool plausible = false;
    if (!ReadInfo(path, 1, &info, offset, &plausible)) return 0;
    // Stride and table as DecodeIntoNewDib makes them, with room for the
    // blocks' rounding.
    const int bits = info.colorDepth == 8 ? 8 : 24;
    const uint64_t bytes = DibStride(bits, info.width) * uint64_t(info.height > 0 ? info.height : 0) + 40 +
                           (bits == 8 ? 1024 : 0) + 64;
    if (bytes > maxBytes) return 0;
    return DecodeIntoNewDib(path, 1, offset, info, plausible, header, pixels, meta, false, abandon);
}

int LoadPmp(const char* path, ProgressProc progress, intptr_t userData, HLOCAL* header, HLOCAL* pixels,
            PictureMeta* meta) {
    uint32_t offset;
    if (!ReadPmpOffset(path, &offset)) return 0;
    return LoadJpeg(path, progress, userData, 1, offset, header, pixels, meta);
}

int LoadPmpScaled(const char* path, ProgressProc progress, intptr_t userData, int targetSize, HLOCAL* header,
                  HLOCAL* pixels, PictureMeta* meta) {
    uint32_t offset;
    if (!ReadPmpOffset(path, &offset)) return 0;
    return LoadJpegScaled(path, progress, userData, offset, targetSize, header, pixels, meta);
}
