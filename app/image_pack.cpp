#include "app/image_pack.h"
#include <cstdio>
#include <cstring>

// One pixel buffer and one texture image serve all records in turn: the GL copies the
// image when the texture is defined.
static uint8_t pack_header[pack_header_bytes];
static uint8_t pack_pixels[pack_pixel_bytes];
static uint8_t pack_texture_image[texture_image_bytes];

void expand_picture(const uint8_t* pixels, uint8_t* texture_image) {
    for (int row = 0; row < picture_size; row++) {
        const uint8_t* row_bytes = pixels + row * (picture_size / 8);
        for (int column = 0; column < picture_size; column++) {
            int bit = (row_bytes[column >> 3] >> (7 - (column & 7))) & 1;
            texture_image[column * picture_size + row] = uint8_t(-bit);
        }
    }
}

// Reads up to count bytes and zero-fills whatever the file no longer holds.
static void load_image_pack_read(uint8_t* buffer, size_t count, FILE* file) {
    size_t got = std::fread(buffer, 1, count, file);
    if (got < count) std::memset(buffer + got, 0, count - got);
}

bool load_image_pack(const Display& display, uint32_t* picture_textures, const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    display.gen_textures(picture_count, picture_textures);
    for (int n = 0; n < picture_count; n++) {
        load_image_pack_read(pack_header, sizeof pack_header, file);
        load_image_pack_read(pack_pixels, sizeof pack_pixels, file);
        expand_picture(pack_pixels, pack_texture_image);
        display.bind_texture(gl_texture_2d, picture_textures[n]);
        // Internal format 3: three components, each the luminance.
        display.tex_image_2d(gl_texture_2d, 0, 3, picture_size, picture_size, 0, gl_luminance,
                             gl_unsigned_byte, pack_texture_image);
        display.tex_parameteri(gl_texture_2d, gl_texture_min_filter, int32_t(gl_linear));
        display.tex_parameteri(gl_texture_2d, gl_texture_mag_filter, int32_t(gl_linear));
    }
    std::fclose(file);
    return true;
}
