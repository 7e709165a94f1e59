#include "module/song.h"
Sample silent_sample;
Instrument empty_instrument;
int16_t* sample_data_alloc(uint32_t) { return nullptr; }
void sample_data_free(int16_t*) {}
