// Both halves of the volume column, each a table indexed by the byte's high nibble.
#include "sequencer/volume_column.h"
#include "sequencer/oscillators.h"
#include "sequencer/row_start.h"

namespace {

using VolumeColumnFn = void (*)(ChannelState* ch, uint8_t value);

int32_t low_nibble(uint8_t value) { return value & 0x0F; }

void column_nothing(ChannelState*, uint8_t) {}

void column_slide_down(ChannelState* ch, uint8_t value) {
    ch->volume -= low_nibble(value);
    if (ch->volume < 0)
        ch->volume = 0;
    ch->update_flags |= update_volume;
}

void column_slide_up(ChannelState* ch, uint8_t value) {
    ch->volume += low_nibble(value);
    if (ch->volume > 64)
        ch->volume = 64;
    ch->update_flags |= update_volume;
}

// Panning slides have no limit here; the voice update clamps the final pan.
void column_pan_left(ChannelState* ch, uint8_t value) {
    ch->panning -= low_nibble(value);
    ch->update_flags |= update_panning;
}

void column_pan_right(ChannelState* ch, uint8_t value) {
    ch->panning += low_nibble(value);
    ch->update_flags |= update_panning;
}

// 0x10..0x50
void row_set_volume(ChannelState* ch, uint8_t value) {
    if (value > 0x50)
        return;
    ch->volume = value - 0x10;
    ch->update_flags |= update_volume;
}

// 0xAy
void row_vibrato_speed(ChannelState* ch, uint8_t value) { ch->vibrato_speed = low_nibble(value); }

// 0xBy
void row_vibrato_depth(ChannelState* ch, uint8_t value) { ch->vibrato_depth = low_nibble(value); }

// 0xCy
void row_set_panning(ChannelState* ch, uint8_t value) {
    ch->panning = low_nibble(value) * 16;
    ch->update_flags |= update_panning;
}

// 0xFy: the note has already taken its new period, so only the restart is held back.
void row_tone_porta(ChannelState* ch, uint8_t value) {
    if (low_nibble(value) != 0)
        ch->porta_speed = static_cast<uint8_t>(low_nibble(value) * 16);
    ch->porta_target_period = ch->note_period;
    ch->update_flags &= static_cast<uint8_t>(~update_trigger);
}

// 0xBy on later ticks: the depth is taken even when it is 0.
void tick_vibrato(ChannelState* ch, uint8_t value) {
    ch->vibrato_depth = low_nibble(value);
    vibrato_step(ch);
    vibrato_advance(ch);
}

// 0xFy on later ticks
void tick_tone_porta(ChannelState* ch, uint8_t) { tone_porta_step(ch); }

constexpr VolumeColumnFn row_start_column[16] = {
    column_nothing,     // 0x0y
    row_set_volume,     // 0x1y
    row_set_volume,     // 0x2y
    row_set_volume,     // 0x3y
    row_set_volume,     // 0x4y
    row_set_volume,     // 0x5y: only 0x50 sets a volume
    column_slide_down,  // 0x6y volume slide down
    column_slide_up,    // 0x7y volume slide up
    column_slide_down,  // 0x8y fine volume slide down
    column_slide_up,    // 0x9y fine volume slide up
    row_vibrato_speed,  // 0xAy
    row_vibrato_depth,  // 0xBy
    row_set_panning,    // 0xCy
    column_pan_left,    // 0xDy
    column_pan_right,   // 0xEy
    row_tone_porta,     // 0xFy
};

constexpr VolumeColumnFn later_tick_column[16] = {
    column_nothing,     // 0x0y
    column_nothing,     // 0x1y set volume: row start only
    column_nothing,     // 0x2y
    column_nothing,     // 0x3y
    column_nothing,     // 0x4y
    column_nothing,     // 0x5y
    column_slide_down,  // 0x6y volume slide down
    column_slide_up,    // 0x7y volume slide up
    column_nothing,     // 0x8y fine slides act at the row start only
    column_nothing,     // 0x9y
    column_nothing,     // 0xAy vibrato speed: row start only
    tick_vibrato,       // 0xBy vibrato
    column_nothing,     // 0xCy set panning: row start only
    column_pan_left,    // 0xDy
    column_pan_right,   // 0xEy
    tick_tone_porta,    // 0xFy tone portamento
};

}  // namespace

void apply_volume_column(ChannelState* channel, uint8_t value) {
    row_start_column[value >> 4](channel, value);
}

void volume_column_tick(ChannelState* channel, uint8_t value) {
    later_tick_column[value >> 4](channel, value);
}
