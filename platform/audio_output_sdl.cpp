#include "platform/audio_output.h"
