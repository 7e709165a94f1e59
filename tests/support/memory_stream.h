// Stream callbacks over in-memory byte buffers, registered under names: modules made by the
// XM writer load without touching the file system.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "module/song.h"

// How often each callback ran since the last memory_stream_install.
struct MemoryStreamCounts {
    int opens;
    int failed_opens;
    int closes;
    int reads;
    int seeks;
    int tells;
};

// Installs the five callbacks with stream_set_callbacks and forgets every registered buffer.
void memory_stream_install();
// Makes `bytes` openable as `name` (replacing an earlier buffer of that name).
void memory_stream_register(const std::string& name, std::vector<uint8_t> bytes);
const MemoryStreamCounts& memory_stream_counts();
// Open handles not closed yet.
int memory_stream_open_count();

// Installs the callbacks, registers `bytes` and loads them with song_load.
Song* song_load_from_memory(const std::vector<uint8_t>& bytes,
                            SampleLoadCallback sample_load_callback = nullptr);
