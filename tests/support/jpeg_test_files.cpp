#include "tests/support/jpeg_test_files.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include <jpeglib.h>

Bytes MakeJpeg(int width, int height, const PixelPattern& pattern, const JpegOptions& options) {
    jpeg_compress_struct encoder;
    jpeg_error_mgr errors;
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &buffer, &size);
    const int components = options.kind == JpegKind::Grey ? 1 : options.kind == JpegKind::Colour ? 3 : 4;
    encoder.image_width = width;
    encoder.image_height = height;
    encoder.input_components = components;
    encoder.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, options.quality, TRUE);
    for (int c = 0; options.fullChroma && components == 3 && c < 3; ++c)
        encoder.comp_info[c].h_samp_factor = encoder.comp_info[c].v_samp_factor = 1;
    if (options.kind == JpegKind::Ycck) jpeg_set_colorspace(&encoder, JCS_YCCK);
    if (options.progressive) jpeg_simple_progression(&encoder);
    jpeg_start_compress(&encoder, TRUE);
    std::vector<unsigned char> row(size_t(width) * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = pattern(x, y);
            const unsigned char rgb[] = {c.r, c.g, c.b},
                                cmyk[] = {uint8_t(255 - c.r), uint8_t(255 - c.g), uint8_t(255 - c.b), 0},
                                adobe[] = {c.r, c.g, c.b, 255};
            const unsigned char* from = components == 1                  ? &c.g
                                        : components == 3                ? rgb
                                        : options.kind == JpegKind::Ycck ? adobe
                                                                         : cmyk;
            std::copy(from, from + components, &row[size_t(x) * components]);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&encoder);
    free(buffer);
    return out;
}

Bytes MakePmp(const Bytes& jpeg, uint32_t offset, uint8_t firstByte) {
    Bytes out(offset < 21 ? 21 : offset, 0xAB);
    out[0] = firstByte;
    for (int i = 0; i < 4; ++i) out[8 + i] = uint8_t(offset >> (24 - 8 * i));
    out.resize(offset);
    out.insert(out.end(), jpeg.begin(), jpeg.end());
    return out;
}

Bytes WithSegment(const Bytes& jpeg, uint8_t marker, const Bytes& body) {
    const size_t length = body.size() + 2;
    Bytes out = {jpeg[0], jpeg[1], 0xFF, marker, uint8_t(length >> 8), uint8_t(length)};
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}
