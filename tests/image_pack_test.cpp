#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>
#include "app/image_pack.h"
#include "platform/display_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Record n: a header that is all 'H' (never interpreted) and pixel bytes that differ from
// record to record and from byte to byte.
Bytes distinct_pixels(int n) {
    Bytes pixels(pack_pixel_bytes);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = uint8_t(i * 7 + n * 31 + (i >> 5));
    return pixels;
}

Bytes pack_of(const std::vector<Bytes>& records) {
    Bytes pack;
    for (const Bytes& pixels : records) {
        pack.insert(pack.end(), pack_header_bytes, 'H');
        pack.insert(pack.end(), pixels.begin(), pixels.end());
    }
    return pack;
}

std::vector<Bytes> distinct_records() {
    std::vector<Bytes> records;
    for (int n = 0; n < picture_count; n++) records.push_back(distinct_pixels(n));
    return records;
}

std::string write_temp(const std::string& name, const Bytes& bytes) {
    std::string path = testing::TempDir() + "image_pack_test_" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

Bytes expanded(const Bytes& pixels) {
    Bytes image(texture_image_bytes, 0x5A);
    expand_picture(pixels.data(), image.data());
    return image;
}

// The images handed to tex_image_2d, in call order.
std::vector<Bytes> uploaded_images() {
    std::vector<Bytes> images;
    for (const DisplayCall& call : display_test_calls())
        if (call.kind == DisplayCallKind::tex_image_2d) images.push_back(call.image);
    return images;
}

std::vector<Bytes> load(const std::string& path) {
    display_test_reset();
    uint32_t names[picture_count] = {};
    EXPECT_TRUE(load_image_pack(display_test(), names, path.c_str()));
    return uploaded_images();
}

struct CornerCase {
    const char* what;
    int row, byte, bit;   // one set bit in the stored pixels
    int line, position;   // where it must land in the texture image
};

TEST(ExpandPicture, EachBitLandsTransposedAndNothingElseIsSet) {
    const CornerCase cases[] = {
        {"first bit: bottom left", 0, 0, 7, 0, 0},
        {"bit 0 of byte 31: bottom right", 0, 31, 0, 255, 0},
        {"last row's first bit: top left", 255, 0, 7, 0, 255},
        {"last row's last bit: top right", 255, 31, 0, 255, 255},
        {"inside", 10, 3, 2, 29, 10},
    };
    for (const CornerCase& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes pixels(pack_pixel_bytes, 0);
        pixels[c.row * 32 + c.byte] = uint8_t(1 << c.bit);
        Bytes image = expanded(pixels);
        size_t at = size_t(c.line) * 256 + size_t(c.position);
        EXPECT_EQ(image[at], 0xFF);
        image[at] = 0;
        EXPECT_EQ(image, Bytes(texture_image_bytes, 0));
    }
}

TEST(ExpandPicture, ClearAndFullRecordsGiveBlackAndWhite) {
    EXPECT_EQ(expanded(Bytes(pack_pixel_bytes, 0x00)), Bytes(texture_image_bytes, 0x00));
    EXPECT_EQ(expanded(Bytes(pack_pixel_bytes, 0xFF)), Bytes(texture_image_bytes, 0xFF));
}

TEST(LoadImagePack, DefinesFourteenLinearLuminanceTexturesInFileOrder) {
    std::vector<Bytes> records = distinct_records();
    std::string path = write_temp("full.dat", pack_of(records));
    display_test_reset();
    uint32_t names[picture_count] = {};
    ASSERT_TRUE(load_image_pack(display_test(), names, path.c_str()));

    const std::vector<DisplayCall>& calls = display_test_calls();
    ASSERT_EQ(calls.size(), 1u + 4u * picture_count);
    EXPECT_EQ(calls[0].kind, DisplayCallKind::gen_textures);
    EXPECT_EQ(calls[0].args, std::vector<double>{picture_count});
    for (int n = 0; n < picture_count; n++) {
        SCOPED_TRACE(n);
        EXPECT_EQ(names[n], uint32_t(n + 1));
        const DisplayCall* c = &calls[1 + 4 * n];
        EXPECT_EQ(c[0].kind, DisplayCallKind::bind_texture);
        EXPECT_EQ(c[0].args, (std::vector<double>{gl_texture_2d, double(names[n])}));
        EXPECT_EQ(c[1].kind, DisplayCallKind::tex_image_2d);
        EXPECT_EQ(c[1].args, (std::vector<double>{gl_texture_2d, 0, 3, 256, 256, 0, gl_luminance,
                                                  gl_unsigned_byte}));
        EXPECT_EQ(c[1].image, expanded(records[n]));
        EXPECT_EQ(c[2].kind, DisplayCallKind::tex_parameteri);
        EXPECT_EQ(c[2].args, (std::vector<double>{gl_texture_2d, gl_texture_min_filter, gl_linear}));
        EXPECT_EQ(c[3].kind, DisplayCallKind::tex_parameteri);
        EXPECT_EQ(c[3].args, (std::vector<double>{gl_texture_2d, gl_texture_mag_filter, gl_linear}));
    }
}

TEST(LoadImagePack, BlackAndWhiteRecordsAndBytesAfterTheLastRecordIgnored) {
    std::vector<Bytes> records = distinct_records();
    records[3] = Bytes(pack_pixel_bytes, 0x00);
    records[4] = Bytes(pack_pixel_bytes, 0xFF);
    Bytes pack = pack_of(records);
    Bytes longer = pack;
    longer.insert(longer.end(), 5000, 0xA5);
    std::vector<Bytes> images = load(write_temp("long.dat", longer));
    ASSERT_EQ(images.size(), size_t(picture_count));
    EXPECT_EQ(images[3], Bytes(texture_image_bytes, 0x00));
    EXPECT_EQ(images[4], Bytes(texture_image_bytes, 0xFF));
    EXPECT_EQ(images, load(write_temp("exact.dat", pack)));
}

TEST(LoadImagePack, ShortPackCompletesMissingBytesWithBlack) {
    std::vector<Bytes> records = distinct_records();
    Bytes pack = pack_of(records);
    // Record 5 ends after its header and 100 pixel bytes; the rest of the file is missing.
    pack.resize(5 * pack_record_bytes + pack_header_bytes + 100);
    std::vector<Bytes> images = load(write_temp("short.dat", pack));
    ASSERT_EQ(images.size(), size_t(picture_count));
    for (int n = 0; n < 5; n++) EXPECT_EQ(images[n], expanded(records[n])) << n;
    Bytes partial(pack_pixel_bytes, 0);
    std::copy_n(records[5].begin(), 100, partial.begin());
    EXPECT_EQ(images[5], expanded(partial));
    for (int n = 6; n < picture_count; n++) EXPECT_EQ(images[n], Bytes(texture_image_bytes, 0)) << n;

    // An empty file still defines all fourteen textures, all black.
    for (const Bytes& image : load(write_temp("empty.dat", {})))
        EXPECT_EQ(image, Bytes(texture_image_bytes, 0));
}

TEST(LoadImagePack, MissingPackMakesNoCall) {
    display_test_reset();
    uint32_t names[picture_count] = {};
    std::string path = testing::TempDir() + "image_pack_test_no_such_file.dat";
    std::remove(path.c_str());
    EXPECT_FALSE(load_image_pack(display_test(), names, path.c_str()));
    EXPECT_TRUE(display_test_calls().empty());
}

}  // namespace
