// The mixer thread against the main thread, meant for ThreadSanitizer: the main thread reads
// positions and stops playback while the mixer thread refills blocks.
#include <gtest/gtest.h>

#include "audio/player.h"
#include "audio/player_state.h"
#include "platform/audio_output_test.h"
#include "support/counting_song.h"
#include "support/memory_stream.h"
#include "support/player_fixture.h"

namespace {

class PlayerThread : public PlayerFixture {
protected:
    // Reads the reported position while the mixer thread takes one poll at `bytes`.
    void read_while_refilling(uint32_t bytes) {
        audio_output_test_set_position(bytes);
        ASSERT_TRUE(audio_output_test_release());
        for (int i = 0; i < 2000; ++i) {
            EXPECT_LE(player_get_order(&song), 255);
            EXPECT_LE(player_get_row(&song), 255);
        }
        ASSERT_TRUE(audio_output_test_wait_idle());
    }
};

TEST_F(PlayerThread, StartPlayStopRestartStop) {
    for (int round = 0; round < 2; ++round) {
        counting_reset();
        audio_output_test_set_position(0);
        ASSERT_TRUE(player_start(&song));
        ASSERT_TRUE(audio_output_test_wait_idle());
        read_while_refilling(3536 * 10);
        read_while_refilling(3536 * 60);
        read_while_refilling(3536 * 20);   // around the ring
        EXPECT_EQ(playing_block.load(), 20);
        EXPECT_EQ(next_block_to_fill, 20);
        EXPECT_EQ(counting_log.ticks, counting_ticks_through_block(99 + 120));
        EXPECT_TRUE(player_stop(&song));
        EXPECT_EQ(thread_exited.load(), 1);
        EXPECT_EQ(mixing_busy.load(), 0);
        EXPECT_EQ(block_table, nullptr);
    }
}

TEST_F(PlayerThread, StopWhileTheThreadRefillsALongStretch) {
    ASSERT_TRUE(player_start(&song));
    ASSERT_TRUE(audio_output_test_wait_idle());
    audio_output_test_set_position(3536 * 99);
    ASSERT_TRUE(audio_output_test_release());
    // The stop may find the thread before, inside or after its refills; in each case it
    // must wait for the thread to end before releasing anything.
    EXPECT_TRUE(player_stop(&song));
    EXPECT_EQ(thread_exited.load(), 1);
    EXPECT_EQ(pcm_ring, nullptr);
    EXPECT_FALSE(audio_output_test_state().open);
}

TEST_F(PlayerThread, RestartWhilePlayingStopsTheOldThreadFirst) {
    ASSERT_TRUE(player_start(&song));
    ASSERT_TRUE(audio_output_test_wait_idle());
    audio_output_test_set_position(3536 * 50);
    ASSERT_TRUE(audio_output_test_release());
    audio_output_test_set_position(0);
    ASSERT_TRUE(player_start(&song));
    ASSERT_TRUE(audio_output_test_wait_idle());
    EXPECT_EQ(next_block_to_fill, 0);
    EXPECT_EQ(playing_block.load(), 0);
    EXPECT_EQ(audio_output_test_state().close_calls, 1);
}

}  // namespace
