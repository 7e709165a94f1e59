#include "sequencer/row_start.h"
void process_row(Song*) {}
void channel_reset_instrument(ChannelState*, const Sample*) {}
void apply_volume_column(ChannelState*, uint8_t) {}
