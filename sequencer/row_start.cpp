// Tick 0 of a row: each channel takes over its cell's note and instrument, applies the
// volume column and the key-off, steps its envelopes, performs the effect's row-start
// action and hands the result to its voice, one channel after another.
#include "sequencer/row_start.h"
#include "sequencer/cell_lookup.h"
#include "sequencer/effects_row.h"
#include "sequencer/envelopes.h"
#include "sequencer/voice_update.h"

namespace {

int32_t row_note_period(const Song* song, uint8_t real_note, int8_t finetune) {
    if (song->song_flags & song_flag_linear)
        return 7680 - 64 * real_note - finetune / 2;
    return note_to_period(real_note, finetune);
}

void row_start_channel(Song* song, ChannelState* ch, const PatternCell* cell, bool* position_jump) {
    const bool tone_porta = cell->effect == 3 || cell->effect == 5;
    const bool has_note = cell_has_note(*cell);
    if (cell->instrument != 0 && !tone_porta)
        ch->instrument_index = static_cast<uint8_t>(cell->instrument - 1);
    if (has_note && !tone_porta)
        ch->note = static_cast<uint8_t>(cell->note - 1);

    const Instrument* instrument = lookup_instrument(song, ch);
    Sample* sample = lookup_sample(song, ch);

    RowEffectContext fx{song, ch, cell, instrument, sample, ch->period, ch->volume, ch->panning,
                        position_jump};

    // A tremolo that ends leaves its last offset in the volume.
    if (ch->last_effect == 7 && cell->effect != 7)
        ch->volume += ch->volume_delta;
    ch->volume_delta = 0;
    ch->update_flags = 0;
    ch->last_effect = cell->effect;

    if (has_note) {
        // Under tone portamento this is the target, computed with the playing sample.
        ch->real_note = static_cast<uint8_t>(cell->note - 1 + sample->relative_note);
        ch->note_period = row_note_period(song, ch->real_note, sample->finetune);
        if (!tone_porta)
            ch->period = ch->note_period;
        ch->update_flags = update_trigger;
    }
    ch->period_delta = 0;
    ch->update_flags |= update_pitch | update_volume;

    if (cell->instrument != 0)
        channel_reset_instrument(ch, sample);
    if (cell->volume_column != 0)
        apply_volume_column(ch, cell->volume_column);
    if (cell->note == cell_note_key_off || cell->effect == 20)
        ch->key_off = 1;

    channel_envelopes_step(ch, instrument, true);
    effects_row_apply(&fx);
    auto_vibrato_step(ch, instrument);
    update_voice(ch, sample, song);
}

}  // namespace

void process_row(Song* song) {
    song->next_order = -1;
    song->next_row = -1;
    bool position_jump = false;
    const PatternCell* cells = lookup_row_cells(song);
    if (cells == nullptr || song->channel_count <= 0)
        return;
    const int32_t count = lookup_channel_limit(song);
    for (int32_t i = 0; i < count; ++i)
        row_start_channel(song, &channels[i], &cells[i], &position_jump);
}

void channel_reset_instrument(ChannelState* channel, const Sample* sample) {
    channel->volume = sample->volume;
    channel->panning = sample->panning;
    channel->vol_env_out = 64;
    channel->vol_env_point = 0;
    channel->vol_env_tick = 0;
    channel->vol_env_step = 0;
    channel->vol_env_done = 0;
    channel->pan_env_out = 32;
    channel->pan_env_point = 0;
    channel->pan_env_tick = 0;
    channel->pan_env_step = 0;
    channel->pan_env_done = 0;
    channel->key_off = 0;
    channel->fadeout_volume = 65536;
    channel->auto_vibrato_pos = 0;
    channel->auto_vibrato_sweep_pos = 0;
    // A waveform number of 4 or more keeps the oscillator running across notes.
    if ((channel->wave_control & 0x0F) < 4)
        channel->vibrato_pos = 0;
    if ((channel->wave_control >> 4) < 4)
        channel->tremolo_pos = 0;
    channel->tremor_pos = 0;
    channel->update_flags |= update_volume | update_panning;
}
