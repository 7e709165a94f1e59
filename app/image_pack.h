// The image pack: fourteen one-bit pictures of 256 x 256 pixels, each a 62-byte header and
// 8192 bytes of pixel rows, turned into fourteen luminance textures at start-up.
#pragma once
#include <cstdint>
#include "platform/display.h"

constexpr int picture_count = 14;
constexpr int picture_size = 256;
constexpr int pack_header_bytes = 62;
constexpr int pack_pixel_bytes = picture_size * picture_size / 8;   // 8192
constexpr int pack_record_bytes = pack_header_bytes + pack_pixel_bytes;
constexpr int texture_image_bytes = picture_size * picture_size;    // 65536
constexpr const char* image_pack_name = "wq.dat";

// Writes the 65536-byte texture image of one record's pixels, transposed: stored row i,
// byte k, bit j (0 least significant) becomes texture line 8k + 7 - j, texel i, 0xFF for
// a set bit and 0x00 for a clear one.
void expand_picture(const uint8_t* pixels, uint8_t* texture_image);

// Generates the fourteen texture names and defines texture n from record n of the pack.
// False, with no GL call made, when the file cannot be opened. Records the file does not
// fully hold are completed with zero bytes (black). Needs the GL context current.
bool load_image_pack(const Display& display, uint32_t* picture_textures,
                     const char* path = image_pack_name);
