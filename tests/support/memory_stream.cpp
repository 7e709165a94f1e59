#include "support/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include "module/stream.h"
#include "module/xm_reader.h"

namespace {

struct MemoryFile {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    int64_t position;
};

std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> registered;
MemoryStreamCounts counts;
int open_files = 0;

void* memory_open(const char* name) {
    auto it = name ? registered.find(name) : registered.end();
    if (it == registered.end()) {
        ++counts.failed_opens;
        return nullptr;
    }
    ++counts.opens;
    ++open_files;
    return new MemoryFile{it->second, 0};
}

int memory_close(void* host_file) {
    ++counts.closes;
    --open_files;
    delete static_cast<MemoryFile*>(host_file);
    return 0;
}

// Behaves like fread: delivers what is left, never more.
int32_t memory_read(void* buffer, int32_t count, void* host_file) {
    ++counts.reads;
    auto* f = static_cast<MemoryFile*>(host_file);
    int64_t size = static_cast<int64_t>(f->bytes->size());
    if (count <= 0 || f->position >= size) return 0;
    int64_t n = std::min<int64_t>(count, size - f->position);
    std::memcpy(buffer, f->bytes->data() + f->position, static_cast<size_t>(n));
    f->position += n;
    return static_cast<int32_t>(n);
}

// Behaves like fseek: a target before the start fails and keeps the position; a target past
// the end is allowed (reads there deliver nothing).
int memory_seek(void* host_file, int32_t offset, int8_t origin) {
    ++counts.seeks;
    auto* f = static_cast<MemoryFile*>(host_file);
    int64_t base = origin == stream_seek_set ? 0 : origin == stream_seek_cur ? f->position : -1;
    if (base < 0) return -1;
    int64_t target = base + offset;
    if (target < 0) return -1;
    f->position = target;
    return 0;
}

int32_t memory_tell(void* host_file) {
    ++counts.tells;
    auto* f = static_cast<MemoryFile*>(host_file);
    return f->position > INT32_MAX ? -1 : static_cast<int32_t>(f->position);
}

}  // namespace

void memory_stream_install() {
    registered.clear();
    counts = MemoryStreamCounts{};
    stream_set_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
}

void memory_stream_register(const std::string& name, std::vector<uint8_t> bytes) {
    registered[name] = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

const MemoryStreamCounts& memory_stream_counts() { return counts; }

int memory_stream_open_count() { return open_files; }

Song* song_load_from_memory(const std::vector<uint8_t>& bytes, SampleLoadCallback sample_load_callback) {
    memory_stream_install();
    memory_stream_register("memory.xm", bytes);
    return song_load("memory.xm", sample_load_callback);
}
