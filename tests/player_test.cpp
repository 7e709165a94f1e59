// Player start/stop, the block ring, position reporting and PCM conversion, with the test
// output device: the tests set the play position and let the mixer thread poll once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "audio/pcm.h"
#include "audio/player.h"
#include "audio/player_state.h"
#include "audio/render.h"
#include "module/stream.h"
#include "platform/audio_output_test.h"
#include "support/counting_song.h"
#include "support/memory_stream.h"
#include "support/player_fixture.h"

namespace {

int ticks_through_block(int b) { return counting_ticks_through_block(b); }

uint32_t bytes_for_block(int b) { return static_cast<uint32_t>(b) * 3536; }

using Player = PlayerFixture;

TEST_F(Player, StartComputesSizesAndPrefillsTheWholeRing) {
    ASSERT_TRUE(player_start(&song));
    EXPECT_EQ(block_frames, 884);
    EXPECT_EQ(ring_frames, 88400);
    EXPECT_EQ(block_count, 100);
    EXPECT_EQ(ramp_frames, 128);
    EXPECT_EQ(inv_ramp, 0.0078125f);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(mix_buffer) % 16, 0u);

    const AudioOutputTestState device = audio_output_test_state();
    EXPECT_TRUE(device.open);
    EXPECT_EQ(device.play_calls, 1);
    EXPECT_EQ(device.ring, pcm_ring);
    EXPECT_EQ(device.ring_bytes, 353600u);

    // 100 blocks and no more: 88400 frames hold 101 ticks of 882 frames.
    EXPECT_EQ(next_block_to_fill, 0);
    EXPECT_EQ(counting_log.ticks, ticks_through_block(99));
    EXPECT_EQ(counting_log.ticks, 101);
    // The very first call begins with a tick, before any frame is mixed.
    EXPECT_EQ(counting_log.first_tick_block, 0);
    EXPECT_EQ(counting_log.first_tick_left, 0);
    // The tick that straddles the last block continues in the next fill.
    EXPECT_EQ(song.samples_left_in_tick, 101 * 882 - 88400);

    for (int b = 0; b < 100; ++b) {
        const BlockInfo info = block_table[b].load();
        const int ticks = ticks_through_block(b);
        EXPECT_EQ(info.row, ticks & 255) << "block " << b;
        EXPECT_EQ(info.order, ticks >> 8) << "block " << b;
    }
}

TEST_F(Player, ReportsBlockZeroRightAfterStart) {
    ASSERT_TRUE(player_start(&song));
    EXPECT_EQ(playing_block.load(), 0);
    // Block 0 ends two frames into the second tick.
    EXPECT_EQ(player_get_row(&song), 2);
    EXPECT_EQ(player_get_order(&song), 0);
    EXPECT_EQ(player_get_row(nullptr), 0);
    EXPECT_EQ(player_get_order(nullptr), 0);
}

TEST_F(Player, PositionsBeforeAnyStartAndAfterStopReadZero) {
    EXPECT_EQ(player_get_order(&song), 0);
    EXPECT_EQ(player_get_row(&song), 0);
    ASSERT_TRUE(player_start(&song));
    EXPECT_NE(player_get_row(&song), 0);
    EXPECT_TRUE(player_stop(&song));
    EXPECT_EQ(player_get_order(&song), 0);
    EXPECT_EQ(player_get_row(&song), 0);
    EXPECT_EQ(block_table, nullptr);
    EXPECT_EQ(pcm_ring, nullptr);
    EXPECT_EQ(current_song, nullptr);
}

TEST_F(Player, DevicePositionSelectsTheBlockToPlay) {
    struct Case {
        uint32_t bytes;
        int block;
    };
    const Case cases[] = {{0, 0},      {3535, 0},         {3536, 1},        {7071, 1},
                          {353599, 99}, {353600, 0},      {353600 + 3536 * 7, 7},
                          {4294967295u, static_cast<int>((4294967295u / 4) % 88400 / 884)}};
    for (const Case& c : cases) {
        counting_reset();
        ASSERT_TRUE(player_start(&song));
        ASSERT_TRUE(audio_output_test_wait_idle());
        audio_output_test_set_position(c.bytes);
        ASSERT_TRUE(audio_output_test_step());
        EXPECT_EQ(playing_block.load(), c.block) << c.bytes << " bytes";
        EXPECT_EQ(next_block_to_fill, c.block) << c.bytes << " bytes";
        // Every block before the playing one was refilled, one ring ahead.
        EXPECT_EQ(counting_log.ticks, ticks_through_block(99 + c.block)) << c.bytes << " bytes";
        audio_output_test_set_position(0);
    }
}

TEST_F(Player, RefillsInRingOrderWhatARenderProduces) {
    // The same song rendered offline: blocks 0..104 in fill order.
    const int blocks = 105;
    std::vector<BlockInfo> infos(blocks);
    ASSERT_TRUE(render_start(&song));
    for (int b = 0; b < blocks; ++b) render_next_block(nullptr, &infos[b]);
    render_stop();

    counting_reset();
    ASSERT_TRUE(player_start(&song));
    ASSERT_TRUE(audio_output_test_wait_idle());
    audio_output_test_set_position(bytes_for_block(3));
    ASSERT_TRUE(audio_output_test_step());
    audio_output_test_set_position(bytes_for_block(5) + 17);
    ASSERT_TRUE(audio_output_test_step());
    EXPECT_EQ(playing_block.load(), 5);
    for (int b = 0; b < 100; ++b) {
        const BlockInfo expected = infos[b < 5 ? 100 + b : b];
        const BlockInfo got = block_table[b].load();
        EXPECT_EQ(got.order, expected.order) << "block " << b;
        EXPECT_EQ(got.row, expected.row) << "block " << b;
    }
    // Reported: the entry of the playing block, written one ring earlier.
    EXPECT_EQ(player_get_row(&song), infos[5].row);
}

TEST_F(Player, ByteCountWrapRefillsUpToTheNewBlockInOnePoll) {
    ASSERT_TRUE(player_start(&song));
    ASSERT_TRUE(audio_output_test_wait_idle());
    const uint32_t last = 0xFFFFFFFCu;   // the last frame before the count wraps
    const int before = static_cast<int>((last / 4) % 88400 / 884);
    ASSERT_EQ(before, 40);
    audio_output_test_set_position(last);
    ASSERT_TRUE(audio_output_test_step());
    EXPECT_EQ(playing_block.load(), before);
    const int ticks_before = counting_log.ticks;

    audio_output_test_set_position(bytes_for_block(2));   // wrapped past 2^32
    ASSERT_TRUE(audio_output_test_step());
    EXPECT_EQ(playing_block.load(), 2);
    EXPECT_EQ(next_block_to_fill, 2);
    // Blocks 40..99 and 0..1: 62 more blocks filled in that one poll.
    EXPECT_EQ(counting_log.ticks, ticks_through_block(99 + before + 62));
    EXPECT_GT(counting_log.ticks, ticks_before);
}

TEST_F(Player, FailedPositionQueryFillsNothing) {
    ASSERT_TRUE(player_start(&song));
    ASSERT_TRUE(audio_output_test_wait_idle());
    audio_output_test_set_position(bytes_for_block(4));
    ASSERT_TRUE(audio_output_test_step());
    ASSERT_EQ(playing_block.load(), 4);
    const int ticks = counting_log.ticks;

    audio_output_test_fail_position(true);
    audio_output_test_set_position(bytes_for_block(30));
    ASSERT_TRUE(audio_output_test_step());
    EXPECT_EQ(playing_block.load(), 4);
    EXPECT_EQ(next_block_to_fill, 4);
    EXPECT_EQ(counting_log.ticks, ticks);

    audio_output_test_fail_position(false);
    ASSERT_TRUE(audio_output_test_step());
    EXPECT_EQ(playing_block.load(), 30);
}

TEST_F(Player, StartRefusals) {
    Song too_wide = counting_song();
    too_wide.channel_count = 33;
    EXPECT_FALSE(player_start(nullptr));
    EXPECT_FALSE(player_start(&too_wide));
    EXPECT_EQ(audio_output_test_state().open_calls, 0);
    EXPECT_EQ(block_table, nullptr);
}

TEST_F(Player, MissingCallbackStopsThePlayingSongAndRefusesToStart) {
    ASSERT_TRUE(player_start(&song));
    ASSERT_NE(player_get_row(&song), 0);
    stream_set_callbacks([](const char*) -> void* { return nullptr; }, nullptr,
                         [](void*, int32_t, void*) -> int32_t { return 0; },
                         [](void*, int32_t, int8_t) { return 0; }, [](void*) -> int32_t { return 0; });
    EXPECT_FALSE(player_start(&song));
    EXPECT_EQ(player_get_order(&song), 0);
    EXPECT_EQ(player_get_row(&song), 0);
    EXPECT_EQ(block_table, nullptr);
    EXPECT_EQ(thread_exited.load(), 1);
    const AudioOutputTestState device = audio_output_test_state();
    EXPECT_FALSE(device.open);
    EXPECT_FALSE(device.playing);
    EXPECT_EQ(device.open_calls, 1);
}

TEST_F(Player, DeviceOpenFailureLeavesATableReadingZeroUntilStopped) {
    audio_output_test_fail_open(true);
    EXPECT_FALSE(player_start(&song));
    EXPECT_NE(block_table, nullptr);
    EXPECT_EQ(current_song, &song);
    EXPECT_EQ(pcm_ring, nullptr);
    EXPECT_EQ(thread_exited.load(), 1);
    EXPECT_EQ(song.samples_per_tick, 882);
    EXPECT_EQ(player_get_order(&song), 0);
    EXPECT_EQ(player_get_row(&song), 0);
    EXPECT_EQ(counting_log.ticks, 0);
    EXPECT_TRUE(player_stop(&song));
    EXPECT_EQ(block_table, nullptr);
    EXPECT_EQ(audio_output_test_state().close_calls, 0);
}

TEST_F(Player, StopWithNothingPlaying) {
    EXPECT_FALSE(player_stop(nullptr));
    EXPECT_TRUE(player_stop(&song));
    EXPECT_TRUE(player_stop(&song));
    const AudioOutputTestState device = audio_output_test_state();
    EXPECT_EQ(device.reset_calls, 0);
    EXPECT_EQ(device.close_calls, 0);
}

TEST_F(Player, StopResetsTheDeviceBeforeClosingAndRestartBeginsAgain) {
    ASSERT_TRUE(player_start(&song));
    ASSERT_TRUE(audio_output_test_wait_idle());
    audio_output_test_set_position(bytes_for_block(9));
    ASSERT_TRUE(audio_output_test_step());
    ASSERT_TRUE(player_stop(&song));
    AudioOutputTestState device = audio_output_test_state();
    EXPECT_EQ(device.reset_calls, 1);
    EXPECT_EQ(device.close_calls, 1);
    EXPECT_FALSE(device.open);
    EXPECT_EQ(device.priority_requests, 1);
    EXPECT_EQ(next_block_to_fill, 0);
    EXPECT_EQ(playing_block.load(), 0);

    counting_reset();
    audio_output_test_set_position(0);
    ASSERT_TRUE(player_start(&song));
    EXPECT_EQ(counting_log.ticks, 101);
    EXPECT_EQ(player_get_row(&song), 2);
}

TEST(Pcm, FloatToPcm16RoundsToEvenAndClips) {
    struct Case {
        float in;
        int16_t out;
    };
    const Case cases[] = {{0.5f, 0},          {1.5f, 2},          {-2.5f, -2},       {-0.5f, 0},
                          {2.5f, 2},          {32767.4f, 32767},  {32767.6f, 32767}, {-32768.7f, -32768},
                          {100000.0f, 32767}, {-1e9f, -32768},    {-1.4f, -1},       {0.0f, 0},
                          {INFINITY, 32767},  {-INFINITY, -32768}};
    const int n = sizeof cases / sizeof cases[0];
    std::vector<float> src;
    for (const Case& c : cases) src.push_back(c.in);
    src.push_back(0.0f);   // an even count: whole frames
    std::vector<int16_t> dst(src.size(), 1234);
    float_to_pcm16(dst.data(), src.data(), static_cast<int32_t>(src.size() / 2));
    for (int i = 0; i < n; ++i) EXPECT_EQ(dst[i], cases[i].out) << "input " << cases[i].in;
}

TEST(Pcm, FloatToPcm16WritesNothingForNoFramesOrNullPointers) {
    const float src[4] = {1, 2, 3, 4};
    int16_t dst[4] = {7, 7, 7, 7};
    float_to_pcm16(dst, src, 0);
    float_to_pcm16(dst, src, -3);
    float_to_pcm16(nullptr, src, 2);
    float_to_pcm16(dst, nullptr, 2);
    for (int16_t v : dst) EXPECT_EQ(v, 7);
    float_to_pcm16(dst, src, 1);   // one frame: two samples
    EXPECT_EQ(dst[1], 2);
    EXPECT_EQ(dst[2], 7);
}

}  // namespace
