#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/image/Picture.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/gfx/ImageBytes.h"

namespace {

// A JPEG of w x h by libjpeg's own encoder: the left half red, the right half blue.
std::vector<uint8_t> Jpeg(int w, int h, bool progressive, bool grey = false) {
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int x = 0; x < w; ++x) {
        if (grey) {
            row[size_t(x)] = x < w / 2 ? 200 : 50;
        } else {
            row[size_t(x) * 3] = x < w / 2 ? 255 : 0;
            row[size_t(x) * 3 + 2] = x < w / 2 ? 0 : 255;
        }
    }
    for (int y = 0; y < h; ++y) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int s = 0; s < 32; s += 8) {
        if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > tolerance) return false;
    }
    return true;
}

image::Picture Decoded(const std::vector<uint8_t>& bytes) {
    image::Picture p;
    std::string error;
    EXPECT_TRUE(image::Decode(bytes.data(), bytes.size(), p, error)) << error;
    return p;
}

std::string Refusal(const std::vector<uint8_t>& bytes, const image::Limits& limits = {}) {
    image::Picture p;
    std::string error;
    if (image::Decode(bytes.data(), bytes.size(), p, error, limits)) return "<decoded>";
    EXPECT_TRUE(p.pixels.empty());
    return error;
}

TEST(PictureTest, PngJpegAndBmpDecodeUprightAsStraightAlphaWords) {
    const std::vector<uint32_t> quad = {0x80FF0000, 0xFF00FF00, 0xFF0000FF, 0x00FFFFFF};
    image::Picture png = Decoded(imagebytes::Png(2, 2, quad, true));
    EXPECT_EQ(png.pixels, quad);
    EXPECT_TRUE(png.alpha);
    png = Decoded(imagebytes::Png(2, 2, quad, false));
    EXPECT_EQ(png.pixels[0], 0xFFFF0000u);
    EXPECT_FALSE(png.alpha);

    for (bool progressive : {false, true}) {
        image::Picture jpeg = Decoded(Jpeg(16, 8, progressive));
        ASSERT_EQ(jpeg.width, 16);
        ASSERT_EQ(jpeg.height, 8);
        EXPECT_TRUE(Near(jpeg.pixels[0], 0xFFFF0000u, 8)) << std::hex << jpeg.pixels[0];
        EXPECT_TRUE(Near(jpeg.pixels[7 * 16 + 15], 0xFF0000FFu, 8)) << std::hex << jpeg.pixels[7 * 16 + 15];
        EXPECT_FALSE(jpeg.alpha);
    }
    EXPECT_TRUE(Near(Decoded(Jpeg(16, 8, false, true)).pixels[0], 0xFFC8C8C8u, 4));

    // Bottom-up 24 bits; top-down 32 bits with alpha; 32 bits whose fourth bytes are all
    // zero (written so by many tools) are opaque; 16 bits 5-5-5; 1 bit with a palette.
    BmpBytes b24;
    b24.pixels = {0, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0};
    EXPECT_EQ(Decoded(b24.Build()).pixels, (std::vector<uint32_t>{0xFF0000FF, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00}));
    BmpBytes b32;
    b32.bpp = 32;
    b32.height = -2;
    b32.pixels = {1, 2, 3, 0x80, 4, 5, 6, 0, 7, 8, 9, 0xFF, 10, 11, 12, 0x10};
    image::Picture p32 = Decoded(b32.Build());
    EXPECT_EQ(p32.pixels, (std::vector<uint32_t>{0x80030201, 0x00060504, 0xFF090807, 0x100C0B0A}));
    EXPECT_TRUE(p32.alpha);
    for (size_t i = 3; i < b32.pixels.size(); i += 4) b32.pixels[i] = 0;
    EXPECT_EQ(Decoded(b32.Build()).pixels[0], 0xFF030201u);
    BmpBytes b16;
    b16.bpp = 16;
    b16.width = 2;
    b16.height = 1;
    b16.pixels = {0x00, 0x7C, 0x1F, 0x00};
    EXPECT_EQ(Decoded(b16.Build()).pixels, (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
    BmpBytes b1;
    b1.bpp = 1;
    b1.width = 3;
    b1.height = 1;
    b1.palette = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
    b1.pixels = {0xA0, 0, 0, 0};
    EXPECT_EQ(Decoded(b1.Build()).pixels, (std::vector<uint32_t>{0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}));
}

// The format comes from the bytes, never the name; what is no PNG, JPEG or BMP, and a
// header past the limits, are refused before any pixel is decoded.
TEST(PictureTest, OtherFormatsLyingHeadersAndPicturesPastTheLimitsAreRefused) {
    EXPECT_EQ(image::Identify("\x89PNG\r\n\x1a\n", 8), image::Format::Png);
    EXPECT_EQ(image::Identify("\xFF\xD8\xFF", 3), image::Format::Jpeg);
    EXPECT_EQ(image::Identify("BM", 2), image::Format::Bmp);
    EXPECT_EQ(Refusal({'8', 'B', 'P', 'S', 0, 1}), "not a PNG, JPEG or BMP picture");
    EXPECT_EQ(Refusal(imagebytes::Tga24(2, 2, {0, 0, 0, 0})), "not a PNG, JPEG or BMP picture");
    EXPECT_EQ(Refusal({}), "not a PNG, JPEG or BMP picture");

    BmpBytes b;
    b.pixels.assign(16, 0);
    std::vector<uint8_t> lying = b.Build();
    lying[11] = 0xF0;  // the pixels "start" past the end
    EXPECT_EQ(Refusal(lying), "a BMP whose header does not fit the file");
    BmpBytes rle;
    rle.compression = 1;
    rle.pixels.assign(16, 0);
    EXPECT_EQ(Refusal(rle.Build()), "a BMP whose header does not fit the file");

    image::Limits small;
    small.maxSide = 4;
    small.maxPixels = 8;
    EXPECT_NE(Refusal(imagebytes::Png(5, 1, std::vector<uint32_t>(5), true), small), "<decoded>");
    EXPECT_NE(Refusal(imagebytes::Png(3, 3, std::vector<uint32_t>(9), true), small).find("8 pixels"), std::string::npos);
    EXPECT_NE(Refusal(Jpeg(16, 8, false), small).find("larger than"), std::string::npos);
    BmpBytes wide;
    wide.width = 5;
    wide.height = 1;
    wide.pixels.assign(16, 0);
    EXPECT_NE(Refusal(wide.Build(), small).find("larger than"), std::string::npos);
}

// Every cut of a good file ends: decoded (a JPEG's missing rest grey, as libjpeg's
// memory source ends it with an end marker) or refused with a reason.
TEST(PictureTest, FilesCutAtAnyLengthEndDecodedOrRefused) {
    for (const std::vector<uint8_t>& whole :
         {Jpeg(24, 16, false), Jpeg(24, 16, true), imagebytes::Png(7, 5, std::vector<uint32_t>(35, 0xFF123456), true)}) {
        for (size_t n = 0; n < whole.size(); ++n) {
            image::Picture p;
            std::string error;
            if (image::Decode(whole.data(), n, p, error)) {
                EXPECT_EQ(p.pixels.size(), size_t(p.width) * size_t(p.height));
            } else {
                EXPECT_FALSE(error.empty()) << n;
            }
        }
    }
}

}  // namespace
