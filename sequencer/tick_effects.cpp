// Ticks 1 and later of a row: envelopes, the volume column's slides and the effects'
// per-tick actions. Notes and instruments are taken over only at the row start (and by
// the note delay on its tick).
#include "sequencer/tick_effects.h"
#include "sequencer/cell_lookup.h"
#include "sequencer/effects_tick.h"
#include "sequencer/envelopes.h"
#include "sequencer/volume_column.h"
#include "sequencer/voice_update.h"

void process_tick(Song* song) {
    const PatternCell* cells = lookup_row_cells(song);
    if (cells == nullptr || song->channel_count <= 0)
        return;
    const int32_t count = lookup_channel_limit(song);
    for (int32_t i = 0; i < count; ++i) {
        ChannelState* ch = &channels[i];
        const PatternCell* cell = &cells[i];
        const Instrument* instrument = lookup_instrument(song, ch);
        const Sample* sample = lookup_sample(song, ch);

        ch->volume_delta = 0;
        ch->period_delta = 0;
        ch->update_flags = 0;
        channel_envelopes_step(ch, instrument, false);
        if (cell->volume_column != 0)
            volume_column_tick(ch, cell->volume_column);
        TickEffectContext fx{song, ch, cell, sample};
        effects_tick_apply(&fx);
        auto_vibrato_step(ch, instrument);
        update_voice(ch, sample, song);
    }
}
