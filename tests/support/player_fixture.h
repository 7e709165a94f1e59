// A fixture for tests of live playback: the counting song, in-memory streams and the test
// output device installed for each test, and playback stopped afterwards.
#pragma once
#include <gtest/gtest.h>

#include "audio/player.h"
#include "audio/player_state.h"
#include "module/song.h"
#include "platform/audio_output_test.h"
#include "support/counting_song.h"
#include "support/memory_stream.h"

class PlayerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        counting_reset();
        audio_output_test_reset();
        player_set_output(audio_output_test());
        memory_stream_install();
        song = counting_song();
    }
    void TearDown() override {
        player_stop(&song);
        player_set_output(nullptr);
    }
    Song song{};
};
