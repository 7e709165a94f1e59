// The instruments of the show's song, synthesised from scratch.
#pragma once
#include "support/xm_writer.h"

// Drums and effects: 8-bit one-shot samples recorded for playback at C-4.
XmSampleDesc synth_kick();
XmSampleDesc synth_snare();
XmSampleDesc synth_hat();
XmSampleDesc synth_crash();

// Tuned instruments, each with its relative note set so that C-4 sounds as middle C.
XmSampleDesc synth_bass();    // 16-bit, one forward-looped cycle of a mellow saw
XmSampleDesc synth_pad();     // 16-bit, ping-pong loop over three detuned saws
XmSampleDesc synth_lead();    // 16-bit, forward-looped narrow pulse
XmSampleDesc synth_pluck();   // 8-bit, forward-looped square for the arpeggios
