// Whole-song offline rendering through the block filler, in times real time.
#include <benchmark/benchmark.h>

#include "audio/render.h"
#include "support/memory_stream.h"
#include "support/test_modules.h"

namespace {

void BM_RenderSongOnceThrough(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    Song* song = song_load_from_memory(xm_write(test_module_busy(channels)));
    if (!song) {
        state.SkipWithError("module did not load");
        return;
    }
    long blocks = 0;
    for (auto _ : state) {
        render_start(song);
        do {
            render_next_block(nullptr, nullptr);
            ++blocks;
        } while (!render_song_returned());
        render_stop();
    }
    // Seconds of audio rendered per second of wall time.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(blocks) * 884.0 / 44100.0, benchmark::Counter::kIsRate);
    state.counters["song_seconds"] = static_cast<double>(blocks) * 884.0 / 44100.0 /
                                     static_cast<double>(state.iterations());
    song_free(song);
}
BENCHMARK(BM_RenderSongOnceThrough)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
