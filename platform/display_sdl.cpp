// The display on SDL2: a borderless window over the primary screen with an OpenGL 1.1
// compatibility context. The window, context and textures live until the process ends.
#include <SDL.h>
#include <SDL_opengl.h>
#include <atomic>
#include <type_traits>
#include "platform/display.h"

static_assert(std::is_same_v<GLenum, uint32_t> && std::is_same_v<GLuint, uint32_t> &&
              std::is_same_v<GLint, int32_t> && std::is_same_v<GLsizei, int32_t> &&
              std::is_same_v<GLbitfield, uint32_t>);
static_assert(gl_color_buffer_bit == GL_COLOR_BUFFER_BIT && gl_quads == GL_QUADS &&
              gl_modelview == GL_MODELVIEW && gl_projection == GL_PROJECTION &&
              gl_texture_2d == GL_TEXTURE_2D && gl_unsigned_byte == GL_UNSIGNED_BYTE &&
              gl_luminance == GL_LUMINANCE && gl_texture_mag_filter == GL_TEXTURE_MAG_FILTER &&
              gl_texture_min_filter == GL_TEXTURE_MIN_FILTER && gl_linear == GL_LINEAR);

static SDL_Window* display_window = nullptr;
static SDL_GLContext display_context = nullptr;

// A quick press and release can fall between two pumps and never show in the keyboard
// state, so key-down events are latched as they enter the queue. Written by whichever
// thread pumps events, read by the frame loop.
static std::atomic<bool> escape_latch{false};

static int display_watch_keys(void*, SDL_Event* event) {
    if (event->type == SDL_KEYDOWN && event->key.keysym.scancode == SDL_SCANCODE_ESCAPE)
        escape_latch.store(true);
    return 1;
}

static void display_request_attributes(int alpha_bits) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
}

static bool display_open_window(const SDL_Rect& bounds, int alpha_bits) {
    display_request_attributes(alpha_bits);
    display_window = SDL_CreateWindow(nullptr, bounds.x, bounds.y, bounds.w, bounds.h,
                                      SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS |
                                          SDL_WINDOW_HIDDEN);
    if (!display_window) return false;
    display_context = SDL_GL_CreateContext(display_window);
    if (display_context) return true;
    SDL_DestroyWindow(display_window);
    display_window = nullptr;
    return false;
}

static bool display_sdl_create() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_ShowCursor(SDL_DISABLE);
    // The desktop's own mode: the screen is covered at its current resolution and the
    // mode is never changed.
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) != 0) return false;
    // 32 colour bits means an alpha channel where the visual has one; a visual without
    // alpha still has the 24 bits of colour the pictures need.
    if (!display_open_window(bounds, 8) && !display_open_window(bounds, 0)) return false;
    if (SDL_GL_MakeCurrent(display_window, display_context) != 0) return false;
    // Wait for the vertical blank where the driver offers it, so that the loop does not
    // draw frames nobody sees; where it doesn't, frames follow each other freely.
    SDL_GL_SetSwapInterval(1);
    SDL_AddEventWatch(display_watch_keys, nullptr);
    return true;
}

static void display_sdl_show() {
    SDL_ShowWindow(display_window);
    // Raising only acts on a shown window: this is where it can take the keyboard focus.
    SDL_RaiseWindow(display_window);
}

static void display_sdl_poll_message() {
    SDL_Event event;
    SDL_PollEvent(&event);
}

static bool display_sdl_escape_pressed() {
    SDL_PumpEvents();
    bool down = SDL_GetKeyboardState(nullptr)[SDL_SCANCODE_ESCAPE] != 0;
    bool pressed = escape_latch.exchange(false);
    return down || pressed;
}

static void display_sdl_swap() { SDL_GL_SwapWindow(display_window); }

static void display_sdl_message_box(const char* caption, const char* text) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
}

// The display mode was never changed; shutting SDL down hands the screen back and closes
// the connection to it.
static void display_sdl_restore() { SDL_Quit(); }

Display display_sdl() {
    Display display{};
    display.create = display_sdl_create;
    display.show = display_sdl_show;
    display.poll_message = display_sdl_poll_message;
    display.escape_pressed = display_sdl_escape_pressed;
    display.swap = display_sdl_swap;
    display.message_box = display_sdl_message_box;
    display.restore = display_sdl_restore;
    display.matrix_mode = glMatrixMode;
    display.ortho = glOrtho;
    display.enable = glEnable;
    display.gen_textures = glGenTextures;
    display.bind_texture = glBindTexture;
    display.tex_image_2d = glTexImage2D;
    display.tex_parameteri = glTexParameteri;
    display.clear = glClear;
    display.begin = glBegin;
    display.tex_coord_2f = glTexCoord2f;
    display.vertex_2f = glVertex2f;
    display.end = glEnd;
    return display;
}
