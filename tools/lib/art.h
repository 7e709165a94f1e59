// The show's own fourteen pictures, drawn procedurally.
#pragma once
#include <string>
#include <vector>

#include "lib/picture.h"

struct ArtPicture {
    std::string name;   // short file-name stem, e.g. "title"
    MonoPicture picture;
};

// All fourteen, in pack order. The slideshow alternates 0/1, 2/3, 6/7 and 8/9 on the beat,
// holds 4 and then 5 through the breakdown, and steps through 10..13 at the end, so the
// pairs are drawn as two phases of one motion.
std::vector<ArtPicture> art_default_pictures();
