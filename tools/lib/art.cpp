#include "lib/art.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "lib/font.h"

namespace {

constexpr int size = picture_size;
constexpr float pi = 3.14159265358979f;

// Grey levels 0..1, line 0 at the top.
using Field = std::vector<float>;

Field field_new(float level = 0.0f) { return Field(size * size, level); }

// Evaluates shade(x, y) at n x n points inside each pixel and keeps the mean, so edges come
// out grey and the dithering draws them smoothly instead of with jagged steps.
void field_shade(Field& field, const std::function<float(float, float)>& shade, int n = 3) {
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float sum = 0.0f;
            for (int j = 0; j < n; ++j) {
                for (int i = 0; i < n; ++i) {
                    sum += shade(x + (i + 0.5f) / n, y + (j + 0.5f) / n);
                }
            }
            field[y * size + x] = sum / (n * n);
        }
    }
}

void field_set(Field& field, int x, int y, float level) {
    if (x >= 0 && x < size && y >= 0 && y < size) field[y * size + x] = level;
}

void field_rect(Field& field, int x0, int y0, int x1, int y1, float level) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) field_set(field, x, y, level);
    }
}

// Text centred on the line at top y.
void field_text(Field& field, const std::string& text, int y, int scale, float level) {
    const int x = (size - font_text_width(text, scale)) / 2;
    font_draw(text, x, y, scale, [&](int px, int py) { field_set(field, px, py, level); });
}

MonoPicture field_to_picture(const Field& field) {
    return picture_dither(picture_gray_from_levels(field));
}

int parity(float v) { return static_cast<int>(std::floor(v)) & 1; }

float radius(float x, float y, float cx = 128.0f, float cy = 128.0f) {
    return std::hypot(x - cx, y - cy);
}

// Small deterministic generator for the stars of the end card.
uint32_t next_random(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// 0 and 1: the title card over rings that narrow outwards; the second phase inverts both,
// so the card flashes on the beat.
MonoPicture draw_title(bool second_phase) {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        const float ring = parity(std::sqrt(radius(x, y)) * 2.2f);
        return second_phase ? 1.0f - ring : ring;
    });
    const float panel = second_phase ? 1.0f : 0.0f;
    const float ink = 1.0f - panel;
    field_rect(f, 40, 58, 216, 198, ink);
    field_rect(f, 44, 62, 212, 194, panel);
    field_text(f, "WQ", 74, 10, ink);
    field_text(f, "A SLIDESHOW", 160, 1, ink);
    field_text(f, "IN STEP WITH A SONG", 172, 1, ink);
    return field_to_picture(f);
}

// 2 and 3: a checkerboard swelling out of the page, then sinking into it with the colours
// swapped.
MonoPicture draw_checker_lens(bool pinch) {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        float u = (x - 128.0f) / 128.0f, v = (y - 128.0f) / 128.0f;
        const float r = std::hypot(u, v), lens = 0.8f;
        if (r < lens && r > 0.0f) {
            const float t = r / lens;
            const float source = lens * (pinch ? std::sqrt(t) : t * (0.45f + 0.55f * t));
            u *= source / r;
            v *= source / r;
        }
        const int cell = parity(u * 7.0f + 7.0f) ^ parity(v * 7.0f + 7.0f);
        return static_cast<float>(pinch ? 1 - cell : cell);
    });
    return field_to_picture(f);
}

// 4: a chequered ball over a chequered floor, shaded in grey; dithering makes it look like
// a photograph.
MonoPicture draw_ball() {
    Field f = field_new();
    const float horizon = 150.0f, cx = 128.0f, cy = 104.0f, r0 = 72.0f;
    const float lx = -0.45f, ly = -0.55f, lz = 0.70f;
    field_shade(f, [&](float x, float y) {
        const float dx = (x - cx) / r0, dy = (y - cy) / r0, d2 = dx * dx + dy * dy;
        if (d2 < 1.0f) {
            const float nz = std::sqrt(1.0f - d2);
            // Tilt the ball a little so the chequer is not axis-aligned.
            const float tilt = 0.35f;
            const float ny = dy * std::cos(tilt) - nz * std::sin(tilt);
            const float nz2 = dy * std::sin(tilt) + nz * std::cos(tilt);
            const float lat = std::asin(std::clamp(ny, -1.0f, 1.0f));
            const float lon = std::atan2(dx, nz2) + 0.3f;
            const int cell = parity(lat / (pi / 8.0f) + 8.0f) ^ parity(lon / (pi / 8.0f) + 16.0f);
            const float diffuse = std::max(0.0f, dx * lx + dy * ly + nz * lz);
            const float rz = 2.0f * nz * (dx * lx + dy * ly + nz * lz) - lz;
            const float specular = std::pow(std::max(0.0f, rz), 24.0f);
            const float base = cell ? 0.95f : 0.3f;
            return base * (0.15f + 0.85f * diffuse) + 0.6f * specular;
        }
        if (y < horizon) return 0.05f + 0.45f * (y / horizon) * (y / horizon);
        const float depth = 1.0f / (y - horizon + 0.5f);
        const float wx = (x - 128.0f) * depth * 6.0f, wz = depth * 60.0f;
        const float tile = static_cast<float>(parity(wx) ^ parity(wz));
        const float haze = std::min(1.0f, (y - horizon) / 60.0f);
        float level = (0.5f + (tile - 0.5f) * haze) * (0.55f + 0.45f * haze);
        // The ball's shadow on the floor.
        const float sx = (x - cx - 14.0f) / 70.0f, sy = (y - 196.0f) / 14.0f;
        if (sx * sx + sy * sy < 1.0f) level *= 0.25f + 0.75f * (sx * sx + sy * sy);
        return level;
    }, 4);
    return field_to_picture(f);
}

// 5: a logarithmic spiral of twelve arms, for the build-up.
MonoPicture draw_spiral() {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        const float r = radius(x, y);
        if (r < 6.0f) return 1.0f;
        const float angle = std::atan2(y - 128.0f, x - 128.0f);
        return static_cast<float>(parity(angle * 12.0f / (2.0f * pi) + std::log(r) * 4.0f + 100.0f));
    }, 4);
    return field_to_picture(f);
}

// 6: two sets of fine rings whose interference draws large moiré fringes.
MonoPicture draw_moire() {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        const int a = parity(radius(x, y, 92.0f, 118.0f) / 4.0f);
        const int b = parity(radius(x, y, 168.0f, 138.0f) / 4.0f);
        return static_cast<float>(a ^ b);
    }, 4);
    return field_to_picture(f);
}

// 7: rays from the centre, their colours swapped inside a disc and in an outer band.
MonoPicture draw_sunburst() {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        const float r = radius(x, y);
        const float angle = std::atan2(y - 128.0f, x - 128.0f);
        const int ray = parity(angle * 48.0f / (2.0f * pi) + 48.0f);
        const int band = (r < 44.0f) || (r > 100.0f && r < 116.0f);
        return static_cast<float>(ray ^ band);
    });
    return field_to_picture(f);
}

// 8: vertical stripes that ripple, most strongly in the middle.
MonoPicture draw_waves() {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        const float amplitude = 14.0f * std::sin(pi * x / 256.0f);
        const float shifted = x + amplitude * std::sin(y * 2.0f * pi / 64.0f);
        return static_cast<float>(parity(shifted / 6.0f));
    });
    return field_to_picture(f);
}

// 9: squares whose columns squeeze together towards a fold, as if the page were bent.
MonoPicture draw_squeeze() {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        // Column coordinate: columns are 16 pixels wide at the edges and about 3 at x = 160.
        const float t = (x - 160.0f) / 160.0f;
        const float column = 10.0f * t + 8.0f * std::tanh(6.0f * t);
        return static_cast<float>(parity(column + 40.0f) ^ parity(y / 16.0f));
    }, 4);
    return field_to_picture(f);
}

// 10: a tunnel of squares, each smaller one turned a little further.
MonoPicture draw_tunnel() {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        const float u = x - 128.0f, v = y - 128.0f;
        int layer = 0;
        for (int k = 0; k < 40; ++k) {
            const float half = 180.0f * std::pow(0.88f, static_cast<float>(k));
            const float a = k * 5.0f * pi / 180.0f;
            const float ru = std::fabs(u * std::cos(a) + v * std::sin(a));
            const float rv = std::fabs(-u * std::sin(a) + v * std::cos(a));
            if (std::max(ru, rv) > half) break;
            layer = k + 1;
        }
        return static_cast<float>(layer & 1);
    });
    return field_to_picture(f);
}

// 11: tumbling blocks, cubes from three shades: white tops, grey left and black right faces.
MonoPicture draw_blocks() {
    Field f = field_new();
    const float side = 22.0f, root3 = std::sqrt(3.0f);
    field_shade(f, [&](float x, float y) {
        // Nearest centre of a pointy-top hexagon grid, by rounding cube coordinates.
        const float q = (root3 / 3.0f * x - y / 3.0f) / side, r = (2.0f / 3.0f * y) / side;
        const float s = -q - r;
        float rq = std::round(q), rr = std::round(r), rs = std::round(s);
        const float dq = std::fabs(rq - q), dr = std::fabs(rr - r), ds = std::fabs(rs - s);
        if (dq > dr && dq > ds) rq = -rr - rs;
        else if (dr > ds) rr = -rq - rs;
        const float hx = side * root3 * (rq + rr / 2.0f), hy = side * 1.5f * rr;
        // The faces meet at the centre along rays to the corners at 30, 150 and 270 degrees.
        const float angle = std::atan2(-(y - hy), x - hx) * 180.0f / pi;
        if (angle >= 30.0f && angle < 150.0f) return 1.0f;
        if (angle >= 150.0f || angle < -90.0f) return 0.45f;
        return 0.0f;
    });
    return field_to_picture(f);
}

// 12: a sunset over the sea: striped sun, mountains, reflections; the greys are dithered.
MonoPicture draw_sunset() {
    Field f = field_new();
    const float horizon = 168.0f, sun_x = 128.0f, sun_y = 108.0f, sun_r = 54.0f;
    auto ridge = [](float x) {
        return 158.0f - 14.0f * std::sin(x * 0.031f + 1.0f) - 9.0f * std::sin(x * 0.083f + 2.0f) -
               4.0f * std::sin(x * 0.21f);
    };
    field_shade(f, [&](float x, float y) {
        if (y < horizon) {
            if (y > ridge(x)) return 0.0f;
            const float r = radius(x, y, sun_x, sun_y);
            if (r < sun_r) {
                // Stripes cut the lower half of the sun, wider towards the horizon.
                const float below = (y - sun_y) / sun_r;
                if (below > 0.0f) {
                    const float stripe = std::fmod(y - sun_y, 12.0f);
                    if (stripe < 12.0f * below * 0.55f) return 0.05f;
                }
                return 1.0f;
            }
            const float glow = std::max(0.0f, 1.0f - (r - sun_r) / 90.0f);
            return 0.08f + 0.35f * (y / horizon) + 0.45f * glow * glow;
        }
        const float depth = (y - horizon) / (size - horizon);
        const float wave = std::sin(x * 0.09f + y * y * 0.02f) * 0.5f + 0.5f;
        float level = 0.35f - 0.25f * depth + 0.08f * wave;
        // Sun reflection: broken streaks that widen towards the viewer.
        const float half_width = sun_r * (0.6f + 0.6f * depth) * (0.6f + 0.4f * wave);
        if (std::fabs(x - sun_x) < half_width && parity(y / 3.0f) == 0) level = 0.9f;
        return level;
    });
    return field_to_picture(f);
}

// 13: the end card, over stars and a soft glow; it stays on screen to the last note.
MonoPicture draw_end_card() {
    Field f = field_new();
    field_shade(f, [&](float x, float y) {
        const float r = radius(x, y) / 181.0f;
        return 0.42f * (1.0f - r) * (1.0f - r);
    }, 1);
    uint32_t state = 0x2545F491u;
    for (int i = 0; i < 90; ++i) {
        const int x = static_cast<int>(next_random(state) % size);
        const int y = static_cast<int>(next_random(state) % size);
        field_set(f, x, y, 1.0f);
        if (next_random(state) % 5 == 0) {
            field_set(f, x + 1, y, 1.0f);
            field_set(f, x - 1, y, 1.0f);
            field_set(f, x, y + 1, 1.0f);
            field_set(f, x, y - 1, 1.0f);
        }
    }
    field_rect(f, 18, 84, 238, 172, 0.0f);
    field_rect(f, 20, 86, 236, 88, 1.0f);
    field_rect(f, 20, 168, 236, 170, 1.0f);
    field_text(f, "THE END", 100, 5, 1.0f);
    field_text(f, "THANKS FOR WATCHING", 146, 1, 1.0f);
    field_text(f, "PICTURES AND MUSIC MADE BY CODE", 156, 1, 1.0f);
    return field_to_picture(f);
}

}  // namespace

std::vector<ArtPicture> art_default_pictures() {
    return {
        {"title", draw_title(false)},   {"title-inverse", draw_title(true)},
        {"bulge", draw_checker_lens(false)}, {"pinch", draw_checker_lens(true)},
        {"ball", draw_ball()},          {"spiral", draw_spiral()},
        {"moire", draw_moire()},        {"sunburst", draw_sunburst()},
        {"waves", draw_waves()},        {"squeeze", draw_squeeze()},
        {"tunnel", draw_tunnel()},      {"blocks", draw_blocks()},
        {"sunset", draw_sunset()},      {"the-end", draw_end_card()},
    };
}
