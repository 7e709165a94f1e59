// mkpictures OUTDIR: draws the show's fourteen default pictures as one-bit BMP files
// picture00.bmp .. picture13.bmp, ready for mkpack.
#include <cstdio>
#include <filesystem>
#include <string>

#include "lib/art.h"
#include "lib/picture_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkpictures OUTDIR\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    const std::vector<ArtPicture> pictures = art_default_pictures();
    for (size_t n = 0; n < pictures.size(); ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "picture%02zu.bmp", n);
        const std::string path = (std::filesystem::path(argv[1]) / name).string();
        std::string error;
        if (!picture_file_write_bmp(path, pictures[n].picture, error)) {
            std::fprintf(stderr, "mkpictures: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
