// The host's stream callbacks over the C standard I/O, for the slideshow and the tools.
#pragma once
#include <cstdint>

void* host_open(const char* name);
int host_close(void* host_file);
int32_t host_read(void* buffer, int32_t count, void* host_file);
int host_seek(void* host_file, int32_t offset, int8_t origin);
int32_t host_tell(void* host_file);

// Installs the five functions above with stream_set_callbacks.
void file_stream_install();
