#include "audio/player.h"
#include "audio/voice.h"
#include "sequencer/channel.h"
Voice voices[voice_count];
ChannelState channels[max_channels];
int32_t block_frames = 884;
int32_t ring_frames = 88400;
int32_t block_count = 100;
int32_t ramp_frames = 128;
float inv_ramp = 1.0f / 128.0f;
std::atomic<uint8_t> stop_request{0};
std::atomic<uint8_t> mixing_busy{0};
std::atomic<uint8_t> thread_exited{1};
bool player_start(Song*) { return false; }
bool player_stop(Song* song) { return song != nullptr; }
int32_t player_get_order(Song*) { return 0; }
int32_t player_get_row(Song*) { return 0; }
void fill_block() {}
void float_to_pcm16(int16_t*, const float*, int32_t) {}
