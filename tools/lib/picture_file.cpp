#include "lib/picture_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include <png.h>
#include <stb_image.h>

namespace {

uint32_t le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t le32(const uint8_t* p) { return le16(p) | (le16(p + 2) << 16); }

bool is_png(const std::vector<uint8_t>& b) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return b.size() >= 8 && std::memcmp(b.data(), signature, 8) == 0;
}

bool is_bmp(const std::vector<uint8_t>& b) { return b.size() >= 2 && b[0] == 'B' && b[1] == 'M'; }

int brightness(const uint8_t* bgr) { return bgr[0] * 114 + bgr[1] * 587 + bgr[2] * 299; }

// The pack's own record layout: 62-byte header, 256 x 256 bottom-up one-bit pixels, and a
// colour table whose colour 1 is the lighter one, so the picture looks the same on screen.
bool is_pack_layout_bmp(const std::vector<uint8_t>& b) {
    if (b.size() < static_cast<size_t>(picture_record_bytes) || !is_bmp(b)) return false;
    const uint8_t* p = b.data();
    return le32(p + 10) == picture_header_bytes && le32(p + 14) == 40 &&
           le32(p + 18) == picture_size && le32(p + 22) == picture_size && le16(p + 26) == 1 &&
           le16(p + 28) == 1 && le32(p + 30) == 0 && brightness(p + 58) >= brightness(p + 54);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

bool picture_file_read_bytes(const std::string& path, std::vector<uint8_t>& bytes) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    bytes.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return std::ferror(file.get()) == 0;
}

static bool gray_from_bytes(const std::string& path, const std::vector<uint8_t>& bytes,
                            GrayImage& image, std::string& error) {
    if (!is_bmp(bytes) && !is_png(bytes)) {
        error = path + ": not a BMP or PNG picture";
        return false;
    }
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgba = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width,
                                          &height, &channels, 4);
    if (!rgba) {
        error = path + ": cannot decode picture (" + stbi_failure_reason() + ")";
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const stbi_uc* px = rgba + i * 4;
        // Luminance, then transparency over the black of the screen.
        const uint32_t luma = (px[0] * 299 + px[1] * 587 + px[2] * 114 + 500) / 1000;
        image.pixels[i] = static_cast<uint8_t>((luma * px[3] + 127) / 255);
    }
    stbi_image_free(rgba);
    return true;
}

bool picture_file_read_gray(const std::string& path, GrayImage& image, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!picture_file_read_bytes(path, bytes)) {
        error = "cannot read " + path;
        return false;
    }
    return gray_from_bytes(path, bytes, image, error);
}

bool picture_file_read_record(const std::string& path, PackRecord& record, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!picture_file_read_bytes(path, bytes)) {
        error = "cannot read " + path;
        return false;
    }
    if (is_pack_layout_bmp(bytes)) {
        std::memcpy(record.bytes, bytes.data(), picture_record_bytes);
        record.taken_unchanged = true;
        return true;
    }
    GrayImage image;
    if (!gray_from_bytes(path, bytes, image, error)) return false;
    picture_to_record(picture_dither(image), record.bytes);
    record.taken_unchanged = false;
    return true;
}

bool picture_file_write_png(const std::string& path, const MonoPicture& picture, std::string& error) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory writing " + path;
        return false;
    }
    // One bit per pixel, 0 black and 1 white: the packed rows are the screen lines.
    std::vector<uint8_t> rows(picture_size * picture_size / 8, 0);
    for (int y = 0; y < picture_size; ++y) {
        for (int x = 0; x < picture_size; ++x) {
            if (picture.pixels[y * picture_size + x]) {
                rows[y * (picture_size / 8) + (x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
            }
        }
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "cannot write " + path;
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, picture_size, picture_size, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < picture_size; ++y) png_write_row(png, rows.data() + y * (picture_size / 8));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool picture_file_write_bmp(const std::string& path, const MonoPicture& picture, std::string& error) {
    uint8_t record[picture_record_bytes];
    picture_to_record(picture, record);
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file || std::fwrite(record, 1, sizeof record, file.get()) != sizeof record) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool picture_file_read_pack(const std::string& path, std::vector<MonoPicture>& pictures,
                            std::string& error) {
    std::vector<uint8_t> bytes;
    if (!picture_file_read_bytes(path, bytes)) {
        error = "cannot read " + path;
        return false;
    }
    const size_t needed = static_cast<size_t>(pack_picture_count) * picture_record_bytes;
    if (bytes.size() < needed) {
        error = path + ": too short for an image pack (" + std::to_string(bytes.size()) +
                " bytes, 14 pictures need " + std::to_string(needed) + ")";
        return false;
    }
    pictures.assign(pack_picture_count, MonoPicture{});
    for (int n = 0; n < pack_picture_count; ++n) {
        picture_from_pixel_bytes(bytes.data() + n * picture_record_bytes + picture_header_bytes,
                                 pictures[n]);
    }
    return true;
}
