// Decoding and resampling cost, as ratios to references measured in the
// same run on the same file:
//   full decode through LoadPicture   vs a bare libjpeg decode loop (goal <= 1.05)
//   LoadJpegScaled at T = 180         vs the full decode
//   StretchDib of that result to 90   vs the full decode
//   RotateRight90 of the full picture vs one copy of its pixel block
//   LoadDisplayPicture, every display option on, vs LoadPicture (goal <= 1.02)
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "image/jpeg_decoder.h"
#include "image/picture_loader.h"
#include "image/picture_pipeline.h"
#include "image/transforms.h"
#include "tests/support/test_files.h"

namespace {

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

// Best of several runs: the least disturbed by the rest of the machine.
double Best(int runs, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double start = Seconds();
        work();
        best = std::fmin(best, Seconds() - start);
    }
    return best;
}

// The library's own example loop, rows read one at a time: into one row
// buffer, or into a freshly allocated buffer holding the
// whole picture, as a decoder that keeps the picture must.
void BareDecode(const char* path, bool keepPicture) {
    FILE* file = std::fopen(path, "rb");
    jpeg_decompress_struct decoder;
    jpeg_error_mgr errors;
    decoder.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    decoder.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&decoder);
    const size_t rowBytes = size_t(decoder.output_width) * decoder.output_components;
    JSAMPARRAY row = (*decoder.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&decoder), JPOOL_IMAGE,
                                                  JDIMENSION(rowBytes), 1);
    // Not value-initialised: the pages are first touched by the decode.
    std::unique_ptr<JSAMPLE[]> picture(keepPicture ? new JSAMPLE[rowBytes * decoder.output_height] : nullptr);
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW target = picture ? picture.get() + rowBytes * decoder.output_scanline : row[0];
        jpeg_read_scanlines(&decoder, &target, 1);
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    std::fclose(file);
}

// Writes a camera-like colour JPEG (4:2:0, quality 90) with the same library.
bool WritePhotoJpeg(const std::string& path, int width, int height, Rgb (*pattern)(int, int)) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct encoder;
    jpeg_error_mgr errors;
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    jpeg_stdio_dest(&encoder, file);
    encoder.image_width = width;
    encoder.image_height = height;
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, 90, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    while (encoder.next_scanline < encoder.image_height) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = pattern(x, int(encoder.next_scanline));
            row[3 * x] = c.r;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.b;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    return std::fclose(file) == 0;
}

Rgb Photo(int x, int y) {
    // Smooth shading with texture, roughly what a camera picture costs.
    const double shade = 128 + 100 * std::sin(x * 0.003) * std::cos(y * 0.004);
    const int texture = ((x * 7919) ^ (y * 104729)) & 31;
    return Rgb{uint8_t(shade + texture - 16), uint8_t(255 - shade + texture / 2),
               uint8_t((x / 8 + y / 8) & 0xFF)};
}

}  // namespace

int main() {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "piltrin-bench-24mp.jpg";
    if (!WritePhotoJpeg(path, 6000, 4000, Photo)) {
        std::printf("cannot write %s\n", path.c_str());
        return 1;
    }
    const int runs = 7;
    BareDecode(path.c_str(), false);  // warm the file cache

    // The references and the measured calls take turns, so that whatever
    // else the machine does falls on both alike.
    double bareRow = 1e30, bareWhole = 1e30, full = 1e30, scaled = 1e30, display = 1e30;
    for (int i = 0; i < runs; ++i) {
        bareRow = std::fmin(bareRow, Best(1, [&] { BareDecode(path.c_str(), false); }));
        bareWhole = std::fmin(bareWhole, Best(1, [&] { BareDecode(path.c_str(), true); }));
        full = std::fmin(full, Best(1, [&] {
                             HLOCAL h, p;
                             if (LoadPicture(path.c_str(), nullptr, 0, &h, &p)) LockedDib(h, p).Reset();
                         }));
        display = std::fmin(display, Best(1, [&] {
                                HLOCAL h, p;
                                if (LoadDisplayPicture(path.c_str(), nullptr, 0, &h, &p))
                                    LockedDib(h, p).Reset();
                            }));
        scaled = std::fmin(scaled, Best(1, [&] {
                               HLOCAL h, p;
                               if (LoadJpegScaled(path.c_str(), nullptr, 0, 0, 180, &h, &p))
                                   LockedDib(h, p).Reset();
                           }));
    }

    HLOCAL h, p;
    LoadJpegScaled(path.c_str(), nullptr, 0, 0, 180, &h, &p);
    LockedDib small(h, p);
    const int sw = small.header->biWidth, sh = DibRows(*small.header);
    const int tw = sw >= sh ? 90 : 90 * sw / sh, th = sw >= sh ? 90 * sh / sw : 90;
    const double stretch = Best(runs, [&] {
        LockedDib copy;
        CopyDib(copy.header, copy.pixels, small.header, small.pixels);
        StretchDib(nullptr, copy.header, copy.pixels, tw, th);
    });
    const double copySmall = Best(runs, [&] {
        LockedDib copy;
        CopyDib(copy.header, copy.pixels, small.header, small.pixels);
    });

    LoadPicture(path.c_str(), nullptr, 0, &h, &p);
    LockedDib big(h, p);
    const double copyBig = Best(3, [&] {
        LockedDib copy;
        CopyDib(copy.header, copy.pixels, big.header, big.pixels);
    });
    const double rotate = Best(3, [&] { RotateRight90(big.header, big.pixels); });

    std::printf("24-megapixel JPEG (6000 x 4000, 4:2:0, quality 90), best of %d runs\n", runs);
    std::printf("bare libjpeg loop, one row buffer        %7.1f ms\n", bareRow * 1000);
    std::printf("bare libjpeg loop into a fresh picture   %7.1f ms\n", bareWhole * 1000);
    std::printf(
        "LoadPicture (full decode)                %7.1f ms  ratio %.3f to the fresh-picture loop, %.3f to "
        "the one-row loop (goal <= 1.05)\n",
        full * 1000, full / bareWhole, full / bareRow);
    std::printf(
        "LoadDisplayPicture, every option on      %7.1f ms  ratio %.3f to LoadPicture (goal <= 1.02)\n",
        display * 1000, display / full);
    std::printf("LoadJpegScaled T=180 (%d x %d)        %7.1f ms  ratio %.3f to the full decode\n", sw, sh,
                scaled * 1000, scaled / full);
    std::printf("StretchDib %d x %d to %d x %d          %7.2f ms  ratio %.4f to the full decode\n", sw, sh,
                tw, th, (stretch - copySmall) * 1000, (stretch - copySmall) / full);
    std::printf("RotateRight90 of the full picture        %7.1f ms  ratio %.2f to CopyDib of it\n",
                rotate * 1000, rotate / copyBig);
    DeleteFileA(path.c_str());
    big.Reset();

    // A real 200-megapixel photograph: its full picture (600 MB of pixels)
    // is more than any block the viewer keeps, so the full load is refused
    // at the head, before any block is asked for; its previews (the boxes'
    // thumbnails) decode at 1/8 and work.
    const std::string huge = std::string(folder) + "piltrin-bench-200mp.jpg";
    const double writeStart = Seconds();
    if (!WritePhotoJpeg(huge, 16320, 12240, [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), 90}; })) {
        std::printf("cannot write %s\n", huge.c_str());
        return 1;
    }
    const double written = Seconds() - writeStart;
    int code = 0, pw = 0, ph = 0;
    const double refused = Best(3, [&] {
        if (LoadPicture(huge.c_str(), nullptr, 0, &h, &p)) LockedDib(h, p).Reset();
        code = LastLoadError;
    });
    const double preview = Best(1, [&] {
        if (!LoadPreview(huge.c_str(), nullptr, 0, &h, &p, 300)) return;
        LockedDib shrunk(h, p);
        pw = shrunk.header->biWidth, ph = DibRows(*shrunk.header);
    });
    std::printf(
        "200-megapixel JPEG (16320 x 12240) written in %.1f s: full load refused in %.2f ms (code %d), "
        "preview %d x %d in %.0f ms\n",
        written, refused * 1000, code, pw, ph, preview * 1000);
    DeleteFileA(huge.c_str());
    return 0;
}
