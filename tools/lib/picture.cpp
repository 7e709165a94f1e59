#include "lib/picture.h"

#include <algorithm>
#include <cstring>

#include <stb_image_resize.h>

namespace {

void put_le16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put_le32(uint8_t* p, uint32_t v) {
    put_le16(p, v & 0xFFFF);
    put_le16(p + 2, v >> 16);
}

}  // namespace

void picture_bmp_header(uint8_t h[picture_header_bytes]) {
    std::memset(h, 0, picture_header_bytes);
    h[0] = 'B';
    h[1] = 'M';
    put_le32(h + 2, picture_record_bytes);
    put_le32(h + 10, picture_header_bytes);      // pixels start right after the colour table
    put_le32(h + 14, 40);                        // BITMAPINFOHEADER
    put_le32(h + 18, picture_size);
    put_le32(h + 22, picture_size);              // positive: bottom line stored first
    put_le16(h + 26, 1);                         // planes
    put_le16(h + 28, 1);                         // bits per pixel
    put_le32(h + 34, picture_pixel_bytes);
    put_le32(h + 38, 2835);                      // 72 dpi
    put_le32(h + 42, 2835);
    put_le32(h + 46, 2);                         // colours used
    put_le32(h + 50, 2);
    // Colour 0 black (already zero), colour 1 white: a set bit is white, as on screen.
    h[58] = h[59] = h[60] = 0xFF;
}

void picture_to_pixel_bytes(const MonoPicture& picture, uint8_t bytes[picture_pixel_bytes]) {
    std::memset(bytes, 0, picture_pixel_bytes);
    for (int stored = 0; stored < picture_size; ++stored) {
        const uint8_t* line = picture.pixels + (picture_size - 1 - stored) * picture_size;
        uint8_t* out = bytes + stored * (picture_size / 8);
        for (int x = 0; x < picture_size; ++x) {
            if (line[x]) out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
    }
}

void picture_from_pixel_bytes(const uint8_t bytes[picture_pixel_bytes], MonoPicture& picture) {
    for (int stored = 0; stored < picture_size; ++stored) {
        uint8_t* line = picture.pixels + (picture_size - 1 - stored) * picture_size;
        const uint8_t* in = bytes + stored * (picture_size / 8);
        for (int x = 0; x < picture_size; ++x) line[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

void picture_to_record(const MonoPicture& picture, uint8_t record[picture_record_bytes]) {
    picture_bmp_header(record);
    picture_to_pixel_bytes(picture, record + picture_header_bytes);
}

MonoPicture picture_dither(const GrayImage& image) {
    std::vector<uint8_t> scaled;
    const uint8_t* gray = image.pixels.data();
    if (image.width != picture_size || image.height != picture_size) {
        scaled.resize(picture_size * picture_size);
        stbir_resize_uint8(image.pixels.data(), image.width, image.height, 0, scaled.data(),
                           picture_size, picture_size, 0, 1);
        gray = scaled.data();
    }
    // Errors in 1/16 grey steps; two lines are enough since the error only flows down one.
    std::vector<int> current(picture_size + 2, 0), next(picture_size + 2, 0);
    for (int i = 0; i < picture_size; ++i) current[i + 1] = gray[i] * 16;
    MonoPicture out{};
    for (int y = 0; y < picture_size; ++y) {
        std::fill(next.begin(), next.end(), 0);
        if (y + 1 < picture_size) {
            for (int i = 0; i < picture_size; ++i) next[i + 1] = gray[(y + 1) * picture_size + i] * 16;
        }
        // Serpentine scan: alternating direction avoids the diagonal worms of plain scans.
        const bool forward = (y & 1) == 0;
        const int step = forward ? 1 : -1;
        for (int k = 0; k < picture_size; ++k) {
            const int x = forward ? k : picture_size - 1 - k;
            const int level = current[x + 1];
            const int white = level >= 128 * 16 ? 1 : 0;
            out.pixels[y * picture_size + x] = static_cast<uint8_t>(white);
            const int error = (level - white * 255 * 16) / 16;
            current[x + 1 + step] += error * 7;
            next[x + 1 - step] += error * 3;
            next[x + 1] += error * 5;
            next[x + 1 + step] += error * 1;
        }
        std::swap(current, next);
    }
    return out;
}

GrayImage picture_gray_from_levels(const std::vector<float>& levels) {
    GrayImage image;
    image.width = picture_size;
    image.height = picture_size;
    image.pixels.resize(picture_size * picture_size);
    for (int i = 0; i < picture_size * picture_size; ++i) {
        const float v = std::clamp(levels[i], 0.0f, 1.0f);
        image.pixels[i] = static_cast<uint8_t>(v * 255.0f + 0.5f);
    }
    return image;
}

int picture_difference(const MonoPicture& a, const MonoPicture& b) {
    int count = 0;
    for (int i = 0; i < picture_size * picture_size; ++i) count += a.pixels[i] != b.pixels[i];
    return count;
}
