#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include "app/slideshow.h"
#include "module/file_stream.h"
#include "platform/display_test.h"

namespace {

TEST(PictureSchedule, EveryOrderAndRow) {
    struct Case {
        int32_t order, row, previous, picture;
    };
    const Case cases[] = {
        {0, 0, 9, 0},    {0, 3, 9, 0},    {0, 4, 9, 1},    {0, 7, 9, 1},    {0, 8, 9, 0},
        {0, 63, 9, 1},   {0, 255, 9, 1},
        {1, 0, 9, 4},    {1, 7, 9, 4},    {1, 8, 9, 0},    {1, 11, 9, 0},   {1, 12, 9, 1},
        {1, 15, 9, 1},   {1, 16, 9, 4},   {1, 91, 9, 0},
        {2, 0, 9, 2},    {2, 4, 9, 3},    {2, 13, 9, 3},
        {3, 0, 9, 4},    {3, 47, 9, 4},   {3, 48, 9, 5},   {3, 63, 9, 5},   {3, 200, 9, 5},
        {4, 1, 9, 6},    {4, 6, 9, 7},
        {5, 2, 9, 8},    {5, 5, 9, 9},
        // Order 6 repeats order 0.
        {6, 0, 9, 0},    {6, 4, 9, 1},    {6, 9, 9, 0},    {6, 70, 9, 1},
        {7, 0, 9, 2},    {7, 4, 9, 3},    {7, 31, 9, 3},   {7, 32, 9, 6},   {7, 36, 9, 7},
        {7, 100, 9, 7},
        // Order 8 turns to pictures 0 and 1 from row 32.
        {8, 0, 9, 8},    {8, 4, 9, 9},    {8, 31, 9, 9},   {8, 32, 9, 0},   {8, 36, 9, 1},
        {8, 64, 9, 0},
        {9, 0, 0, 10},   {9, 7, 0, 10},   {9, 8, 0, 11},   {9, 16, 0, 12},  {9, 24, 0, 13},
        {9, 31, 0, 13},  {9, 32, 0, 10},  {9, 77, 0, 11},  {9, 255, 0, 13},
        // Every order above 9 keeps the previous picture.
        {10, 0, 7, 7},   {10, 31, 13, 13}, {11, 5, 2, 2},  {200, 9, 0, 0},  {255, 255, 12, 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(picture_for_position(c.order, c.row, c.previous), c.picture)
            << "order " << c.order << " row " << c.row;
}

TEST(PictureSchedule, OutOfRangePositionsStillPickAPicture) {
    for (int32_t order : {-1, 0, 1, 3, 7, 8, 9, 12})
        for (int32_t row : {-1, -100, 256, 1000, INT32_MIN, INT32_MAX}) {
            int32_t picture = picture_for_position(order, row, 5);
            EXPECT_TRUE(picture >= 0 && picture < picture_count) << order << " " << row;
        }
}

// The player stand-in: scripted positions, one (order, row) per frame, and a log of the
// operations with the number of display calls made before each.
std::vector<std::pair<int32_t, int32_t>> script_positions;
size_t position_reads = 0;
std::vector<std::pair<std::string, size_t>> player_log;
Song fake_song{};
bool fake_load_fails = false;
StreamOpenFn installed_open = nullptr;
bool installed_all = false;

void log_player(const char* what) { player_log.emplace_back(what, display_test_calls().size()); }

std::pair<int32_t, int32_t> scripted_position() {
    if (script_positions.empty()) return {0, 0};
    size_t frame = std::min(position_reads, script_positions.size() - 1);
    return script_positions[frame];
}

void fake_set_callbacks(StreamOpenFn open, StreamCloseFn close, StreamReadFn read,
                        StreamSeekFn seek, StreamTellFn tell) {
    log_player("set_callbacks");
    installed_open = open;
    installed_all = open == host_open && close == host_close && read == host_read &&
                    seek == host_seek && tell == host_tell;
}

Song* fake_load(const char* name, SampleLoadCallback callback) {
    log_player("load");
    EXPECT_STREQ(name, "wq.xm");
    EXPECT_EQ(callback, nullptr);
    return fake_load_fails ? nullptr : &fake_song;
}

bool fake_start(Song* song) {
    log_player("start");
    EXPECT_EQ(song, &fake_song);
    return false;   // not examined: the frames run all the same
}

int32_t fake_get_order(Song* song) {
    EXPECT_EQ(song, &fake_song);
    return scripted_position().first;
}

// The row is read second; the next frame reads the next scripted position.
int32_t fake_get_row(Song* song) {
    EXPECT_EQ(song, &fake_song);
    int32_t row = scripted_position().second;
    position_reads++;
    return row;
}

bool fake_free(Song* song) {
    log_player("free");
    EXPECT_EQ(song, &fake_song);
    return true;
}

const PlayerOps fake_player{fake_set_callbacks, fake_load, fake_start,
                            fake_get_order, fake_get_row, fake_free};

void reset_fakes(std::vector<std::pair<int32_t, int32_t>> positions, std::vector<bool> escape) {
    script_positions = std::move(positions);
    position_reads = 0;
    player_log.clear();
    fake_load_fails = false;
    installed_open = nullptr;
    installed_all = false;
    DisplayTestScript script;
    script.escape_answers = std::move(escape);
    display_test_reset(script);
}

// The textures bound by the frames, as picture numbers (names are 1 + picture here).
std::vector<int> drawn_pictures() {
    std::vector<int> pictures;
    for (const DisplayCall& call : display_test_calls())
        if (call.kind == DisplayCallKind::bind_texture && call.args[1] >= 1) pictures.push_back(int(call.args[1]) - 1);
    return pictures;
}

Slideshow show_with_names() {
    Slideshow show{};
    for (int n = 0; n < picture_count; n++) show.picture_textures[n] = uint32_t(n + 1);
    show.song = &fake_song;
    return show;
}

TEST(FrameLoop, OneFrameClearsReadsBindsDrawsTheQuadSwapsAndAsksForEscape) {
    reset_fakes({{3, 50}, {end_order, end_row}}, {});
    Slideshow show = show_with_names();
    run_frame_loop(display_test(), fake_player, show);

    using K = DisplayCallKind;
    struct Expected {
        K kind;
        std::vector<double> args;
    };
    const std::vector<Expected> frame = {
        {K::poll_message, {}},  {K::clear, {gl_color_buffer_bit}},
        {K::bind_texture, {gl_texture_2d, 6}},   // picture 5
        {K::begin, {gl_quads}},
        {K::tex_coord_2f, {1, 0}}, {K::vertex_2f, {-4, 3}},
        {K::tex_coord_2f, {0, 0}}, {K::vertex_2f, {-4, -3}},
        {K::tex_coord_2f, {0, 1}}, {K::vertex_2f, {4, -3}},
        {K::tex_coord_2f, {1, 1}}, {K::vertex_2f, {4, 3}},
        {K::end, {}},           {K::swap, {}},   {K::escape_pressed, {}},
    };
    const std::vector<DisplayCall>& calls = display_test_calls();
    ASSERT_EQ(calls.size(), 2 * frame.size());
    for (size_t i = 0; i < calls.size(); i++) {
        const Expected& e = frame[i % frame.size()];
        EXPECT_EQ(calls[i].kind, e.kind) << i;
        if (i < frame.size()) {
            EXPECT_EQ(calls[i].args, e.args) << i;
        }
    }
    // The end frame is drawn with the previous frame's picture.
    EXPECT_EQ(drawn_pictures(), (std::vector<int>{5, 5}));
    EXPECT_EQ(show.previous_picture, 5);
}

TEST(FrameLoop, EndsOnlyOnTheExactEndPositionOrEscape) {
    struct Case {
        const char* what;
        std::vector<std::pair<int32_t, int32_t>> positions;
        std::vector<bool> escape;   // answer per frame
        std::vector<int> pictures;  // drawn, frame by frame
    };
    const Case cases[] = {
        {"10/30 then 10/32 go on, 10/31 ends after drawing",
         {{9, 8}, {10, 30}, {10, 32}, {11, 31}, {9, 31}, {10, 31}}, {}, {11, 11, 11, 11, 13, 13}},
        {"first frame above order 9 shows picture 0", {{10, 31}}, {}, {0}},
        {"Escape ends after the frame that saw it", {{0, 0}, {0, 4}, {0, 8}, {10, 31}},
         {false, true}, {0, 1}},
        {"Escape and the end position in one frame", {{10, 31}}, {true}, {0}},
        {"a song that skips the end row runs until Escape",
         {{10, 29}, {10, 30}, {10, 32}, {10, 33}, {0, 0}, {1, 8}},
         {false, false, false, false, false, false, false, true}, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset_fakes(c.positions, c.escape);
        Slideshow show = show_with_names();
        run_frame_loop(display_test(), fake_player, show);
        EXPECT_EQ(drawn_pictures(), c.pictures);
        EXPECT_EQ(display_test_count(DisplayCallKind::swap), int(c.pictures.size()));
        EXPECT_EQ(display_test_count(DisplayCallKind::escape_pressed), int(c.pictures.size()));
        EXPECT_EQ(position_reads, c.pictures.size());
    }
}

// slideshow_run reads "wq.dat" from the working directory: each test runs in its own
// folder, with or without a pack.
class SlideshowRun : public testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        old_dir = cwd;
        std::string pattern = testing::TempDir() + "slideshow_test_XXXXXX";
        std::vector<char> dir(pattern.begin(), pattern.end());
        dir.push_back(0);
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        work_dir = dir.data();
        ASSERT_EQ(chdir(work_dir.c_str()), 0);
    }
    void TearDown() override {
        std::remove("wq.dat");
        EXPECT_EQ(chdir(old_dir.c_str()), 0);
        rmdir(work_dir.c_str());
    }
    static void write_pack() {
        FILE* file = std::fopen("wq.dat", "wb");
        ASSERT_NE(file, nullptr);
        std::vector<uint8_t> pack(size_t(picture_count) * pack_record_bytes, 0);
        std::fwrite(pack.data(), 1, pack.size(), file);
        std::fclose(file);
    }
    std::string old_dir, work_dir;
};

size_t logged_at(const char* what) {
    for (const auto& [name, at] : player_log)
        if (name == what) return at;
    ADD_FAILURE() << what << " was not called";
    return 0;
}

size_t first_call(DisplayCallKind kind) {
    const std::vector<DisplayCall>& calls = display_test_calls();
    for (size_t i = 0; i < calls.size(); i++)
        if (calls[i].kind == kind) return i;
    return calls.size();
}

size_t last_call(DisplayCallKind kind) {
    const std::vector<DisplayCall>& calls = display_test_calls();
    for (size_t i = calls.size(); i-- > 0;)
        if (calls[i].kind == kind) return i;
    return calls.size();
}

TEST_F(SlideshowRun, StartsInOrderPlaysAndShutsDown) {
    write_pack();
    reset_fakes({{0, 0}, {0, 4}, {end_order, end_row}}, {});
    EXPECT_EQ(slideshow_run(display_test(), fake_player), 0);

    const std::vector<DisplayCall>& calls = display_test_calls();
    using K = DisplayCallKind;
    const K set_up[] = {K::create, K::matrix_mode, K::ortho, K::matrix_mode, K::enable, K::gen_textures};
    ASSERT_GT(calls.size(), std::size(set_up));
    for (size_t i = 0; i < std::size(set_up); i++) EXPECT_EQ(calls[i].kind, set_up[i]) << i;
    EXPECT_EQ(calls[1].args, std::vector<double>{gl_projection});
    EXPECT_EQ(calls[2].args, (std::vector<double>{-4, 4, -3, 3, -1, 1}));
    EXPECT_EQ(calls[3].args, std::vector<double>{gl_modelview});
    EXPECT_EQ(calls[4].args, std::vector<double>{gl_texture_2d});

    // Pack, callbacks, song, playback, window shown, one Escape query, frames, release.
    ASSERT_EQ(player_log.size(), 4u);
    EXPECT_EQ(player_log[0].first, "set_callbacks");
    EXPECT_EQ(player_log[1].first, "load");
    EXPECT_EQ(player_log[2].first, "start");
    EXPECT_EQ(player_log[3].first, "free");
    EXPECT_TRUE(installed_all);
    EXPECT_EQ(logged_at("set_callbacks"), last_call(K::tex_parameteri) + 1);
    EXPECT_EQ(logged_at("start"), first_call(K::show));
    EXPECT_EQ(calls[first_call(K::show) + 1].kind, K::escape_pressed);
    EXPECT_EQ(calls[first_call(K::show) + 2].kind, K::poll_message);
    EXPECT_EQ(display_test_count(K::swap), 3);
    EXPECT_EQ(logged_at("free"), last_call(K::escape_pressed) + 1);
    EXPECT_EQ(calls.back().kind, K::restore);
    EXPECT_EQ(display_test_count(K::message_box), 0);
}

TEST_F(SlideshowRun, EscapeBeforeTheFirstFrameDrawsNothing) {
    write_pack();
    reset_fakes({{0, 0}}, {true});
    EXPECT_EQ(slideshow_run(display_test(), fake_player), 0);
    EXPECT_EQ(display_test_count(DisplayCallKind::show), 1);
    EXPECT_EQ(display_test_count(DisplayCallKind::escape_pressed), 1);
    EXPECT_EQ(display_test_count(DisplayCallKind::clear), 0);
    EXPECT_EQ(display_test_count(DisplayCallKind::swap), 0);
    EXPECT_EQ(position_reads, 0u);
    ASSERT_EQ(player_log.size(), 4u);
    EXPECT_EQ(player_log.back().first, "free");
    EXPECT_EQ(display_test_calls().back().kind, DisplayCallKind::restore);
}

TEST_F(SlideshowRun, StartUpFailuresShowTheirMessageAndEndAtOnce) {
    struct Case {
        const char* what;
        bool pack, create, load;
        const char* text;
        std::vector<std::string> player_calls;
    };
    const Case cases[] = {
        {"no image pack", false, true, true, ".dat not found!", {}},
        {"song does not load", true, true, false, "Error loading song", {"set_callbacks", "load"}},
        {"no display", true, false, true, "Cannot open the display", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove("wq.dat");
        if (c.pack) write_pack();
        reset_fakes({{end_order, end_row}}, {});
        fake_load_fails = !c.load;
        DisplayTestScript script;
        script.create_result = c.create;
        display_test_reset(script);
        EXPECT_EQ(slideshow_run(display_test(), fake_player), 0);

        const std::vector<DisplayCall>& calls = display_test_calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().kind, DisplayCallKind::message_box);
        EXPECT_EQ(calls.back().caption, "ERROR");
        EXPECT_EQ(calls.back().text, c.text);
        EXPECT_EQ(display_test_count(DisplayCallKind::message_box), 1);
        std::vector<std::string> player_calls;
        for (const auto& entry : player_log) player_calls.push_back(entry.first);
        EXPECT_EQ(player_calls, c.player_calls);
        if (!c.pack) {
            EXPECT_EQ(display_test_count(DisplayCallKind::gen_textures), 0);
        }
    }
}

}  // namespace
