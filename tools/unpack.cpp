// unpack PACK.dat OUTDIR: writes the fourteen pictures of a pack as PNG files, the way
// the slideshow shows them (first stored line at the bottom, a set bit white).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "lib/picture_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: unpack PACK.dat OUTDIR\n");
        return 2;
    }
    std::vector<MonoPicture> pictures;
    std::string error;
    if (!picture_file_read_pack(argv[1], pictures, error)) {
        std::fprintf(stderr, "unpack: %s\n", error.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[2], ec);
    for (int n = 0; n < pack_picture_count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "picture%02d.png", n);
        const std::string path = (std::filesystem::path(argv[2]) / name).string();
        if (!picture_file_write_png(path, pictures[n], error)) {
            std::fprintf(stderr, "unpack: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
