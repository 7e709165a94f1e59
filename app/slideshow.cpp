#include "app/slideshow.h"
#include "audio/player.h"
#include "module/file_stream.h"
#include "module/xm_reader.h"

PlayerOps slideshow_player_ops() {
    return PlayerOps{stream_set_callbacks, song_load, player_start,
                     player_get_order,     player_get_row, song_free};
}

// Two pictures alternating every four rows.
static int32_t picture_pair(int32_t first, uint32_t row) { return row % 8 < 4 ? first : first + 1; }

int32_t picture_for_position(int32_t order, int32_t signed_row, int32_t previous_picture) {
    // Rows are 0..255; taken unsigned, any other value still picks one of the 14 pictures.
    uint32_t row = uint32_t(signed_row);
    switch (order) {
    case 0: return picture_pair(0, row);
    case 1: {
        uint32_t beat = row % 16;
        return beat < 8 ? 4 : beat < 12 ? 0 : 1;
    }
    case 2: return picture_pair(2, row);
    case 3: return row < 48 ? 4 : 5;
    case 4: return picture_pair(6, row);
    case 5: return picture_pair(8, row);
    case 6: return picture_pair(0, row);
    case 7: return row < 32 ? picture_pair(2, row) : picture_pair(6, row);
    case 8: return row < 32 ? picture_pair(8, row) : picture_pair(0, row);
    case 9: return 10 + int32_t(row % 32 / 8);
    default: return previous_picture;
    }
}

void slideshow_set_up_view(const Display& display) {
    display.matrix_mode(gl_projection);
    display.ortho(-4, 4, -3, 3, -1, 1);
    display.matrix_mode(gl_modelview);
    display.enable(gl_texture_2d);
}

// The pictures are stored transposed; these texture coordinates turn them upright, first
// stored row along the bottom edge.
static void slideshow_draw_quad(const Display& display) {
    display.begin(gl_quads);
    display.tex_coord_2f(1, 0);
    display.vertex_2f(-4, 3);
    display.tex_coord_2f(0, 0);
    display.vertex_2f(-4, -3);
    display.tex_coord_2f(0, 1);
    display.vertex_2f(4, -3);
    display.tex_coord_2f(1, 1);
    display.vertex_2f(4, 3);
    display.end();
}

void run_frame_loop(const Display& display, const PlayerOps& player, Slideshow& show) {
    for (;;) {
        display.poll_message();
        display.clear(gl_color_buffer_bit);
        int32_t order = player.get_order(show.song);
        int32_t row = player.get_row(show.song);
        int32_t picture = picture_for_position(order, row, show.previous_picture);
        show.previous_picture = picture;
        display.bind_texture(gl_texture_2d, show.picture_textures[picture]);
        slideshow_draw_quad(display);
        display.swap();
        // Escape is asked on every pass, so that "pressed since the last query" never
        // reaches back further than one frame.
        bool escape = display.escape_pressed();
        if ((order == end_order && row == end_row) || escape) return;
    }
}

int slideshow_run(const Display& display, const PlayerOps& player) {
    if (!display.create()) {
        display.message_box("ERROR", "Cannot open the display");
        return 0;
    }
    slideshow_set_up_view(display);
    Slideshow show{};
    if (!load_image_pack(display, show.picture_textures)) {
        display.message_box("ERROR", ".dat not found!");
        return 0;
    }
    // Installed only now: the image pack is read with the C library directly.
    player.set_callbacks(host_open, host_close, host_read, host_seek, host_tell);
    show.song = player.load(song_file_name, nullptr);
    if (!show.song) {
        display.message_box("ERROR", "Error loading song");
        return 0;
    }
    // Not checked: without sound the pictures still follow whatever position is reported.
    player.start(show.song);
    display.show();
    if (!display.escape_pressed()) run_frame_loop(display, player, show);
    player.free(show.song);
    display.restore();
    return 0;
}
