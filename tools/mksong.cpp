// mksong OUT.xm: composes the show's default song and writes it as an XM module.
#include <cstdio>

#include "lib/composition.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mksong OUT.xm\n");
        return 2;
    }
    if (!xm_write_file(argv[1], composition_default_song())) {
        std::fprintf(stderr, "mksong: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
