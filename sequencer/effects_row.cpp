// One function per effect at tick 0, found through row_effects[effect] and, for the
// E sub-effects, row_extended[x]. Memories are stored here for the later ticks.
#include "sequencer/effects_row.h"
#include "audio/voice.h"
#include "sequencer/envelopes.h"
#include "sequencer/oscillators.h"
#include "sequencer/period_slide.h"
#include "sequencer/tick_clock.h"

namespace {

using RowEffectFn = void (*)(RowEffectContext& fx);

uint8_t param(const RowEffectContext& fx) { return fx.cell->effect_param; }
uint8_t param_x(const RowEffectContext& fx) { return fx.cell->effect_param >> 4; }
uint8_t param_y(const RowEffectContext& fx) { return fx.cell->effect_param & 0x0F; }

void remember(uint8_t* memory, uint8_t value) {
    if (value != 0)
        *memory = value;
}

void clear_flags(ChannelState* ch, uint8_t bits) {
    ch->update_flags &= static_cast<uint8_t>(~bits);
}

void row_nothing(RowEffectContext&) {}

// 1
void row_porta_up(RowEffectContext& fx) { remember(&fx.channel->porta_up_memory, param(fx)); }

// 2
void row_porta_down(RowEffectContext& fx) { remember(&fx.channel->porta_down_memory, param(fx)); }

// 3: the note stays where it is and becomes the target.
void row_tone_porta(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    remember(&ch->porta_speed, param(fx));
    ch->porta_target_period = ch->note_period;
    clear_flags(ch, update_trigger | update_pitch);
}

// 4: the position moves only on later ticks.
void row_vibrato(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    if (param_x(fx) != 0)
        ch->vibrato_speed = param_x(fx);
    if (param_y(fx) != 0)
        ch->vibrato_depth = param_y(fx);
    vibrato_step(ch);
}

// 5
void row_tone_porta_volume_slide(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    ch->porta_target_period = ch->note_period;
    remember(&ch->volume_slide_memory, param(fx));
    clear_flags(ch, update_trigger | update_pitch);
}

// 6
void row_vibrato_volume_slide(RowEffectContext& fx) {
    remember(&fx.channel->volume_slide_memory, param(fx));
    vibrato_step(fx.channel);
}

// 7: no tremolo step at tick 0.
void row_tremolo(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    if (param_x(fx) != 0)
        ch->tremolo_speed = param_x(fx);
    if (param_y(fx) != 0)
        ch->tremolo_depth = param_y(fx);
}

// 8
void row_set_panning(RowEffectContext& fx) {
    fx.channel->panning = param(fx);
    fx.channel->update_flags |= update_panning;
}

// 9: an offset inside the sample arms the next trigger; one beyond its end restarts the
// playing sample from frame 0 instead of starting a new note.
void row_sample_offset(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    if (param(fx) != 0)
        ch->sample_offset_memory = param(fx);
    const uint32_t offset = static_cast<uint32_t>(ch->sample_offset_memory) * 256u;
    const uint32_t loop_end = fx.sample->loop_start + fx.sample->loop_length;
    if (offset < loop_end) {
        if (ch->voice != nullptr)
            ch->voice->start_offset = offset;
    } else {
        clear_flags(ch, update_trigger);
        ch->update_flags |= update_restart;
    }
}

// A
void row_volume_slide(RowEffectContext& fx) { remember(&fx.channel->volume_slide_memory, param(fx)); }

// B
void row_position_jump(RowEffectContext& fx) {
    Song* song = fx.song;
    song->next_row = 0;
    song->next_order = param(fx) < song->song_length ? param(fx) : 0;
    *fx.position_jump = true;
}

// C: values above 64 are kept; slides bring them back into range.
void row_set_volume(RowEffectContext& fx) {
    fx.channel->volume = param(fx);
    fx.channel->update_flags |= update_volume;
}

// D: the row is written in decimal digits; a B earlier in the row keeps its order.
void row_pattern_break(RowEffectContext& fx) {
    Song* song = fx.song;
    const int32_t row = 10 * param_x(fx) + param_y(fx);
    song->next_row = row > 63 ? 0 : row;
    if (!*fx.position_jump)
        song->next_order = song->order + 1;
    if (song->next_order >= song->song_length)
        song->next_order = 0;
}

// F
void row_set_speed(RowEffectContext& fx) {
    if (param(fx) < 32)
        fx.song->speed = param(fx);
    else
        set_bpm(fx.song, param(fx));
}

// G
void row_set_global_volume(RowEffectContext& fx) {
    fx.song->global_volume = param(fx) > 64 ? 64 : param(fx);
    fx.channel->update_flags |= update_volume;
}

// H
void row_global_volume_slide(RowEffectContext& fx) {
    remember(&fx.song->global_volume_slide_memory, param(fx));
}

// L: after the row's envelope step, so the next tick continues from the new position.
void row_set_envelope_position(RowEffectContext& fx) {
    if (fx.instrument->volume_envelope_flags & 1)
        envelope_set_position(fx.channel, fx.instrument, param(fx));
}

// P
void row_panning_slide(RowEffectContext& fx) {
    if (param(fx) == 0)
        return;
    fx.channel->panning_slide_memory = param(fx);
    fx.channel->update_flags |= update_panning;
}

// R
void row_multi_retrigger(RowEffectContext& fx) {
    if (param(fx) == 0)
        return;
    fx.channel->retrig_volume_mode = param_x(fx);
    fx.channel->retrig_interval = param_y(fx);
}

// T: the cycle also runs on tick 0.
void row_tremor(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    if (param(fx) != 0) {
        ch->tremor_on_ticks = static_cast<uint8_t>(param_x(fx) + 1);
        ch->tremor_off_ticks = static_cast<uint8_t>(param_y(fx) + 1);
    }
    tremor_step(ch);
}

// X1y, X2y
void row_extra_fine_porta(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    if (param_x(fx) == 1) {
        remember(&ch->extra_fine_porta_up_memory, param_y(fx));
        ch->period = period_slide(ch->period, -ch->extra_fine_porta_up_memory);
    } else if (param_x(fx) == 2) {
        remember(&ch->extra_fine_porta_down_memory, param_y(fx));
        ch->period = period_slide(ch->period, ch->extra_fine_porta_down_memory);
    }
}

// E1y
void row_fine_porta_up(RowEffectContext& fx) {
    remember(&fx.channel->fine_porta_up_memory, param_y(fx));
    fx.channel->period = period_slide(fx.channel->period, -4 * fx.channel->fine_porta_up_memory);
}

// E2y
void row_fine_porta_down(RowEffectContext& fx) {
    remember(&fx.channel->fine_porta_down_memory, param_y(fx));
    fx.channel->period = period_slide(fx.channel->period, 4 * fx.channel->fine_porta_down_memory);
}

// E4y
void row_vibrato_waveform(RowEffectContext& fx) {
    fx.channel->wave_control = static_cast<uint8_t>((fx.channel->wave_control & 0xF0) | param_y(fx));
}

// E5y: rewrites the shared sample record, heard from its next note on.
void row_set_finetune(RowEffectContext& fx) { fx.sample->finetune = static_cast<int8_t>(param_y(fx)); }

// E6y: E60 marks the row; E6y with y > 0 jumps back y more times.
void row_pattern_loop(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    if (param_y(fx) == 0) {
        ch->loop_row = fx.song->row;
        return;
    }
    if (ch->loop_count == 0)
        ch->loop_count = param_y(fx);
    else
        ch->loop_count -= 1;
    if (ch->loop_count != 0)
        fx.song->next_row = ch->loop_row;
}

// E7y
void row_tremolo_waveform(RowEffectContext& fx) {
    fx.channel->wave_control = static_cast<uint8_t>((fx.channel->wave_control & 0x0F) | (param_y(fx) << 4));
}

// E8y
void row_coarse_panning(RowEffectContext& fx) {
    fx.channel->panning = param_y(fx) * 16;
    fx.channel->update_flags |= update_panning;
}

// EAy
void row_fine_volume_up(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    remember(&ch->fine_volume_slide_memory, param_y(fx));
    ch->volume += ch->fine_volume_slide_memory;
    if (ch->volume > 64)
        ch->volume = 64;
    ch->update_flags |= update_volume;
}

// EBy
void row_fine_volume_down(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    remember(&ch->fine_volume_slide_memory, param_y(fx));
    ch->volume -= ch->fine_volume_slide_memory;
    if (ch->volume < 0)
        ch->volume = 0;
    ch->update_flags |= update_volume;
}

// EDy: the row's note is taken in, but the voice keeps hearing the old one until tick y.
void row_note_delay(RowEffectContext& fx) {
    ChannelState* ch = fx.channel;
    ch->period = fx.saved_period;
    ch->volume = fx.saved_volume;
    ch->panning = fx.saved_panning;
    clear_flags(ch, update_pitch | update_volume | update_panning | update_trigger);
}

// EEy: uses the speed as it stands when this channel is processed.
void row_pattern_delay(RowEffectContext& fx) {
    fx.song->pattern_delay_ticks = param_y(fx) * fx.song->speed;
}

constexpr RowEffectFn row_extended[16] = {
    row_nothing,            // E0y
    row_fine_porta_up,      // E1y fine portamento up
    row_fine_porta_down,    // E2y fine portamento down
    row_nothing,            // E3y
    row_vibrato_waveform,   // E4y vibrato waveform
    row_set_finetune,       // E5y set finetune
    row_pattern_loop,       // E6y pattern loop
    row_tremolo_waveform,   // E7y tremolo waveform
    row_coarse_panning,     // E8y coarse panning
    row_nothing,            // E9y retrigger: later ticks
    row_fine_volume_up,     // EAy fine volume slide up
    row_fine_volume_down,   // EBy fine volume slide down
    row_nothing,            // ECy note cut: later ticks
    row_note_delay,         // EDy note delay
    row_pattern_delay,      // EEy pattern delay
    row_nothing,            // EFy
};

// E
void row_extended_effect(RowEffectContext& fx) { row_extended[param_x(fx)](fx); }

constexpr RowEffectFn row_effects[36] = {
    row_nothing,                  // 0 arpeggio: later ticks
    row_porta_up,                 // 1 portamento up
    row_porta_down,               // 2 portamento down
    row_tone_porta,               // 3 tone portamento
    row_vibrato,                  // 4 vibrato
    row_tone_porta_volume_slide,  // 5 tone portamento + volume slide
    row_vibrato_volume_slide,     // 6 vibrato + volume slide
    row_tremolo,                  // 7 tremolo
    row_set_panning,              // 8 set panning
    row_sample_offset,            // 9 sample offset
    row_volume_slide,             // A volume slide
    row_position_jump,            // B position jump
    row_set_volume,               // C set volume
    row_pattern_break,            // D pattern break
    row_extended_effect,          // E extended effects
    row_set_speed,                // F set speed / tempo
    row_set_global_volume,        // G set global volume
    row_global_volume_slide,      // H global volume slide
    row_nothing,                  // I
    row_nothing,                  // J
    row_nothing,                  // K key-off: handled with the note
    row_set_envelope_position,    // L set envelope position
    row_nothing,                  // M
    row_nothing,                  // N
    row_nothing,                  // O
    row_panning_slide,            // P panning slide
    row_nothing,                  // Q
    row_multi_retrigger,          // R multi retrigger
    row_nothing,                  // S
    row_tremor,                   // T tremor
    row_nothing,                  // U
    row_nothing,                  // V
    row_nothing,                  // W
    row_extra_fine_porta,         // X extra fine portamento
    row_nothing,                  // Y
    row_nothing,                  // Z
};

}  // namespace

void effects_row_apply(RowEffectContext* context) {
    if (context->cell->effect < 36)
        row_effects[context->cell->effect](*context);
}
