// The content tools as programs: mkpack and unpack round trips, dithering of photo-like
// pictures, their error messages, and the show's own pictures and song.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace fs = std::filesystem;

namespace {

constexpr int header_bytes = 62;
constexpr int pixel_bytes = 8192;
constexpr int record_bytes = header_bytes + pixel_bytes;

// The tools sit in bin/ beside the tests/ folder of this program, unless WQ_BIN_DIR says.
std::string bin(const std::string& tool) {
    if (const char* dir = std::getenv("WQ_BIN_DIR")) return std::string(dir) + "/" + tool;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / "bin" / tool).string();
}

struct Outcome {
    int status;
    std::string output;   // stdout and stderr together
};

Outcome run(const std::string& command) {
    Outcome result{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<uint8_t> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class Content : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("wq_content_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // mkpack over the given files, all in `dir`.
    Outcome mkpack(const std::vector<std::string>& inputs, const std::string& out = "out.dat") {
        std::string command = bin("mkpack") + " " + path(out);
        for (const std::string& name : inputs) command += " " + path(name);
        return run(command);
    }

    fs::path dir;
};

// A one-bit 256 x 256 BMP in the pack's layout, written here independently of the tools.
std::vector<uint8_t> one_bit_bmp(const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> b(header_bytes, 0);
    auto le32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    le32(2, record_bytes);
    le32(10, header_bytes);
    le32(14, 40);
    le32(18, 256);
    le32(22, 256);
    b[26] = 1;
    b[28] = 1;
    le32(34, pixel_bytes);
    b[58] = b[59] = b[60] = 0xFF;   // colour 1 white
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// Screen pixel (x, y from the top) of pack pixel bytes: stored row 0 is the bottom line.
int stored_pixel(const uint8_t* pixels, int x, int y) {
    return (pixels[(255 - y) * 32 + x / 8] >> (7 - x % 8)) & 1;
}

struct Gray {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

Gray load_gray(const std::string& file) {
    Gray g;
    int channels = 0;
    stbi_uc* data = stbi_load(file.c_str(), &g.width, &g.height, &channels, 1);
    if (data) {
        g.pixels.assign(data, data + g.width * g.height);
        stbi_image_free(data);
    }
    return g;
}

TEST_F(Content, OneBitPicturesGoThroughPackAndUnpackUnchanged) {
    std::mt19937 random(7);
    std::vector<std::string> names;
    std::vector<uint8_t> expected_pack;
    std::vector<std::vector<uint8_t>> pixels(14);
    for (int n = 0; n < 14; ++n) {
        pixels[n].resize(pixel_bytes);
        for (uint8_t& byte : pixels[n]) byte = static_cast<uint8_t>(random());
        // Corner markers make orientation mistakes visible: bottom-left set, top-left clear.
        pixels[n][0] |= 0x80;
        pixels[n][255 * 32] &= 0x7F;
        const std::vector<uint8_t> bmp = one_bit_bmp(pixels[n]);
        names.push_back("p" + std::to_string(n) + ".bmp");
        write_file(dir / names.back(), bmp);
        expected_pack.insert(expected_pack.end(), bmp.begin(), bmp.end());
    }
    const Outcome packed = mkpack(names);
    ASSERT_EQ(packed.status, 0) << packed.output;
    EXPECT_EQ(read_file(dir / "out.dat"), expected_pack);

    const Outcome unpacked = run(bin("unpack") + " " + path("out.dat") + " " + path("png"));
    ASSERT_EQ(unpacked.status, 0) << unpacked.output;
    for (int n = 0; n < 14; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "png/picture%02d.png", n);
        const Gray g = load_gray(path(name));
        ASSERT_EQ(g.width, 256) << name;
        ASSERT_EQ(g.height, 256) << name;
        int wrong = 0;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                wrong += (g.pixels[y * 256 + x] ? 1 : 0) != stored_pixel(pixels[n].data(), x, y);
            }
        }
        EXPECT_EQ(wrong, 0) << name;
        EXPECT_EQ(g.pixels[255 * 256], 255) << "bottom-left corner of " << name;
        EXPECT_EQ(g.pixels[0], 0) << "top-left corner of " << name;
    }
}

TEST_F(Content, PhotoLikePicturesAreScaledAndDithered) {
    // A 320 x 200 RGB picture: a horizontal grey ramp with noise.
    const int w = 320, h = 200;
    std::vector<uint8_t> rgb(w * h * 3);
    std::mt19937 random(3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int level = std::clamp(x * 255 / (w - 1) + static_cast<int>(random() % 21) - 10, 0, 255);
            uint8_t* p = &rgb[(y * w + x) * 3];
            p[0] = p[1] = p[2] = static_cast<uint8_t>(level);
        }
    }
    ASSERT_TRUE(stbi_write_png(path("photo.png").c_str(), w, h, 3, rgb.data(), w * 3));
    ASSERT_TRUE(stbi_write_bmp(path("photo.bmp").c_str(), w, h, 3, rgb.data()));
    std::vector<std::string> names(14, "photo.png");
    names[13] = "photo.bmp";
    const Outcome packed = mkpack(names);
    ASSERT_EQ(packed.status, 0) << packed.output;
    const std::vector<uint8_t> pack = read_file(dir / "out.dat");
    ASSERT_EQ(pack.size(), 14u * record_bytes);

    for (int n : {0, 13}) {
        const uint8_t* record = pack.data() + n * record_bytes;
        // Each record is a valid one-bit 256 x 256 BMP of its own.
        EXPECT_EQ(record[0], 'B');
        EXPECT_EQ(record[1], 'M');
        EXPECT_EQ(record[28], 1) << "bits per pixel";
        EXPECT_EQ(record[18] | record[19] << 8, 256);
        EXPECT_EQ(record[22] | record[23] << 8, 256);
        // Error diffusion keeps the local brightness: the share of white pixels in each
        // vertical band follows the ramp.
        for (int band = 0; band < 8; ++band) {
            int white = 0;
            for (int y = 0; y < 256; ++y) {
                for (int x = band * 32; x < band * 32 + 32; ++x) white += stored_pixel(record + header_bytes, x, y);
            }
            const double share = white / (256.0 * 32.0);
            const double expected = (band * 32 + 15.5) / 255.0;
            EXPECT_NEAR(share, expected, 0.06) << "picture " << n << " band " << band;
        }
    }
}

TEST_F(Content, BadInputsAreReportedClearly) {
    write_file(dir / "good.bmp", one_bit_bmp(std::vector<uint8_t>(pixel_bytes, 0x0F)));
    write_file(dir / "text.bmp", {'h', 'e', 'l', 'l', 'o', '\n'});
    std::vector<uint8_t> broken_png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0};
    write_file(dir / "broken.png", broken_png);
    write_file(dir / "short.dat", std::vector<uint8_t>(record_bytes * 13, 0));

    struct Case {
        const char* what;
        std::string command;
        std::string message;
    };
    std::string fourteen_good;
    for (int n = 0; n < 14; ++n) fourteen_good += " " + path("good.bmp");
    auto with = [&](const std::string& odd_one, int count = 14) {
        std::string command = bin("mkpack") + " " + path("out.dat");
        for (int n = 0; n < count; ++n) command += " " + path(n == 5 ? odd_one : "good.bmp");
        return command;
    };
    const Case cases[] = {
        {"13 pictures", with("good.bmp", 13), "needs exactly 14 pictures"},
        {"15 pictures", with("good.bmp", 15), "needs exactly 14 pictures"},
        {"missing file", with("missing.png"), "picture 5: cannot read " + path("missing.png")},
        {"not a picture", with("text.bmp"), "text.bmp: not a BMP or PNG picture"},
        {"corrupt PNG", with("broken.png"), "broken.png: cannot decode picture"},
        {"unwritable pack", bin("mkpack") + " " + path("no/such/dir/out.dat") + fourteen_good,
         "cannot write"},
        {"unpack usage", bin("unpack") + " " + path("short.dat"), "usage: unpack PACK.dat OUTDIR"},
        {"short pack", bin("unpack") + " " + path("short.dat") + " " + path("png"), "too short for an image pack"},
        {"missing pack", bin("unpack") + " " + path("none.dat") + " " + path("png"), "cannot read"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.command);
        EXPECT_NE(r.status, 0) << c.what;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.what << ": " << r.output;
    }
    EXPECT_FALSE(fs::exists(dir / "out.dat")) << "no pack is written after an error";
}

TEST_F(Content, DefaultPicturesAreFourteenDistinctPictures) {
    const Outcome drawn = run(bin("mkpictures") + " " + path("pictures"));
    ASSERT_EQ(drawn.status, 0) << drawn.output;
    std::vector<std::string> names;
    for (int n = 0; n < 14; ++n) {
        char name[40];
        std::snprintf(name, sizeof name, "pictures/picture%02d.bmp", n);
        names.push_back(name);
    }
    const Outcome packed = mkpack(names);
    ASSERT_EQ(packed.status, 0) << packed.output;
    const std::vector<uint8_t> pack = read_file(dir / "out.dat");
    ASSERT_EQ(pack.size(), 14u * record_bytes);
    for (int a = 0; a < 14; ++a) {
        const uint8_t* pa = pack.data() + a * record_bytes + header_bytes;
        // Neither blank nor nearly so: a full-screen picture needs both colours.
        int white = 0;
        for (int i = 0; i < pixel_bytes; ++i) white += __builtin_popcount(pa[i]);
        EXPECT_GT(white, 65536 / 10) << "picture " << a;
        EXPECT_LT(white, 65536 * 9 / 10) << "picture " << a;
        for (int b = a + 1; b < 14; ++b) {
            const uint8_t* pb = pack.data() + b * record_bytes + header_bytes;
            int differing = 0;
            for (int i = 0; i < pixel_bytes; ++i) differing += __builtin_popcount(pa[i] ^ pb[i]);
            EXPECT_GT(differing, 65536 / 10) << "pictures " << a << " and " << b;
        }
    }
    // The copies shown in the README must be the pictures the build makes.
    const char* source = std::getenv("WQ_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "WQ_SOURCE_DIR not set";
    for (int n = 0; n < 14; ++n) {
        char name[40];
        std::snprintf(name, sizeof name, "/docs/pictures/picture%02d.png", n);
        const Gray g = load_gray(source + std::string(name));
        ASSERT_EQ(g.pixels.size(), 65536u) << name;
        int wrong = 0;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                wrong += (g.pixels[y * 256 + x] ? 1 : 0) !=
                         stored_pixel(pack.data() + n * record_bytes + header_bytes, x, y);
            }
        }
        EXPECT_EQ(wrong, 0) << name << " is out of date: run unpack on the default wq.dat";
    }
}

TEST_F(Content, DefaultSongPlaysThroughTheWholeSchedule) {
    const Outcome composed = run(bin("mksong") + " " + path("wq.xm"));
    ASSERT_EQ(composed.status, 0) << composed.output;
    const Outcome rendered = run(bin("xmrender") + " " + path("wq.xm") + " " + path("wq.wav") +
                             " --positions " + path("positions.txt"));
    ASSERT_EQ(rendered.status, 0) << rendered.output;

    const std::vector<uint8_t> wav = read_file(dir / "wq.wav");
    ASSERT_GT(wav.size(), 44u);
    const size_t frames = (wav.size() - 44) / 4;
    const double seconds = frames / 44100.0;
    EXPECT_GT(seconds, 60.0);
    EXPECT_LT(seconds, 120.0);
    auto sample = [&](size_t i) {
        return static_cast<int16_t>(wav[44 + 2 * i] | wav[45 + 2 * i] << 8);
    };

    // Loudness of every order, and the first block that reaches order 10, row 31.
    std::map<int, std::pair<double, size_t>> energy;   // order -> (sum of squares, samples)
    int peak = 0;
    long long end_block = -1;
    std::vector<int> order_sequence;
    std::ifstream positions(path("positions.txt"));
    size_t block;
    int order, row;
    while (positions >> block >> order >> row) {
        if (order == 10 && row == 31 && end_block < 0) end_block = static_cast<long long>(block);
        if (end_block >= 0 && static_cast<long long>(block) > end_block) break;   // the show is over
        if (order_sequence.empty() || order_sequence.back() != order) order_sequence.push_back(order);
        for (size_t i = block * 884 * 2; i < (block + 1) * 884 * 2 && i < frames * 2; ++i) {
            const int v = sample(i);
            energy[order].first += double(v) * v;
            energy[order].second += 1;
            peak = std::max(peak, std::abs(v));
        }
    }
    EXPECT_GE(end_block, 0) << "the song never reaches order 10, row 31";
    EXPECT_EQ(order_sequence, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    for (int o = 0; o <= 10; ++o) {
        const double rms = std::sqrt(energy[o].first / std::max<size_t>(1, energy[o].second));
        EXPECT_GT(rms, 1000.0) << "order " << o << " is (nearly) silent";
    }
    EXPECT_LT(peak, 32767) << "the mix clips";
}

}  // namespace
