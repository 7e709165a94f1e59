// The display as the slideshow needs it: one borderless full-screen window with an
// OpenGL 1.1 context, the keyboard's Escape key, a message box, and the few fixed-function
// GL calls that draw a picture. The app sees only this table of functions, so it builds
// without SDL or GL headers and its tests run against a recording double.
#pragma once
#include <cstdint>

// The OpenGL 1.1 enumerants the slideshow uses (values fixed by the GL ABI).
constexpr uint32_t gl_color_buffer_bit = 0x4000;
constexpr uint32_t gl_quads = 0x0007;
constexpr uint32_t gl_modelview = 0x1700;
constexpr uint32_t gl_projection = 0x1701;
constexpr uint32_t gl_texture_2d = 0x0DE1;
constexpr uint32_t gl_unsigned_byte = 0x1401;
constexpr uint32_t gl_luminance = 0x1909;
constexpr uint32_t gl_texture_mag_filter = 0x2800;
constexpr uint32_t gl_texture_min_filter = 0x2801;
constexpr uint32_t gl_linear = 0x2601;

struct Display {
    // Hides the cursor and creates the window hidden, covering the primary screen at its
    // current resolution, with a double-buffered RGBA context (32 colour bits, 16-bit
    // depth) made current and the keyboard focus requested. False when that fails.
    bool (*create)();
    // Makes the window visible.
    void (*show)();
    // Removes at most one pending window message without waiting for one.
    void (*poll_message)();
    // True when Escape is down now or was pressed since the previous query.
    bool (*escape_pressed)();
    void (*swap)();
    // A modal box with an OK button and no owner window.
    void (*message_box)(const char* caption, const char* text);
    // Gives the screen back as it was found.
    void (*restore)();

    // OpenGL 1.1, one entry per call used.
    void (*matrix_mode)(uint32_t mode);
    void (*ortho)(double left, double right, double bottom, double top, double near_plane,
                  double far_plane);
    void (*enable)(uint32_t capability);
    void (*gen_textures)(int32_t count, uint32_t* names);
    void (*bind_texture)(uint32_t target, uint32_t name);
    void (*tex_image_2d)(uint32_t target, int32_t level, int32_t internal_format, int32_t width,
                         int32_t height, int32_t border, uint32_t format, uint32_t type,
                         const void* pixels);
    void (*tex_parameteri)(uint32_t target, uint32_t name, int32_t value);
    void (*clear)(uint32_t mask);
    void (*begin)(uint32_t mode);
    void (*tex_coord_2f)(float s, float t);
    void (*vertex_2f)(float x, float y);
    void (*end)();
};

// The real display: SDL2 window and OpenGL context.
Display display_sdl();
