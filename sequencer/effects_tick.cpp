// One function per effect on later ticks, found through tick_effects[effect] and, for the
// E sub-effects, tick_extended[x].
#include "sequencer/effects_tick.h"
#include "sequencer/oscillators.h"
#include "sequencer/period_slide.h"
#include "sequencer/row_start.h"
#include "sequencer/voice_update.h"

namespace {

using TickEffectFn = void (*)(TickEffectContext& fx);

uint8_t param(const TickEffectContext& fx) { return fx.cell->effect_param; }
int32_t param_x(const TickEffectContext& fx) { return fx.cell->effect_param >> 4; }
int32_t param_y(const TickEffectContext& fx) { return fx.cell->effect_param & 0x0F; }

// Shared by 5, 6 and A: the high nibble wins; the volume bit is set even with no memory.
void volume_slide(ChannelState* ch) {
    const int32_t up = ch->volume_slide_memory >> 4;
    const int32_t down = ch->volume_slide_memory & 0x0F;
    if (up != 0) {
        ch->volume += up;
        if (ch->volume > 64)
            ch->volume = 64;
    } else if (down != 0) {
        ch->volume -= down;
        if (ch->volume < 0)
            ch->volume = 0;
    }
    ch->update_flags |= update_volume;
}

void tick_nothing(TickEffectContext&) {}

// 0: base note, +x, +y semitones in turn, counted from the row's tick 0.
void tick_arpeggio(TickEffectContext& fx) {
    if (param(fx) == 0)
        return;
    ChannelState* ch = fx.channel;
    const int32_t phase = fx.song->tick % 3;
    const int32_t semitones = phase == 1 ? param_x(fx) : phase == 2 ? param_y(fx) : 0;
    if (fx.song->song_flags & song_flag_linear) {
        ch->period_delta = 64 * semitones;
    } else if (semitones != 0) {
        const int32_t note = ch->real_note;
        const int32_t finetune = fx.sample->finetune;
        ch->period_delta = note_to_period(note + semitones, finetune) - note_to_period(note, finetune);
    }
    ch->update_flags |= update_pitch;
}

// 1: the one lower limit of all period slides.
void tick_porta_up(TickEffectContext& fx) {
    ChannelState* ch = fx.channel;
    ch->period = period_slide(ch->period, -4 * ch->porta_up_memory);
    ch->period_delta = 0;
    if (ch->period < 56)
        ch->period = 56;
    ch->update_flags |= update_pitch;
}

// 2: no musical upper limit.
void tick_porta_down(TickEffectContext& fx) {
    ChannelState* ch = fx.channel;
    ch->period = period_slide(ch->period, 4 * ch->porta_down_memory);
    ch->period_delta = 0;
    ch->update_flags |= update_pitch;
}

// 3
void tick_tone_porta(TickEffectContext& fx) {
    fx.channel->period_delta = 0;
    tone_porta_step(fx.channel);
}

// 4
void tick_vibrato(TickEffectContext& fx) {
    vibrato_step(fx.channel);
    vibrato_advance(fx.channel);
}

// 5
void tick_tone_porta_volume_slide(TickEffectContext& fx) {
    fx.channel->period_delta = 0;
    tone_porta_step(fx.channel);
    volume_slide(fx.channel);
}

// 6
void tick_vibrato_volume_slide(TickEffectContext& fx) {
    vibrato_step(fx.channel);
    vibrato_advance(fx.channel);
    volume_slide(fx.channel);
}

// 7
void tick_tremolo(TickEffectContext& fx) { tremolo_step(fx.channel); }

// A
void tick_volume_slide(TickEffectContext& fx) { volume_slide(fx.channel); }

// E9y: restart the note every y ticks of the row.
void tick_retrigger(TickEffectContext& fx) {
    const int32_t interval = param_y(fx);
    if (interval != 0 && fx.song->tick % interval == 0)
        fx.channel->update_flags |= update_pitch | update_volume | update_trigger;
}

// ECy
void tick_note_cut(TickEffectContext& fx) {
    if (fx.song->tick != param_y(fx))
        return;
    fx.channel->volume = 0;
    fx.channel->update_flags |= update_volume;
}

// EDy: the row start took the note in but held it back; it starts now. Before and after,
// only the pitch (set again by the auto-vibrato) reaches the voice.
void tick_note_delay(TickEffectContext& fx) {
    ChannelState* ch = fx.channel;
    if (fx.song->tick != param_y(fx)) {
        ch->update_flags &= static_cast<uint8_t>(~(update_pitch | update_volume | update_panning | update_trigger));
        return;
    }
    channel_reset_instrument(ch, fx.sample);
    ch->period = ch->note_period;
    ch->update_flags |= update_pitch;
    if (fx.cell->volume_column != 0)
        apply_volume_column(ch, fx.cell->volume_column);
    ch->update_flags |= update_trigger;
}

constexpr TickEffectFn tick_extended[16] = {
    tick_nothing,      // E0y
    tick_nothing,      // E1y fine portamento: row start only
    tick_nothing,      // E2y
    tick_nothing,      // E3y
    tick_nothing,      // E4y
    tick_nothing,      // E5y
    tick_nothing,      // E6y
    tick_nothing,      // E7y
    tick_nothing,      // E8y
    tick_retrigger,    // E9y retrigger
    tick_nothing,      // EAy fine volume slides: row start only
    tick_nothing,      // EBy
    tick_note_cut,     // ECy note cut
    tick_note_delay,   // EDy note delay
    tick_nothing,      // EEy
    tick_nothing,      // EFy
};

// E
void tick_extended_effect(TickEffectContext& fx) { tick_extended[param_x(fx)](fx); }

// H: no update bit; the voices pick the new global volume up with their next volume transfer.
void tick_global_volume_slide(TickEffectContext& fx) {
    Song* song = fx.song;
    const int32_t up = song->global_volume_slide_memory >> 4;
    const int32_t down = song->global_volume_slide_memory & 0x0F;
    if (up != 0) {
        song->global_volume += up;
        if (song->global_volume > 64)
            song->global_volume = 64;
    } else if (down != 0) {
        song->global_volume -= down;
        if (song->global_volume < 0)
            song->global_volume = 0;
    }
}

// P
void tick_panning_slide(TickEffectContext& fx) {
    ChannelState* ch = fx.channel;
    const int32_t right = ch->panning_slide_memory >> 4;
    const int32_t left = ch->panning_slide_memory & 0x0F;
    if (right != 0) {
        ch->panning += right;
        if (ch->panning > 255)
            ch->panning = 255;
    } else if (left != 0) {
        ch->panning -= left;
        if (ch->panning < 0)
            ch->panning = 0;
    }
    ch->update_flags |= update_panning;
}

int32_t retrigger_volume(int32_t mode, int32_t volume) {
    switch (mode) {
    case 1: return volume - 1;
    case 2: return volume - 2;
    case 3: return volume - 4;
    case 4: return volume - 8;
    case 5: return volume - 16;
    case 6: return volume * 2 / 3;
    case 7: return volume >> 1;
    case 9: return volume + 1;
    case 10: return volume + 2;
    case 11: return volume + 4;
    case 12: return volume + 8;
    case 13: return volume + 16;
    case 14: return volume * 3 / 2;
    case 15: return volume * 2;
    default: return volume;
    }
}

// R: mode 0 restarts without touching the volume; the others change it and limit it.
void tick_multi_retrigger(TickEffectContext& fx) {
    ChannelState* ch = fx.channel;
    if (ch->retrig_interval == 0 || fx.song->tick % ch->retrig_interval != 0)
        return;
    if (ch->retrig_volume_mode == 0) {
        ch->update_flags |= update_trigger;
        return;
    }
    int32_t volume = retrigger_volume(ch->retrig_volume_mode, ch->volume);
    if (volume > 64)
        volume = 64;
    if (volume < 0)
        volume = 0;
    ch->volume = volume;
    ch->update_flags |= update_volume | update_trigger;
}

// T
void tick_tremor(TickEffectContext& fx) { tremor_step(fx.channel); }

constexpr TickEffectFn tick_effects[36] = {
    tick_arpeggio,                  // 0 arpeggio
    tick_porta_up,                  // 1 portamento up
    tick_porta_down,                // 2 portamento down
    tick_tone_porta,                // 3 tone portamento
    tick_vibrato,                   // 4 vibrato
    tick_tone_porta_volume_slide,   // 5 tone portamento + volume slide
    tick_vibrato_volume_slide,      // 6 vibrato + volume slide
    tick_tremolo,                   // 7 tremolo
    tick_nothing,                   // 8 set panning: row start only
    tick_nothing,                   // 9 sample offset: row start only
    tick_volume_slide,              // A volume slide
    tick_nothing,                   // B
    tick_nothing,                   // C
    tick_nothing,                   // D
    tick_extended_effect,           // E extended effects
    tick_nothing,                   // F
    tick_nothing,                   // G
    tick_global_volume_slide,       // H global volume slide
    tick_nothing,                   // I
    tick_nothing,                   // J
    tick_nothing,                   // K
    tick_nothing,                   // L
    tick_nothing,                   // M
    tick_nothing,                   // N
    tick_nothing,                   // O
    tick_panning_slide,             // P panning slide
    tick_nothing,                   // Q
    tick_multi_retrigger,           // R multi retrigger
    tick_nothing,                   // S
    tick_tremor,                    // T tremor
    tick_nothing,                   // U
    tick_nothing,                   // V
    tick_nothing,                   // W
    tick_nothing,                   // X extra fine portamento: row start only
    tick_nothing,                   // Y
    tick_nothing,                   // Z
};

}  // namespace

void effects_tick_apply(TickEffectContext* context) {
    if (context->cell->effect < 36)
        tick_effects[context->cell->effect](*context);
}
