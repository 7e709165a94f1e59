// Stream access: the loader reads modules only through five host callbacks.
#pragma once
#include <cstdint>

using StreamOpenFn = void* (*)(const char* name);
using StreamCloseFn = int (*)(void* host_file);
using StreamReadFn = int32_t (*)(void* buffer, int32_t count, void* host_file);
using StreamSeekFn = int (*)(void* host_file, int32_t offset, int8_t origin);
using StreamTellFn = int32_t (*)(void* host_file);

constexpr int8_t stream_seek_set = 0;
constexpr int8_t stream_seek_cur = 1;

struct StreamCallbacks {
    StreamOpenFn open;
    StreamCloseFn close;
    StreamReadFn read;
    StreamSeekFn seek;
    StreamTellFn tell;
};

struct StreamHandle {
    void* host_file;
};

// All five non-null: installed. Any null: the whole table is cleared.
void stream_set_callbacks(StreamOpenFn open, StreamCloseFn close, StreamReadFn read,
                          StreamSeekFn seek, StreamTellFn tell);
// True when all five callbacks are installed.
bool stream_callbacks_installed();

StreamHandle* stream_open(const char* name);
void stream_close(StreamHandle* stream);
int32_t stream_read(void* buffer, int32_t count, StreamHandle* stream);
int stream_seek(StreamHandle* stream, int32_t offset, int8_t origin);
int32_t stream_tell(StreamHandle* stream);
