#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "module/file_stream.h"
#include "module/stream.h"
#include "support/memory_stream.h"

namespace {

// Callbacks that record what reached them and answer with fixed values.
struct Calls {
    int open, close, read, seek, tell;
    int32_t last_count, last_offset;
    int8_t last_origin;
} calls;
int host_token;

void* fake_open(const char* name) {
    ++calls.open;
    return std::string(name) == "there" ? &host_token : nullptr;
}
int fake_close(void* f) {
    ++calls.close;
    EXPECT_EQ(f, &host_token);
    return -5;
}
int32_t fake_read(void* buffer, int32_t count, void* f) {
    ++calls.read;
    EXPECT_EQ(f, &host_token);
    calls.last_count = count;
    static_cast<uint8_t*>(buffer)[0] = 0xAB;
    return 3;
}
int fake_seek(void* f, int32_t offset, int8_t origin) {
    ++calls.seek;
    EXPECT_EQ(f, &host_token);
    calls.last_offset = offset;
    calls.last_origin = origin;
    return 7;
}
int32_t fake_tell(void* f) {
    ++calls.tell;
    EXPECT_EQ(f, &host_token);
    return 1234;
}

void install_fakes() {
    calls = Calls{};
    stream_set_callbacks(fake_open, fake_close, fake_read, fake_seek, fake_tell);
}

TEST(Stream, OperationsPassThroughToTheCallbacks) {
    install_fakes();
    ASSERT_TRUE(stream_callbacks_installed());
    StreamHandle* s = stream_open("there");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->host_file, &host_token);
    uint8_t byte = 0;
    EXPECT_EQ(stream_read(&byte, 9, s), 3);
    EXPECT_EQ(byte, 0xAB);
    EXPECT_EQ(calls.last_count, 9);
    EXPECT_EQ(stream_seek(s, -4, stream_seek_cur), 7);
    EXPECT_EQ(calls.last_offset, -4);
    EXPECT_EQ(calls.last_origin, stream_seek_cur);
    EXPECT_EQ(stream_tell(s), 1234);
    stream_close(s);
    EXPECT_EQ(calls.close, 1);
}

TEST(Stream, OneMissingCallbackClearsTheWholeTable) {
    const struct {
        StreamOpenFn open;
        StreamCloseFn close;
        StreamReadFn read;
        StreamSeekFn seek;
        StreamTellFn tell;
    } tables[] = {
        {nullptr, fake_close, fake_read, fake_seek, fake_tell},
        {fake_open, nullptr, fake_read, fake_seek, fake_tell},
        {fake_open, fake_close, nullptr, fake_seek, fake_tell},
        {fake_open, fake_close, fake_read, nullptr, fake_tell},
        {fake_open, fake_close, fake_read, fake_seek, nullptr},
    };
    for (const auto& t : tables) {
        install_fakes();
        stream_set_callbacks(t.open, t.close, t.read, t.seek, t.tell);
        EXPECT_FALSE(stream_callbacks_installed());
        // With an empty table nothing can be opened, and no callback runs.
        EXPECT_EQ(stream_open("there"), nullptr);
        EXPECT_EQ(calls.open, 0);
    }
}

TEST(Stream, NullStreamYieldsZeroAndCallsNothing) {
    install_fakes();
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(stream_read(buffer, 4, nullptr), 0);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(stream_seek(nullptr, 10, stream_seek_set), 0);
    EXPECT_EQ(stream_tell(nullptr), 0);
    stream_close(nullptr);
    EXPECT_EQ(calls.read + calls.seek + calls.tell + calls.close, 0);
}

TEST(Stream, FailedOpenCallsNothingElse) {
    install_fakes();
    EXPECT_EQ(stream_open("missing"), nullptr);
    EXPECT_EQ(calls.open, 1);
    EXPECT_EQ(calls.read + calls.seek + calls.tell + calls.close, 0);
}

TEST(FileStream, ReadsSeeksAndTellsAFile) {
    std::string path = ::testing::TempDir() + "file_stream_test.bin";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite("0123456789", 1, 10, f);
    std::fclose(f);

    file_stream_install();
    EXPECT_TRUE(stream_callbacks_installed());
    EXPECT_EQ(stream_open((path + ".missing").c_str()), nullptr);
    StreamHandle* s = stream_open(path.c_str());
    ASSERT_NE(s, nullptr);
    char buf[8] = {};
    EXPECT_EQ(stream_read(buf, 3, s), 3);
    EXPECT_EQ(std::string(buf, 3), "012");
    EXPECT_EQ(stream_seek(s, 2, stream_seek_cur), 0);
    EXPECT_EQ(stream_tell(s), 5);
    EXPECT_EQ(stream_seek(s, 8, stream_seek_set), 0);
    EXPECT_EQ(stream_read(buf, 8, s), 2);   // short read at the end
    EXPECT_EQ(std::string(buf, 2), "89");
    EXPECT_EQ(stream_read(buf, -1, s), 0);
    EXPECT_NE(stream_seek(s, -20, stream_seek_cur), 0);   // before the start: refused
    stream_close(s);
    std::remove(path.c_str());
}

TEST(MemoryStream, BehavesLikeAFile) {
    memory_stream_install();
    memory_stream_register("m", {'a', 'b', 'c', 'd'});
    StreamHandle* s = stream_open("m");
    ASSERT_NE(s, nullptr);
    char buf[8] = {};
    EXPECT_EQ(stream_read(buf, 8, s), 4);
    EXPECT_EQ(stream_read(buf, 8, s), 0);
    EXPECT_NE(stream_seek(s, -5, stream_seek_cur), 0);
    EXPECT_EQ(stream_tell(s), 4);
    EXPECT_EQ(stream_seek(s, 100, stream_seek_set), 0);   // past the end: allowed, reads nothing
    EXPECT_EQ(stream_read(buf, 1, s), 0);
    EXPECT_EQ(stream_seek(s, 1, stream_seek_set), 0);
    EXPECT_EQ(stream_read(buf, 2, s), 2);
    EXPECT_EQ(std::string(buf, 2), "bc");
    stream_close(s);
    EXPECT_EQ(memory_stream_open_count(), 0);
}

}  // namespace
