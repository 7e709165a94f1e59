// A display that records every call instead of drawing, for tests of the slideshow. The
// answers it gives (window creation, Escape) are scripted; everything is process-wide.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "platform/display.h"

enum class DisplayCallKind {
    create, show, poll_message, escape_pressed, swap, message_box, restore,
    matrix_mode, ortho, enable, gen_textures, bind_texture, tex_image_2d, tex_parameteri,
    clear, begin, tex_coord_2f, vertex_2f, end,
};

struct DisplayCall {
    DisplayCallKind kind;
    std::vector<double> args;   // the numeric arguments in call order
    std::string caption;        // message_box only
    std::string text;
    std::vector<uint8_t> image; // tex_image_2d only: width x height bytes as passed
};

struct DisplayTestScript {
    bool create_result = true;
    // Answers of escape_pressed in turn; false once they run out.
    std::vector<bool> escape_answers;
};

Display display_test();
// Forgets the recorded calls, installs the script and restarts texture names at 1.
void display_test_reset(const DisplayTestScript& script = {});
const std::vector<DisplayCall>& display_test_calls();
int display_test_count(DisplayCallKind kind);
