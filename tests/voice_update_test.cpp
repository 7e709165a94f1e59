#include <gtest/gtest.h>

#include <cstring>

#include "audio/format.h"
#include "audio/voice.h"
#include "sequencer/voice_pitch.h"
#include "sequencer/voice_update.h"

namespace {

// Voices and channel as player_start leaves them, with one sample on hand.
class VoiceUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(voices, 0, sizeof(voices));
        for (int i = 0; i < voice_count; ++i) voices[i].index = i;
        channel = ChannelState{};
        channel.voice = &voices[5];
        channel.volume = 64;
        channel.vol_env_out = 64;
        channel.pan_env_out = 32;
        channel.fadeout_volume = 65536;
        song = Song{};
        song.global_volume = 64;
        song.song_flags = song_flag_linear;
        sample = Sample{};
        sample.length = 1000;
        sample.loop_start = 200;
        sample.loop_length = 300;
    }

    void run(uint8_t flags) {
        channel.update_flags = flags;
        update_voice(&channel, &sample, &song);
    }

    ChannelState channel{};
    Song song{};
    Sample sample{};
};

TEST(NoteToPeriod, AmigaTableWithFinetune) {
    struct Case { int32_t note, finetune, period; };
    const Case cases[] = {
        {48, 0, 1712}, {48, 127, 1616}, {48, -128, 1813}, {60, 16, 850}, {60, -16, 862},
        {0, -128, 28930}, {0, 0, 27392}, {96, 0, 107}, {177, 0, 0}, {250, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(note_to_period(c.note, c.finetune), c.period) << c.note << " " << c.finetune;
}

TEST(VoiceFrequency, BothTables) {
    struct Case { int64_t period; bool linear; int32_t hz; };
    const Case cases[] = {
        {4608, true, 8363}, {3840, true, 16726}, {5376, true, 4181},
        {1712, false, 8362}, {856, false, 16725}, {-5, false, -2863411},
    };
    for (const Case& c : cases)
        EXPECT_EQ(voice_frequency(c.period, c.linear), c.hz) << c.period << " " << c.linear;
}

TEST(VoiceFrequency, LinearPeriodsFarBelowTheTableSaturate) {
    EXPECT_EQ(voice_frequency(-9193, true), 2147271494);   // the last that fits in 32 bits
    EXPECT_EQ(voice_frequency(-9194, true), INT32_MAX);
    EXPECT_EQ(voice_frequency(-4000000000LL, true), INT32_MAX);
    EXPECT_EQ(voice_frequency(4000000000LL, true), 0);
}

TEST(VoiceStep, ThirtyTwoDotThirtyTwoAtTheOutputRate) {
    struct Case { int32_t hz, step_int; uint32_t step_frac; };
    const Case cases[] = {
        {8363, 0, 814485521u}, {100, 0, 9739154u}, {99, 0, 9739154u}, {-7, 0, 9739154u},
        {44100, 1, 0u}, {88200, 2, 0u},
    };
    for (const Case& c : cases) {
        Voice v{};
        voice_set_step(&v, c.hz);
        EXPECT_EQ(v.step_int, c.step_int) << c.hz;
        EXPECT_EQ(v.step_frac, c.step_frac) << c.hz;
    }
}

TEST_F(VoiceUpdate, PitchReachesTheVoiceInBothTables) {
    channel.period = 4608;
    run(update_pitch);
    EXPECT_EQ(voices[5].step_int, 0);
    EXPECT_EQ(voices[5].step_frac, 814485521u);

    // Amiga: a negative period plays at the 100 Hz floor.
    song.song_flags = 0;
    channel.period = 100;
    channel.period_delta = -150;
    run(update_pitch);
    EXPECT_EQ(voices[5].step_frac, 9739154u);
}

TEST_F(VoiceUpdate, ZeroPeriodKeepsThePreviousStep) {
    for (uint16_t flags : {uint16_t{0}, song_flag_linear}) {
        song.song_flags = flags;
        voices[5].step_int = 3;
        voices[5].step_frac = 77;
        channel.period = 40;
        channel.period_delta = -40;
        run(update_pitch | update_volume);
        EXPECT_EQ(channel.update_flags, update_volume);
        EXPECT_EQ(voices[5].step_int, 3);
        EXPECT_EQ(voices[5].step_frac, 77u);
    }
}

TEST_F(VoiceUpdate, ExtremePeriodsStayDefined) {
    song.song_flags = 0;
    channel.period = INT32_MAX;
    channel.period_delta = 100;
    run(update_pitch);
    EXPECT_EQ(voices[5].step_frac, 9739154u);
    song.song_flags = song_flag_linear;
    channel.period = INT32_MIN;
    channel.period_delta = -100;
    run(update_pitch);
    EXPECT_EQ(voices[5].step_int, INT32_MAX / mix_rate);
}

TEST_F(VoiceUpdate, VolumeScalesByEnvelopeFadeoutAndGlobalVolume) {
    struct Case { int32_t volume, delta, env, fade, global, expected; };
    const Case cases[] = {
        {64, 0, 64, 65536, 64, 127},
        {64, 0, 64, 65536, 32, 63},
        {40, -40, 64, 65536, 64, 0},
        {60, 4, 64, 65536, 64, 127},
        {64, 0, 32, 65536, 64, 63},
        {64, 0, 64, 32768, 64, 63},
        {255, 0, 64, 65536, 64, 508},   // set-volume parameters above 64 are not reduced
    };
    voices[5].pan = 128;
    for (const Case& c : cases) {
        channel.volume = c.volume;
        channel.volume_delta = c.delta;
        channel.vol_env_out = c.env;
        channel.fadeout_volume = c.fade;
        song.global_volume = c.global;
        run(update_volume);
        EXPECT_EQ(voices[5].volume, c.expected) << c.volume << " " << c.env << " " << c.global;
        EXPECT_EQ(voices[5].gain_right, c.expected * 128 / 255);
        EXPECT_EQ(voices[5].gain_left, c.expected * 127 / 255);
    }
}

TEST_F(VoiceUpdate, PanningEnvelopeShiftsMostNearTheCentre) {
    struct Case { int32_t panning, env, pan, left, right; };
    const Case cases[] = {
        {128, 64, 255, 0, 127}, {128, 0, 0, 127, 0},  {0, 64, 0, 127, 0},
        {255, 0, 255, 0, 127},  {100, 64, 196, 29, 97}, {128, 32, 128, 63, 63},
        {64, 32, 64, 95, 31},   {-40, 32, 0, 127, 0},  {300, 32, 255, 0, 127},
    };
    voices[5].volume = 127;
    for (const Case& c : cases) {
        channel.panning = c.panning;
        channel.pan_env_out = c.env;
        run(update_panning);
        EXPECT_EQ(voices[5].pan, c.pan) << c.panning << " " << c.env;
        EXPECT_EQ(voices[5].gain_left, c.left) << c.panning << " " << c.env;
        EXPECT_EQ(voices[5].gain_right, c.right) << c.panning << " " << c.env;
    }
}

TEST_F(VoiceUpdate, VolumeAndPanTogetherUseTheNewValuesForTheGains) {
    voices[5].volume = 10;
    voices[5].pan = 0;
    channel.panning = 255;
    run(update_volume | update_panning);
    EXPECT_EQ(voices[5].volume, 127);
    EXPECT_EQ(voices[5].gain_right, 127);
    EXPECT_EQ(voices[5].gain_left, 0);
}

TEST_F(VoiceUpdate, NoteStartsAlternateBetweenTheVoicePair) {
    channel.period = 4608;
    channel.panning = 128;
    run(update_trigger | update_volume | update_pitch | update_panning);
    // The first note finds voice 5 silent and starts there.
    ASSERT_EQ(channel.voice, &voices[5]);
    EXPECT_EQ(voices[5].sample, &sample);
    EXPECT_GT(voices[5].gain_left, 0);

    const Voice* expected_path[] = {&voices[37], &voices[5], &voices[37]};
    for (const Voice* next : expected_path) {
        Voice* old = channel.voice;
        old->position = 123;
        run(update_trigger | update_volume | update_pitch);
        ASSERT_EQ(channel.voice, next);
        EXPECT_EQ(channel.voice->index, next - voices);
        EXPECT_EQ(channel.voice->sample, &sample);
        EXPECT_EQ(channel.voice->position, 0);
        EXPECT_EQ(channel.voice->volume, 127);
        EXPECT_EQ(channel.voice->pan, 128);   // carried over from the old voice
        // The voice left behind keeps playing its sample, silenced for the ramp down.
        EXPECT_EQ(old->sample, &sample);
        EXPECT_EQ(old->position, 123);
        EXPECT_EQ(old->index, old - voices);
        EXPECT_EQ(old->volume, 0);
        EXPECT_EQ(old->gain_left, 0);
        EXPECT_EQ(old->gain_right, 0);
        EXPECT_NE(old->step_frac, 0u);
    }
}

TEST_F(VoiceUpdate, PartnerOfAnUpperVoiceIsBelow) {
    channel.voice = &voices[63];
    voices[63].sample = &sample;
    run(update_trigger);
    EXPECT_EQ(channel.voice, &voices[31]);
    EXPECT_EQ(voices[31].index, 31);
}

TEST_F(VoiceUpdate, NoteStartResetsPlaybackAndConsumesTheStartOffset) {
    struct Case { uint32_t offset, position; };
    const Case cases[] = {{0, 0}, {499, 499}, {500, 0}, {4000000000u, 0}};
    for (const Case& c : cases) {
        Voice& v = voices[5];
        v = Voice{};
        v.index = 5;
        v.start_offset = c.offset;
        v.position_frac = 99;
        v.direction = 2;
        v.ramp_gain_left = v.ramp_gain_right = 7;
        v.ramp_left = 40;
        channel.voice = &v;
        run(update_trigger);
        EXPECT_EQ(channel.voice, &voices[5]);
        EXPECT_EQ(v.position, static_cast<int32_t>(c.position)) << c.offset;
        EXPECT_EQ(v.position_frac, 0u);
        EXPECT_EQ(v.start_offset, 0u);
        EXPECT_EQ(v.direction, 1);
        EXPECT_EQ(v.ramp_gain_left, 0u);
        EXPECT_EQ(v.ramp_gain_right, 0u);
        EXPECT_EQ(v.ramp_left, 0);
    }
}

TEST_F(VoiceUpdate, ArmedOffsetFollowsTheNoteToThePartner) {
    voices[5].sample = &sample;
    voices[5].start_offset = 256;
    run(update_trigger);
    EXPECT_EQ(channel.voice, &voices[37]);
    EXPECT_EQ(voices[37].position, 256);
    EXPECT_EQ(voices[37].start_offset, 0u);
}

TEST_F(VoiceUpdate, RestartRewindsWithoutRetrigger) {
    Voice& v = voices[5];
    v.sample = &sample;
    v.position = 700;
    v.position_frac = 5;
    v.start_offset = 12;
    v.ramp_left = 64;
    v.gain_left = 40;
    run(update_restart);
    EXPECT_EQ(channel.voice, &voices[5]);
    EXPECT_EQ(v.sample, &sample);
    EXPECT_EQ(v.position, 0);
    EXPECT_EQ(v.position_frac, 0u);
    EXPECT_EQ(v.start_offset, 0u);
    EXPECT_EQ(v.ramp_left, 64);
    EXPECT_EQ(v.gain_left, 40);
}

TEST_F(VoiceUpdate, NoFlagsChangeNothing) {
    voices[5].sample = &sample;
    voices[5].volume = 33;
    const Voice before = voices[5];
    run(0);
    EXPECT_EQ(std::memcmp(&before, &voices[5], sizeof(Voice)), 0);
}

}  // namespace
