// Reading pictures for a pack and writing them back out as files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "lib/picture.h"

// One pack record made from a picture file. A 256 x 256 one-bit BMP in the pack's own
// layout is taken byte for byte; any other BMP or PNG is scaled and dithered.
struct PackRecord {
    uint8_t bytes[picture_record_bytes];
    bool taken_unchanged;
};

// False with a message naming the file when it cannot be read or is not a usable BMP/PNG.
bool picture_file_read_record(const std::string& path, PackRecord& record, std::string& error);

// Grey image from a BMP or PNG file (colour is reduced to luminance).
bool picture_file_read_gray(const std::string& path, GrayImage& image, std::string& error);

bool picture_file_write_png(const std::string& path, const MonoPicture& picture, std::string& error);
bool picture_file_write_bmp(const std::string& path, const MonoPicture& picture, std::string& error);

// The pictures of a pack file: fails when the file cannot be read or holds fewer than
// 14 complete records (bytes after the fourteenth are ignored, as the slideshow does).
bool picture_file_read_pack(const std::string& path, std::vector<MonoPicture>& pictures,
                            std::string& error);

bool picture_file_read_bytes(const std::string& path, std::vector<uint8_t>& bytes);
