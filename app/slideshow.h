// The slideshow: start-up, the picture schedule, the frame loop and shutdown.
#pragma once
#include <cstdint>
#include "app/image_pack.h"
#include "module/song.h"
#include "module/stream.h"
#include "platform/display.h"

// The six player operations the slideshow uses, as a table so that tests can stand in
// for the player.
struct PlayerOps {
    void (*set_callbacks)(StreamOpenFn open, StreamCloseFn close, StreamReadFn read,
                          StreamSeekFn seek, StreamTellFn tell);
    Song* (*load)(const char* name, SampleLoadCallback sample_load_callback);
    bool (*start)(Song* song);
    int32_t (*get_order)(Song* song);
    int32_t (*get_row)(Song* song);
    bool (*free)(Song* song);
};

// The real player.
PlayerOps slideshow_player_ops();

constexpr const char* song_file_name = "wq.xm";
// The presentation ends when a frame sees this position.
constexpr int32_t end_order = 10;
constexpr int32_t end_row = 31;

struct Slideshow {
    uint32_t picture_textures[picture_count];
    Song* song;
    // The picture the previous frame drew; 0 before the first frame.
    int32_t previous_picture;
};

// The picture for an audible position; orders above 9 keep the previous picture.
int32_t picture_for_position(int32_t order, int32_t row, int32_t previous_picture);

// Orthographic view of 8 x 6 units over the whole window, texturing on.
void slideshow_set_up_view(const Display& display);

// One picture per frame until a frame reads the end position or Escape is pressed.
void run_frame_loop(const Display& display, const PlayerOps& player, Slideshow& show);

// The whole run from window creation to shutdown. Always returns 0, the exit status.
int slideshow_run(const Display& display, const PlayerOps& player);
