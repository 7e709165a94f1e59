// mkpack OUT.dat PIC1 ... PIC14: builds an image pack from fourteen BMP or PNG pictures.
#include <cstdio>
#include <string>
#include <vector>

#include "lib/picture_file.h"

int main(int argc, char** argv) {
    if (argc != 2 + pack_picture_count) {
        std::fprintf(stderr,
                     "usage: mkpack OUT.dat PIC1 ... PIC14\n"
                     "  needs exactly 14 pictures (BMP or PNG), got %d\n",
                     argc < 2 ? 0 : argc - 2);
        return 2;
    }
    std::vector<uint8_t> pack;
    pack.reserve(static_cast<size_t>(pack_picture_count) * picture_record_bytes);
    for (int n = 0; n < pack_picture_count; ++n) {
        PackRecord record;
        std::string error;
        if (!picture_file_read_record(argv[2 + n], record, error)) {
            std::fprintf(stderr, "mkpack: picture %d: %s\n", n, error.c_str());
            return 1;
        }
        pack.insert(pack.end(), record.bytes, record.bytes + picture_record_bytes);
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::fprintf(stderr, "mkpack: cannot write %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(pack.data(), 1, pack.size(), out) == pack.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "mkpack: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
