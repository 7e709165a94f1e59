// Modules for the player's tests, tools and benchmarks, made with the XM writer.
#pragma once
#include "support/xm_writer.h"

// A busy little song: `channels` channels (1..32) of notes on a looped square, a ping-pong
// sine with a volume envelope and an unlooped noise hit, with arpeggio, vibrato, slides,
// tone portamento and a pattern loop, over orders {0, 1, 0, 2}; about 8 seconds once
// through.
XmModuleDesc test_module_busy(int channels);
