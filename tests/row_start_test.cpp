// Tick 0 of a row: note and instrument take-over, periods, the volume column, key-off and
// the row-start effects, checked on the channel and its voice after the row's first tick.
#include <gtest/gtest.h>
#include "sequencer/row_start.h"
#include "support/tick_harness.h"

namespace {

constexpr uint8_t pitch = update_pitch;
constexpr uint8_t volume_bit = update_volume;
constexpr uint8_t trigger = update_trigger;

// Ticks of the rows before `row` at `speed`, so that the next tick is the row's tick 0.
void skip_rows(HarnessPlayback& play, int rows, int speed = 6) { play.run(rows * speed); }

TEST(RowStart, EmptyCellStillTransfersPitchAndVolume) {
    HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", ""}));
    ASSERT_NE(play.song(), nullptr);
    skip_rows(play, 1);
    const TickSnapshot row1 = play.tick();
    EXPECT_EQ(row1.channel.update_flags, pitch | volume_bit);
    EXPECT_EQ(row1.channel.period, 4608);
    EXPECT_EQ(row1.voice.index, 0);   // no new trigger, the note keeps its voice
    EXPECT_EQ(row1.voice.volume, 127);
}

struct NotePeriodCase {
    const char* name;
    bool linear;
    const char* note;
    int8_t relative_note;
    int8_t finetune;
    uint8_t real_note;
    int32_t period;
};

TEST(RowStart, NoteTakesPeriodFromTableRelativeNoteAndFinetune) {
    const NotePeriodCase cases[] = {
        {"linear C-4", true, "C-4", 0, 0, 48, 4608},
        {"linear finetune -5 adds 2", true, "C-4", 0, -5, 48, 4610},
        {"linear finetune +5 takes 2", true, "C-4", 0, 5, 48, 4606},
        {"linear relative note +12", true, "C-4", 12, 0, 60, 3840},
        {"linear relative note wraps", true, "C-0", -2, 0, 254, 7680 - 64 * 254},
        {"amiga C-4", false, "C-4", 0, 0, 48, 1712},
        {"amiga C-5 finetune 16", false, "C-5", 0, 16, 60, 850},
        {"amiga C-5 finetune -16", false, "C-5", 0, -16, 60, 862},
    };
    for (const NotePeriodCase& c : cases) {
        SCOPED_TRACE(c.name);
        XmModuleDesc module = harness_module(1, {std::string(c.note) + " 01 .. ..."});
        module.linear = c.linear;
        module.instruments[0].samples[0].relative_note = c.relative_note;
        module.instruments[0].samples[0].finetune = c.finetune;
        HarnessPlayback play(module);
        ASSERT_NE(play.song(), nullptr);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.real_note, c.real_note);
        EXPECT_EQ(t.channel.note_period, c.period);
        EXPECT_EQ(t.channel.period, c.period);
        EXPECT_EQ(t.channel.update_flags & trigger, trigger);
        EXPECT_NE(t.voice.sample, nullptr);
    }
}

// Tone portamento keeps the playing note: the cell's note only becomes the target.
TEST(RowStart, TonePortamentoWithNoteSetsTargetWithoutTrigger) {
    for (const char* effect : {"308", "500"}) {
        SCOPED_TRACE(effect);
        HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", std::string("E-4 .. .. ") + effect}));
        ASSERT_NE(play.song(), nullptr);
        skip_rows(play, 1);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.note, 48);
        EXPECT_EQ(t.channel.period, 4608);
        EXPECT_EQ(t.channel.note_period, 4352);
        EXPECT_EQ(t.channel.porta_target_period, 4352);
        EXPECT_EQ(t.channel.update_flags & trigger, 0);
        EXPECT_EQ(t.voice.index, 0);
    }
}

TEST(RowStart, TonePortamentoWithInstrumentResetsWithTheCurrentSample) {
    XmModuleDesc module = harness_module(1, {"C-4 01 20 ...", "E-4 02 .. 308"});
    module.instruments[0].samples[0].volume = 48;
    module.instruments[0].samples[0].panning = 200;
    module.instruments.push_back(xm_instrument(harness_sample(20)));
    HarnessPlayback play(module);
    ASSERT_NE(play.song(), nullptr);
    EXPECT_EQ(play.run(6).back().channel.volume, 16);
    const TickSnapshot t = play.tick();
    EXPECT_EQ(t.channel.instrument_index, 0);
    EXPECT_EQ(t.channel.volume, 48);
    EXPECT_EQ(t.channel.panning, 200);
    EXPECT_EQ(t.channel.fadeout_volume, 65536);
    EXPECT_EQ(t.channel.update_flags & trigger, 0);
}

TEST(RowStart, VolumeColumnTonePortamentoChangesPitchAtOnceWithoutRestart) {
    HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", "E-4 .. F8 ..."}));
    ASSERT_NE(play.song(), nullptr);
    skip_rows(play, 1);
    const TickSnapshot t = play.tick();
    EXPECT_EQ(t.channel.note, 52);
    EXPECT_EQ(t.channel.period, 4352);
    EXPECT_EQ(t.channel.porta_target_period, 4352);
    EXPECT_EQ(t.channel.porta_speed, 128);
    EXPECT_EQ(t.channel.update_flags & trigger, 0);
    EXPECT_EQ(t.voice.index, 0);
    EXPECT_EQ(play.tick().channel.period, 4352);   // the per-tick slide has nothing left to do
}

struct VolumeColumnCase {
    uint8_t value;
    int32_t volume;
    int32_t panning;
    uint8_t flags;
};

TEST(RowStart, VolumeColumnAtRowStart) {
    const VolumeColumnCase cases[] = {
        {0x05, 32, 128, 0},          {0x10, 0, 128, volume_bit},    {0x50, 64, 128, volume_bit},
        {0x55, 32, 128, 0},          {0x62, 30, 128, volume_bit},   {0x6F, 17, 128, volume_bit},
        {0x72, 34, 128, volume_bit}, {0x83, 29, 128, volume_bit},   {0x93, 35, 128, volume_bit},
        {0xC4, 32, 64, update_panning}, {0xD3, 32, 125, update_panning}, {0xE3, 32, 131, update_panning},
    };
    for (const VolumeColumnCase& c : cases) {
        SCOPED_TRACE(c.value);
        ChannelState ch{};
        ch.volume = 32;
        ch.panning = 128;
        apply_volume_column(&ch, c.value);
        EXPECT_EQ(ch.volume, c.volume);
        EXPECT_EQ(ch.panning, c.panning);
        EXPECT_EQ(ch.update_flags, c.flags);
    }
    ChannelState ch{};
    ch.volume = 60;
    apply_volume_column(&ch, 0x7F);
    EXPECT_EQ(ch.volume, 64);
    apply_volume_column(&ch, 0xA5);
    apply_volume_column(&ch, 0xB7);
    EXPECT_EQ(ch.vibrato_speed, 5);
    EXPECT_EQ(ch.vibrato_depth, 7);
}

// Without a volume envelope a key-off silences at once; with one the envelope leaves its
// sustain point and the fade-out starts on the key-off tick.
TEST(RowStart, KeyOffWithAndWithoutVolumeEnvelope) {
    {
        SCOPED_TRACE("no envelope");
        HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", "=== .. .. ..."}));
        ASSERT_NE(play.song(), nullptr);
        skip_rows(play, 1);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.key_off, 1);
        EXPECT_EQ(t.channel.vol_env_out, 0);
        EXPECT_EQ(t.voice.volume, 0);
    }
    {
        SCOPED_TRACE("envelope with sustain");
        XmModuleDesc module = harness_module(1, {"C-4 01 .. ...", "=== .. .. ..."});
        XmEnvelopeDesc& env = module.instruments[0].volume_envelope;
        env.points = {{0, 64}, {4, 32}, {8, 0}};
        env.on = true;
        env.sustain = true;
        env.sustain_point = 1;
        module.instruments[0].fadeout = 1024;
        HarnessPlayback play(module);
        ASSERT_NE(play.song(), nullptr);
        const std::vector<TickSnapshot> held = play.run(6);
        EXPECT_EQ(held[4].channel.vol_env_out, 32);
        EXPECT_EQ(held[5].channel.vol_env_out, 32);
        EXPECT_EQ(held[5].channel.fadeout_volume, 65536);
        const std::vector<TickSnapshot> released = play.run(2);
        EXPECT_EQ(released[0].channel.vol_env_out, 32);
        EXPECT_EQ(released[0].channel.fadeout_volume, 65536 - 2048);
        EXPECT_EQ(released[1].channel.vol_env_out, 24);
        EXPECT_EQ(released[1].channel.fadeout_volume, 65536 - 4096);
    }
}

TEST(RowStart, InstrumentWithKeyOffStillReleasesTheKey) {
    HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", "=== 01 .. ..."}));
    ASSERT_NE(play.song(), nullptr);
    skip_rows(play, 1);
    const TickSnapshot t = play.tick();
    EXPECT_EQ(t.channel.key_off, 1);
    EXPECT_EQ(t.channel.vol_env_out, 0);
}

struct SongFieldCase {
    const char* effect;
    int32_t speed;
    int32_t samples_per_tick;
    int32_t global_volume;
};

TEST(RowStart, SpeedTempoAndGlobalVolume) {
    const SongFieldCase cases[] = {
        {"F1F", 31, 882, 64}, {"F20", 6, 3445, 64}, {"F00", 0, 882, 64}, {"FFF", 6, 432, 64},
        {"G50", 6, 882, 64},  {"G20", 6, 882, 32},  {"G00", 6, 882, 0},
    };
    for (const SongFieldCase& c : cases) {
        SCOPED_TRACE(c.effect);
        HarnessPlayback play(harness_module(1, {std::string("C-4 01 .. ") + c.effect}));
        ASSERT_NE(play.song(), nullptr);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(play.song()->speed, c.speed);
        EXPECT_EQ(play.song()->samples_per_tick, c.samples_per_tick);
        EXPECT_EQ(t.global_volume, c.global_volume);
    }
}

TEST(RowStart, SetVolumeAboveRangeIsKeptUntilASlideBringsItBack) {
    HarnessPlayback play(harness_module(1, {"C-4 01 .. C50", "... .. .. A10"}));
    ASSERT_NE(play.song(), nullptr);
    EXPECT_EQ(play.tick().channel.volume, 80);
    play.run(5);
    EXPECT_EQ(play.tick().channel.volume, 80);
    EXPECT_EQ(play.tick().channel.volume, 64);
}

TEST(RowStart, SampleOffset) {
    {
        SCOPED_TRACE("inside the sample: the new note starts there");
        HarnessPlayback play(harness_module(1, {"C-4 01 .. 902"}));
        ASSERT_NE(play.song(), nullptr);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.voice.position, 512);
        EXPECT_EQ(t.channel.sample_offset_memory, 2);
    }
    {
        SCOPED_TRACE("at or beyond the loop end: restart without trigger");
        HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", "D-4 .. .. 904"}));
        ASSERT_NE(play.song(), nullptr);
        play.run(6);
        channels[0].voice->position = 700;
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.update_flags & trigger, 0);
        EXPECT_EQ(t.voice.index, 0);
        EXPECT_EQ(t.voice.position, 0);
        EXPECT_EQ(t.channel.period, 4480);   // with the new pitch
    }
    {
        SCOPED_TRACE("at the loop end of a looped sample, inside its data: restart");
        XmModuleDesc module = harness_module(1, {"C-4 01 .. ...", "C-4 01 .. 902"});
        XmSampleDesc& sample = module.instruments[0].samples[0];
        sample.loop = XmLoop::forward;
        sample.loop_start = 256;
        sample.loop_length = 256;
        HarnessPlayback play(module);
        ASSERT_NE(play.song(), nullptr);
        play.run(6);
        channels[0].voice->position = 300;
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.update_flags & (trigger | update_restart), update_restart);
        EXPECT_EQ(t.voice.index, 0);
        EXPECT_EQ(t.voice.position, 0);
    }
    {
        SCOPED_TRACE("on a row without a note: armed for the next trigger");
        HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", "... .. .. 903", "D-4 .. .. ..."}));
        ASSERT_NE(play.song(), nullptr);
        play.run(6);
        channels[0].voice->position = 100;
        const TickSnapshot armed = play.tick();
        EXPECT_EQ(armed.voice.start_offset, 768u);
        EXPECT_EQ(armed.voice.position, 100);
        play.run(5);
        const TickSnapshot started = play.tick();
        EXPECT_EQ(started.voice.index, 32);
        EXPECT_EQ(started.voice.position, 768);
    }
    {
        SCOPED_TRACE("900 uses the memory");
        HarnessPlayback play(harness_module(1, {"C-4 01 .. 901", "C-4 01 .. 900"}));
        ASSERT_NE(play.song(), nullptr);
        play.run(6);
        EXPECT_EQ(play.tick().voice.position, 256);
    }
}

TEST(RowStart, SetEnvelopePositionOnlyWithVolumeEnvelopeOn) {
    for (bool on : {false, true}) {
        SCOPED_TRACE(on);
        XmModuleDesc module = harness_module(1, {"C-4 01 .. L05"});
        XmEnvelopeDesc& env = module.instruments[0].volume_envelope;
        env.points = {{0, 64}, {10, 0}};
        env.on = on;
        HarnessPlayback play(module);
        ASSERT_NE(play.song(), nullptr);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.vol_env_tick, on ? 5 : 0);
        EXPECT_EQ(t.channel.vol_env_out, on ? 32 : 64);
    }
}

// The offset of the last tremolo tick stays in the volume when the tremolo ends.
TEST(RowStart, TremoloLeavesItsOffsetInTheVolume) {
    HarnessPlayback play(harness_module(1, {"C-4 01 30 744", "... .. .. ..."}));
    ASSERT_NE(play.song(), nullptr);
    const std::vector<TickSnapshot> row = play.run(6);
    EXPECT_EQ(row[5].channel.volume, 32);
    EXPECT_EQ(row[5].channel.volume_delta, 15);
    const TickSnapshot next = play.tick();
    EXPECT_EQ(next.channel.volume, 47);
    EXPECT_EQ(next.channel.volume_delta, 0);
}

TEST(RowStart, SetFinetuneChangesTheSharedSampleForItsNextNote) {
    HarnessPlayback play(harness_module(1, {"C-4 01 .. E58", "C-4 .. .. ..."}));
    ASSERT_NE(play.song(), nullptr);
    EXPECT_EQ(play.tick().channel.period, 4608);
    EXPECT_EQ(play.song()->instruments[0].samples[0]->finetune, 8);
    play.run(5);
    EXPECT_EQ(play.tick().channel.period, 4604);
}

struct SetterCase {
    const char* effect;
    int32_t panning;
    uint8_t wave_control;
    uint8_t flags;
};

TEST(RowStart, PanningAndWaveformSetters) {
    const SetterCase cases[] = {
        {"880", 0x80, 0x00, update_panning}, {"8FF", 0xFF, 0x00, update_panning},
        {"E8F", 240, 0x00, update_panning},  {"E47", 128, 0x07, 0},
        {"E75", 128, 0x50, 0},               {"P00", 128, 0x00, 0},
        {"P12", 128, 0x00, update_panning},
    };
    for (const SetterCase& c : cases) {
        SCOPED_TRACE(c.effect);
        HarnessPlayback play(harness_module(1, {"C-4 01 .. ...", std::string("... .. .. ") + c.effect}));
        ASSERT_NE(play.song(), nullptr);
        play.run(6);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.panning, c.panning);
        EXPECT_EQ(t.channel.wave_control, c.wave_control);
        EXPECT_EQ(t.channel.update_flags & update_panning, c.flags);
    }
}

// A waveform number of 4 or more keeps the vibrato running through a new instrument.
TEST(RowStart, InstrumentResetKeepsTheVibratoPositionForWaveformsFrom4) {
    for (const char* waveform : {"E40", "E44"}) {
        SCOPED_TRACE(waveform);
        HarnessPlayback play(
            harness_module(1, {std::string("... .. .. ") + waveform, "C-4 01 .. 4F1", "C-4 01 .. ..."}));
        ASSERT_NE(play.song(), nullptr);
        play.run(12);
        EXPECT_EQ(channels[0].vibrato_pos, 11);   // 5 x 15 wrapped into -32..31
        EXPECT_EQ(play.tick().channel.vibrato_pos, waveform[2] == '4' ? 11 : 0);
    }
}

struct MemoryCase {
    const char* name;
    const char* first;
    const char* second;
    int32_t period_after_first;
    int32_t period_after_second;
    int32_t volume_after_second;
};

// Fine slides act once at the row start; a zero parameter repeats the last one.
TEST(RowStart, FineSlidesAndTheirMemories) {
    const MemoryCase cases[] = {
        {"E1y fine porta up", "E12", "E10", 4600, 4592, 32},
        {"E2y fine porta down", "E23", "E20", 4620, 4632, 32},
        {"X1y extra fine up", "X13", "X10", 4605, 4602, 32},
        {"X2y extra fine down", "X25", "X20", 4613, 4618, 32},
        {"EAy fine volume up", "EA5", "EA0", 4608, 4608, 42},
        {"EBy fine volume down", "EB5", "EB0", 4608, 4608, 22},
        {"EBy stops at 0", "EBF", "EBF", 4608, 4608, 2},
    };
    for (const MemoryCase& c : cases) {
        SCOPED_TRACE(c.name);
        HarnessPlayback play(harness_module(1, {std::string("C-4 01 30 ") + c.first, std::string("... .. .. ") + c.second}));
        ASSERT_NE(play.song(), nullptr);
        const std::vector<TickSnapshot> first = play.run(6);
        EXPECT_EQ(first[5].channel.period, c.period_after_first);
        const TickSnapshot second = play.tick();
        EXPECT_EQ(second.channel.period, c.period_after_second);
        EXPECT_EQ(second.channel.volume, c.volume_after_second);
    }
}

struct OddCellCase {
    const char* name;
    uint8_t note;
    uint8_t instrument;
    uint8_t channel_note;
    int32_t volume;
    bool silent;
};

// Out-of-range instruments select the empty instrument and the silent sample; cell notes
// 97..254 count as no note.
TEST(RowStart, OddInstrumentsAndNotesAreSafe) {
    const OddCellCase cases[] = {
        {"instrument beyond the count", 49, 5, 48, 0, true},
        {"note 98 is no note", 98, 1, 0, 64, false},
        {"note 200 is no note", 200, 1, 0, 64, false},
        {"note 254 is no note", 254, 1, 0, 64, false},
    };
    for (const OddCellCase& c : cases) {
        SCOPED_TRACE(c.name);
        XmModuleDesc module = harness_module(1, {});
        module.patterns[0].cells[0] = XmCell{c.note, c.instrument, 0, 0, 0};
        HarnessPlayback play(module);
        ASSERT_NE(play.song(), nullptr);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.channel.note, c.channel_note);
        EXPECT_EQ(t.channel.volume, c.volume);
        if (c.silent) {
            EXPECT_EQ(t.voice.sample, &silent_sample);
            EXPECT_EQ(t.channel.note_period, 4608);
        } else {
            EXPECT_EQ(t.channel.update_flags & trigger, 0);
            EXPECT_EQ(t.voice.sample, nullptr);
        }
    }
}

// A sample map entry of 16 or more, and a slot without a sample, play the silent sample.
TEST(RowStart, SampleMapBeyondTheSamplesSelectsSilence) {
    for (uint8_t slot : {uint8_t{3}, uint8_t{16}, uint8_t{255}}) {
        SCOPED_TRACE(slot);
        XmModuleDesc module = harness_module(1, {"C-4 01 .. ..."});
        module.instruments[0].sample_map[48] = slot;
        HarnessPlayback play(module);
        ASSERT_NE(play.song(), nullptr);
        const TickSnapshot t = play.tick();
        EXPECT_EQ(t.voice.sample, &silent_sample);
        EXPECT_EQ(t.channel.volume, 0);
        play.run(5);   // and the later ticks look it up the same way
    }
}

}  // namespace
