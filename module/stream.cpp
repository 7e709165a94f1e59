#include "module/stream.h"

#include <cstdlib>

namespace {
StreamCallbacks callbacks;
}

void stream_set_callbacks(StreamOpenFn open, StreamCloseFn close, StreamReadFn read,
                          StreamSeekFn seek, StreamTellFn tell) {
    if (open && close && read && seek && tell)
        callbacks = StreamCallbacks{open, close, read, seek, tell};
    else
        callbacks = StreamCallbacks{};
}

bool stream_callbacks_installed() {
    return callbacks.open && callbacks.close && callbacks.read && callbacks.seek && callbacks.tell;
}

StreamHandle* stream_open(const char* name) {
    // Without a table there is nothing to open with: the same as a file that is not there.
    if (!stream_callbacks_installed()) return nullptr;
    auto* stream = static_cast<StreamHandle*>(std::calloc(1, sizeof(StreamHandle)));
    if (!stream) return nullptr;
    stream->host_file = callbacks.open(name);
    if (!stream->host_file) {
        std::free(stream);
        return nullptr;
    }
    return stream;
}

void stream_close(StreamHandle* stream) {
    if (!stream) return;
    callbacks.close(stream->host_file);
    std::free(stream);
}

int32_t stream_read(void* buffer, int32_t count, StreamHandle* stream) {
    if (!stream) return 0;
    return callbacks.read(buffer, count, stream->host_file);
}

int stream_seek(StreamHandle* stream, int32_t offset, int8_t origin) {
    if (!stream) return 0;
    return callbacks.seek(stream->host_file, offset, origin);
}

int32_t stream_tell(StreamHandle* stream) {
    if (!stream) return 0;
    return callbacks.tell(stream->host_file);
}
