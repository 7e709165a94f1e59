// One-bit pictures of the image pack, the grey images they are made from, and the
// conversions between them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int picture_size = 256;
constexpr int picture_header_bytes = 62;
constexpr int picture_pixel_bytes = picture_size * picture_size / 8;
constexpr int picture_record_bytes = picture_header_bytes + picture_pixel_bytes;
constexpr int pack_picture_count = 14;

// A 256 x 256 picture as it appears on screen: line 0 is the top, column 0 the left edge,
// 1 is white and 0 black.
struct MonoPicture {
    uint8_t pixels[picture_size * picture_size];
};

// Eight-bit grey levels, 0 black and 255 white, line 0 at the top.
struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// The 62 bytes that make a record a 256 x 256 one-bit BMP: file header, information
// header and a colour table of black (index 0) and white (index 1).
void picture_bmp_header(uint8_t header[picture_header_bytes]);

// Pack pixel bytes: stored row 0 is the bottom line, the most significant bit the left.
void picture_to_pixel_bytes(const MonoPicture& picture, uint8_t bytes[picture_pixel_bytes]);
void picture_from_pixel_bytes(const uint8_t bytes[picture_pixel_bytes], MonoPicture& picture);

// A whole record: header then pixel bytes.
void picture_to_record(const MonoPicture& picture, uint8_t record[picture_record_bytes]);

// Scales the image to 256 x 256 (stretching: the screen stretches the picture to its own
// shape anyway) and reduces it to one bit with Floyd-Steinberg error diffusion.
MonoPicture picture_dither(const GrayImage& image);

// Grey image of exactly 256 x 256 from levels in 0..1 (values outside are limited).
GrayImage picture_gray_from_levels(const std::vector<float>& levels);

// Number of pixels in which two pictures differ.
int picture_difference(const MonoPicture& a, const MonoPicture& b);
