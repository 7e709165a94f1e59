#include "module/file_stream.h"

#include <cstdio>
#include "module/stream.h"

void* host_open(const char* name) { return std::fopen(name, "rb"); }

int host_close(void* host_file) { return std::fclose(static_cast<std::FILE*>(host_file)); }

int32_t host_read(void* buffer, int32_t count, void* host_file) {
    if (count <= 0) return 0;   // a negative count would become a huge size_t
    return static_cast<int32_t>(
        std::fread(buffer, 1, static_cast<size_t>(count), static_cast<std::FILE*>(host_file)));
}

int host_seek(void* host_file, int32_t offset, int8_t origin) {
    return std::fseek(static_cast<std::FILE*>(host_file), offset, static_cast<int>(origin));
}

int32_t host_tell(void* host_file) {
    return static_cast<int32_t>(std::ftell(static_cast<std::FILE*>(host_file)));
}

void file_stream_install() {
    stream_set_callbacks(host_open, host_close, host_read, host_seek, host_tell);
}
