#include "tests/support/jpeg_test_files.h"

#include <cstdio>

#include <jpeglib.h>

Bytes MakeJpeg(int width, int height, const PixelPattern& pattern, const JpegOptions& options) {
    jpeg_compress_struct encoder;
    jpeg_error_mgr errors;
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &buffer, &size);
    encoder.image_width = width;
    encoder.image_height = height;
    int components = 3;
    switch (options.kind) {
        case JpegKind::Grey:
            components = 1;
            encoder.in_color_space = JCS_GRAYSCALE;
            break;
        case JpegKind::Colour:
            encoder.in_color_space = JCS_RGB;
            break;
        case JpegKind::Cmyk:
            components = 4;
            encoder.in_color_space = JCS_CMYK;
            break;
    }
    encoder.input_components = components;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, options.quality, TRUE);
    if (options.fullChroma && options.kind == JpegKind::Colour)
        for (int c = 0; c < 3; ++c)
            encoder.comp_info[c].h_samp_factor = encoder.comp_info[c].v_samp_factor = 1;
    if (options.progressive) jpeg_simple_progression(&encoder);
    jpeg_start_compress(&encoder, TRUE);
    std::vector<unsigned char> row(size_t(width) * components);
    while (encoder.next_scanline < encoder.image_height) {
        const int y = int(encoder.next_scanline);
        for (int x = 0; x < width; ++x) {
            const Rgb c = pattern(x, y);
            unsigned char* p = &row[size_t(x) * components];
            if (components == 1) {
                p[0] = c.g;
            } else if (components == 3) {
                p[0] = c.r;
                p[1] = c.g;
                p[2] = c.b;
            } else {
                p[0] = 255 - c.r;
                p[1] = 255 - c.g;
                p[2] = 255 - c.b;
                p[3] = 0;
            }
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
    out[8] = uint8_t(offset >> 24);
    out[9] = uint8_t(offset >> 16);
    out[10] = uint8_t(offset >> 8);
    out[11] = uint8_t(offset);
    out.resize(offset);
    out.insert(out.end(), jpeg.begin(), jpeg.end());
    return out;
}
