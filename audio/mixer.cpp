#include "audio/mixer.h"
void mix_voices(float*, int32_t) {}
