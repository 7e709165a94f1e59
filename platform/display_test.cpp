#include "platform/display_test.h"
#include <cstring>

static std::vector<DisplayCall> test_calls;
static DisplayTestScript test_script;
static size_t test_escape_queries = 0;
static uint32_t test_next_name = 1;

static DisplayCall& display_test_record(DisplayCallKind kind, std::vector<double> args = {}) {
    test_calls.push_back(DisplayCall{kind, std::move(args), {}, {}, {}});
    return test_calls.back();
}

static bool display_test_create() {
    display_test_record(DisplayCallKind::create);
    return test_script.create_result;
}

static void display_test_show() { display_test_record(DisplayCallKind::show); }
static void display_test_poll_message() { display_test_record(DisplayCallKind::poll_message); }

static bool display_test_escape_pressed() {
    display_test_record(DisplayCallKind::escape_pressed);
    size_t query = test_escape_queries++;
    return query < test_script.escape_answers.size() && test_script.escape_answers[query];
}

static void display_test_swap() { display_test_record(DisplayCallKind::swap); }

static void display_test_message_box(const char* caption, const char* text) {
    DisplayCall& call = display_test_record(DisplayCallKind::message_box);
    call.caption = caption;
    call.text = text;
}

static void display_test_restore() { display_test_record(DisplayCallKind::restore); }

static void display_test_matrix_mode(uint32_t mode) {
    display_test_record(DisplayCallKind::matrix_mode, {double(mode)});
}

static void display_test_ortho(double left, double right, double bottom, double top,
                               double near_plane, double far_plane) {
    display_test_record(DisplayCallKind::ortho, {left, right, bottom, top, near_plane, far_plane});
}

static void display_test_enable(uint32_t capability) {
    display_test_record(DisplayCallKind::enable, {double(capability)});
}

static void display_test_gen_textures(int32_t count, uint32_t* names) {
    display_test_record(DisplayCallKind::gen_textures, {double(count)});
    for (int32_t i = 0; i < count; i++) names[i] = test_next_name++;
}

static void display_test_bind_texture(uint32_t target, uint32_t name) {
    display_test_record(DisplayCallKind::bind_texture, {double(target), double(name)});
}

static void display_test_tex_image_2d(uint32_t target, int32_t level, int32_t internal_format,
                                      int32_t width, int32_t height, int32_t border,
                                      uint32_t format, uint32_t type, const void* pixels) {
    DisplayCall& call = display_test_record(
        DisplayCallKind::tex_image_2d,
        {double(target), double(level), double(internal_format), double(width), double(height),
         double(border), double(format), double(type)});
    if (pixels && width > 0 && height > 0) {
        call.image.resize(size_t(width) * size_t(height));
        std::memcpy(call.image.data(), pixels, call.image.size());
    }
}

static void display_test_tex_parameteri(uint32_t target, uint32_t name, int32_t value) {
    display_test_record(DisplayCallKind::tex_parameteri, {double(target), double(name), double(value)});
}

static void display_test_clear(uint32_t mask) {
    display_test_record(DisplayCallKind::clear, {double(mask)});
}

static void display_test_begin(uint32_t mode) {
    display_test_record(DisplayCallKind::begin, {double(mode)});
}

static void display_test_tex_coord_2f(float s, float t) {
    display_test_record(DisplayCallKind::tex_coord_2f, {s, t});
}

static void display_test_vertex_2f(float x, float y) {
    display_test_record(DisplayCallKind::vertex_2f, {x, y});
}

static void display_test_end() { display_test_record(DisplayCallKind::end); }

Display display_test() {
    Display display{};
    display.create = display_test_create;
    display.show = display_test_show;
    display.poll_message = display_test_poll_message;
    display.escape_pressed = display_test_escape_pressed;
    display.swap = display_test_swap;
    display.message_box = display_test_message_box;
    display.restore = display_test_restore;
    display.matrix_mode = display_test_matrix_mode;
    display.ortho = display_test_ortho;
    display.enable = display_test_enable;
    display.gen_textures = display_test_gen_textures;
    display.bind_texture = display_test_bind_texture;
    display.tex_image_2d = display_test_tex_image_2d;
    display.tex_parameteri = display_test_tex_parameteri;
    display.clear = display_test_clear;
    display.begin = display_test_begin;
    display.tex_coord_2f = display_test_tex_coord_2f;
    display.vertex_2f = display_test_vertex_2f;
    display.end = display_test_end;
    return display;
}

void display_test_reset(const DisplayTestScript& script) {
    test_calls.clear();
    test_script = script;
    test_escape_queries = 0;
    test_next_name = 1;
}

const std::vector<DisplayCall>& display_test_calls() { return test_calls; }

int display_test_count(DisplayCallKind kind) {
    int count = 0;
    for (const DisplayCall& call : test_calls) count += call.kind == kind;
    return count;
}
