// The XM reader. It reads the format at fixed positions and takes the file's counts as they
// are, with a few load-time limits so that the sequencer and the mixer can trust any Song it
// returns (a module that breaks them is either refused or clamped, see xm_read_header and
// read_instrument_header). After a successful load:
//   - channel_count is 1..32 and song_length 1..256 (a length of 0 plays order 0);
//   - restart_position lies below song_length, default_bpm is positive;
//   - every order entry below song_length names a pattern slot, and every slot has cells
//     for at least one row (a pattern of 0 rows keeps row_count 0 but one empty row);
//   - envelope point counts are at most 12, and a sustain or loop flag is only set when
//     its point indices lie below the point count;
//   - a sample's loop end lies at most 6 frames beyond its length (otherwise the loop is
//     cut back to the sample's end), and a sample of length 0 has no loop;
//   - the whole song took at most load_budget_bytes of memory.
#include "module/xm_reader.h"

#include <cstdlib>
#include <cstring>
#include "audio/player.h"
#include "sequencer/tick_clock.h"

namespace {

// Far above any real module (whose samples rarely reach tens of megabytes), far below what
// a hostile header can ask for (65535 patterns of 65535 rows, 4 GB samples).
constexpr uint64_t load_budget_bytes = uint64_t{256} << 20;

constexpr int32_t max_song_length = 256;
constexpr int32_t max_pattern_channels = 32;
constexpr uint8_t file_envelope_points = 12;
constexpr int16_t fallback_bpm = 125;
constexpr int32_t max_samples_per_instrument = 16;

// The file extends beyond its end with zeros: a short read leaves the destination's zero fill.
struct Reader {
    StreamHandle* stream;
    uint64_t allocated;
};

void read_bytes(Reader& r, void* destination, int32_t count) {
    stream_read(destination, count, r.stream);
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t read_u32(Reader& r) {
    uint8_t b[4] = {};
    read_bytes(r, b, 4);
    return le32(b);
}

uint16_t read_u16(Reader& r) {
    uint8_t b[2] = {};
    read_bytes(r, b, 2);
    return le16(b);
}

// Offsets are 32-bit in the stream interface; an offset that does not fit wraps as it would
// in 32-bit arithmetic, and the host's seek decides what a position outside the file means.
void seek_to(Reader& r, uint32_t offset) {
    stream_seek(r.stream, static_cast<int32_t>(offset), stream_seek_set);
}

// Zero-filled memory charged to the song's budget; null when over budget or out of memory.
void* budget_calloc(Reader& r, uint64_t count, uint64_t size) {
    uint64_t bytes = count * size;   // both factors are below 2^32
    if (bytes > load_budget_bytes - r.allocated) return nullptr;
    r.allocated += bytes;
    return std::calloc(count == 0 ? 1 : count, size);
}

int16_t* budget_sample_data(Reader& r, uint32_t length) {
    uint64_t bytes = (uint64_t{length} + 16) * 2;   // data, tail and front padding
    if (bytes > load_budget_bytes - r.allocated) return nullptr;
    r.allocated += bytes;
    return sample_data_alloc(length);
}

// Module header and song limits.
bool read_module_header(Reader& r, Song* song, uint16_t* pattern_count, uint32_t* header_size) {
    seek_to(r, 60);
    *header_size = read_u32(r);
    uint8_t h[272] = {};
    read_bytes(r, h, sizeof h);
    uint16_t song_length = le16(h + 0);
    song->restart_position = static_cast<int16_t>(le16(h + 2));
    song->channel_count = static_cast<int16_t>(le16(h + 4));
    *pattern_count = le16(h + 6);
    song->instrument_count = static_cast<int16_t>(le16(h + 8));
    song->song_flags = le16(h + 10);
    song->default_speed = static_cast<int16_t>(le16(h + 12));
    song->default_bpm = static_cast<int16_t>(le16(h + 14));
    std::memcpy(song->order_table, h + 16, 256);

    // More orders than the table holds, or more channels than the player has: refused.
    if (song_length > max_song_length) return false;
    if (song->channel_count < 1 || song->channel_count > max_pattern_channels) return false;
    // An empty order list still has order 0, which the clock plays.
    song->song_length = static_cast<int16_t>(song_length == 0 ? 1 : song_length);
    // The clock continues at the restart position: keep it inside the order list.
    if (song->restart_position < 0 || song->restart_position >= song->song_length)
        song->restart_position = 0;
    // The tick length divides by the tempo.
    if (song->default_bpm <= 0) song->default_bpm = fallback_bpm;
    // The player never indexes instruments with a negative count; make it plainly 0.
    if (song->instrument_count < 0) song->instrument_count = 0;
    return true;
}

// Reads packed cells in chunks and gives back, at the end, what it read beyond the last cell,
// so the stream stands exactly after the pattern's cell bytes.
struct CellReader {
    Reader& r;
    uint8_t buffer[4096] = {};
    int32_t filled = 0;      // bytes of the buffer that came from the file
    int32_t size = 0;        // bytes of the buffer in use (the rest of a short read is zero)
    int32_t position = 0;
    bool exhausted = false;  // the stream delivered less than asked: only zeros follow

    uint8_t next(uint64_t bytes_still_needed) {
        if (position == size) {
            if (exhausted) return 0;
            int32_t want = bytes_still_needed < sizeof buffer ? static_cast<int32_t>(bytes_still_needed)
                                                              : static_cast<int32_t>(sizeof buffer);
            int32_t got = stream_read(buffer, want, r.stream);
            if (got < 0) got = 0;
            if (got > want) got = want;
            if (got < want) {
                exhausted = true;
                std::memset(buffer + got, 0, static_cast<size_t>(want - got));
            }
            filled = got;
            size = want;
            position = 0;
        }
        return buffer[position++];
    }

    void give_back_unused() {
        if (position < filled) stream_seek(r.stream, -(filled - position), stream_seek_cur);
    }
};

void decode_cells(Reader& r, PatternCell* cells, uint64_t count) {
    CellReader in{r};
    // At most 5 bytes per cell are left to read; never read ahead beyond that.
    for (uint64_t i = 0; i < count; ++i) {
        if (in.exhausted && in.position == in.size) break;   // the rest stays zero
        uint64_t left = (count - i) * 5;
        PatternCell& c = cells[i];
        uint8_t b = in.next(left);
        if (b & 0x80) {
            if (b & 0x01) c.note = in.next(left);
            if (b & 0x02) c.instrument = in.next(left);
            if (b & 0x04) c.volume_column = in.next(left);
            if (b & 0x08) c.effect = in.next(left);
            if (b & 0x10) c.effect_param = in.next(left);
        } else {
            c.note = b;
            c.instrument = in.next(left);
            c.volume_column = in.next(left);
            c.effect = in.next(left);
            c.effect_param = in.next(left);
        }
        if (c.note == 97) c.note = 255;
        if (c.instrument > 128) c.instrument = 0;
    }
    in.give_back_unused();
}

// A pattern of `rows` rows; the cells cover at least one row, so row 0 of an empty pattern
// reads as empty cells.
bool allocate_pattern(Reader& r, Song* song, Pattern* pattern, uint32_t rows) {
    pattern->row_count = static_cast<int32_t>(rows);
    uint64_t cell_rows = rows == 0 ? 1 : rows;
    pattern->cells = static_cast<PatternCell*>(
        budget_calloc(r, cell_rows * static_cast<uint64_t>(song->channel_count), sizeof(PatternCell)));
    return pattern->cells != nullptr;
}

bool read_patterns(Reader& r, Song* song, uint16_t pattern_count) {
    song->used_pattern_count = 0;
    for (int32_t i = 0; i < song->song_length; ++i)
        if (song->order_table[i] >= song->used_pattern_count)
            song->used_pattern_count = song->order_table[i] + 1;
    song->pattern_slots = pattern_count > song->used_pattern_count ? pattern_count : song->used_pattern_count;
    song->patterns = static_cast<Pattern*>(
        budget_calloc(r, static_cast<uint64_t>(song->pattern_slots), sizeof(Pattern)));
    if (!song->patterns) return false;

    for (int32_t p = 0; p < pattern_count; ++p) {
        uint8_t h[9] = {};   // header length (not used), packing type (not used), rows, data size
        read_bytes(r, h, sizeof h);
        uint16_t rows = le16(h + 5);
        uint16_t packed_size = le16(h + 7);
        if (!allocate_pattern(r, song, &song->patterns[p], rows)) return false;
        uint64_t count = uint64_t{rows} * static_cast<uint64_t>(song->channel_count);
        if (packed_size != 0 && count > 0) decode_cells(r, song->patterns[p].cells, count);
    }
    // Patterns the order list names but the module lacks: 64 empty rows.
    for (int32_t p = pattern_count; p < song->used_pattern_count; ++p)
        if (!allocate_pattern(r, song, &song->patterns[p], 64)) return false;
    return true;
}

// Keeps every envelope step and position search inside the stored points: at most the 12
// points the file holds, and sustain or loop only with point indices that exist.
void limit_envelope(uint8_t* point_count, uint8_t* flags, uint8_t sustain_point, uint8_t loop_start,
                    uint8_t loop_end) {
    if (*point_count > file_envelope_points) *point_count = file_envelope_points;
    if (*point_count < 2) *flags = 0;
    if (sustain_point >= *point_count) *flags = static_cast<uint8_t>(*flags & ~2);
    if (loop_start >= *point_count || loop_end >= *point_count) *flags = static_cast<uint8_t>(*flags & ~4);
}

void read_envelope_points(const uint8_t* p, EnvelopePoint* points) {
    for (int k = 0; k < file_envelope_points; ++k) {
        points[k].tick = le16(p + k * 4);
        points[k].value = le16(p + k * 4 + 2);
    }
}

void read_instrument_header(Reader& r, Instrument* ins) {
    uint8_t h[212] = {};   // sample header size, sample map, two envelopes, 16 single fields
    read_bytes(r, h, sizeof h);
    std::memcpy(ins->sample_map, h + 4, 96);
    read_envelope_points(h + 100, ins->volume_envelope);
    read_envelope_points(h + 148, ins->panning_envelope);
    const uint8_t* f = h + 196;
    ins->volume_point_count = f[0];
    ins->panning_point_count = f[1];
    ins->volume_sustain_point = f[2];
    ins->volume_loop_start = f[3];
    ins->volume_loop_end = f[4];
    ins->panning_sustain_point = f[5];
    ins->panning_loop_start = f[6];
    ins->panning_loop_end = f[7];
    ins->volume_envelope_flags = f[8];
    ins->panning_envelope_flags = f[9];
    ins->auto_vibrato_type = f[10];
    ins->auto_vibrato_sweep = f[11];
    ins->auto_vibrato_depth = f[12];
    ins->auto_vibrato_rate = f[13];
    ins->fadeout = static_cast<uint16_t>(le16(f + 14) * 2);
    limit_envelope(&ins->volume_point_count, &ins->volume_envelope_flags, ins->volume_sustain_point,
                   ins->volume_loop_start, ins->volume_loop_end);
    limit_envelope(&ins->panning_point_count, &ins->panning_envelope_flags, ins->panning_sustain_point,
                   ins->panning_loop_start, ins->panning_loop_end);
}

bool read_sample_header(Reader& r, Sample* s) {
    uint8_t h[17] = {};
    read_bytes(r, h, 14);
    s->length = le32(h);
    s->loop_start = le32(h + 4);
    s->loop_length = le32(h + 8);
    s->volume = h[12];
    s->finetune = static_cast<int8_t>(h[13]);
    s->loop_mode = loop_mode_none;
    s->bits = 8;
    read_bytes(r, h + 14, 1);
    uint8_t type = h[14];
    if (type & 0x01) s->loop_mode = loop_mode_forward;
    if (type & 0x02) s->loop_mode = loop_mode_pingpong;
    if (type & 0x10) s->bits = 16;
    if (s->loop_mode == loop_mode_none) {
        s->loop_start = 0;
        s->loop_length = s->length;
    }
    if (s->bits == 16) {   // bytes to frames
        s->length >>= 1;
        s->loop_start >>= 1;
        s->loop_length >>= 1;
    }
    if (s->loop_length == 0) {
        s->loop_start = 0;
        s->loop_length = s->length;
        s->loop_mode = loop_mode_none;
    }
    // The guard frame at the loop end and the frame after it must lie inside the data
    // (length + 8 frames): a loop that reaches further is cut back to the sample's end.
    uint64_t loop_end = uint64_t{s->loop_start} + s->loop_length;
    if (s->length == 0 || loop_end > uint64_t{s->length} + 6) {
        if (s->loop_start < s->length) {
            s->loop_length = s->length - s->loop_start;
        } else {
            s->loop_start = 0;
            s->loop_length = s->length;
            s->loop_mode = loop_mode_none;
        }
    }
    read_bytes(r, h + 15, 2);
    s->panning = h[15];
    s->relative_note = static_cast<int8_t>(h[16]);
    stream_seek(r.stream, 23, stream_seek_cur);
    if (s->length == 0) return true;
    s->data = budget_sample_data(r, s->length);
    return s->data != nullptr;
}

// Sets frames [from, length) to `value`, by doubling copies (a file that ends early can leave
// a long tail to fill).
void fill_frames(int16_t* data, uint32_t from, uint32_t length, int16_t value) {
    if (from >= length) return;
    data[from] = value;
    uint32_t done = 1, total = length - from;
    while (done < total) {
        uint32_t n = done < total - done ? done : total - done;
        std::memcpy(data + from + done, data + from, n * sizeof(int16_t));
        done += n;
    }
}

// Turns the sample's bytes in `data` into plain 16-bit frames with the guard frame. Only the
// first `bytes_present` bytes came from the file or the callback; the rest is still the zero
// fill, which the conversion leaves as it is and the delta decoding turns into a repetition
// of the last value.
void convert_sample_data(Sample* s, bool delta_coded, uint32_t bytes_present) {
    uint32_t frames_present;
    if (s->bits == 8) {
        frames_present = bytes_present;
        // In place, from the end: frame k covers bytes 2k and 2k + 1, never a byte below k.
        // Frames from frames_present on cover only zero bytes.
        auto* bytes = reinterpret_cast<uint8_t*>(s->data);
        for (uint32_t k = frames_present; k-- > 0;)
            s->data[k] = static_cast<int16_t>(static_cast<int8_t>(bytes[k]) * 256);
        s->bits = 16;
    } else {
        frames_present = (bytes_present + 1) / 2;
    }
    if (delta_coded) {
        uint16_t sum = 0;
        for (uint32_t k = 0; k < frames_present; ++k) {
            sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(s->data[k]));
            s->data[k] = static_cast<int16_t>(sum);
        }
        if (sum != 0) fill_frames(s->data, frames_present, s->length, static_cast<int16_t>(sum));
    }
    sample_write_guard_frame(s);
}

bool read_instrument(Reader& r, Song* song, int32_t index) {
    Instrument* ins = &song->instruments[index];
    uint32_t start = static_cast<uint32_t>(stream_tell(r.stream));
    uint32_t header_size = read_u32(r);
    stream_seek(r.stream, 23, stream_seek_cur);
    uint16_t sample_count = read_u16(r);
    if (sample_count > max_samples_per_instrument) return false;
    ins->sample_count = sample_count;
    if (sample_count == 0) {
        for (Sample*& slot : ins->samples) slot = &silent_sample;
        seek_to(r, start + header_size);
        return true;
    }
    read_instrument_header(r, ins);
    seek_to(r, start + header_size);

    for (int32_t j = 0; j < sample_count; ++j) {
        ins->samples[j] = static_cast<Sample*>(budget_calloc(r, 1, sizeof(Sample)));
        if (!ins->samples[j] || !read_sample_header(r, ins->samples[j])) return false;
    }
    for (int32_t j = sample_count; j < instrument_max_samples; ++j) ins->samples[j] = &silent_sample;

    for (int32_t j = 0; j < sample_count; ++j) {
        Sample* s = ins->samples[j];
        if (s->length == 0) continue;
        // Within the budget, so it fits in 32 bits. A 16-bit sample of odd byte length leaves
        // its last byte in the file, as the size is computed from whole frames.
        auto byte_count = static_cast<int32_t>(uint64_t{s->bits} * s->length / 8);
        int32_t present = byte_count;
        if (song->sample_load_callback) {
            song->sample_load_callback(s->data, byte_count, s->bits, index, j);
            stream_seek(r.stream, byte_count, stream_seek_cur);
        } else {
            // The host reports what it delivered; nothing beyond that was written.
            present = stream_read(s->data, byte_count, r.stream);
            if (present < 0) present = 0;
            if (present > byte_count) present = byte_count;
        }
        convert_sample_data(s, song->sample_load_callback == nullptr, static_cast<uint32_t>(present));
    }
    return true;
}

}  // namespace

bool xm_read_song(Song* song, StreamHandle* stream) {
    if (!song || !stream) return false;
    Reader r{stream, 0};
    static const char signature[17] = {'E', 'x', 't', 'e', 'n', 'd', 'e', 'd', ' ',
                                       'M', 'o', 'd', 'u', 'l', 'e', ':', ' '};
    stream_seek(stream, 0, stream_seek_set);
    char head[17] = {};
    read_bytes(r, head, sizeof head);
    for (int i = 0; i < 17; ++i)
        if (head[i] != signature[i]) return false;

    song->tick_handler = song_tick;
    song->default_global_volume = 64;

    uint16_t pattern_count = 0;
    uint32_t header_size = 0;
    if (!read_module_header(r, song, &pattern_count, &header_size)) return false;
    seek_to(r, 60 + header_size);
    if (!read_patterns(r, song, pattern_count)) return false;

    if (song->instrument_count > 0) {
        song->instruments = static_cast<Instrument*>(
            budget_calloc(r, static_cast<uint64_t>(song->instrument_count), sizeof(Instrument)));
        if (!song->instruments) return false;
    }
    for (int32_t i = 0; i < song->instrument_count; ++i)
        if (!read_instrument(r, song, i)) return false;
    return true;
}

Song* song_load(const char* name, SampleLoadCallback sample_load_callback) {
    auto* song = static_cast<Song*>(std::calloc(1, sizeof(Song)));
    if (!song) return nullptr;
    StreamHandle* stream = stream_open(name);
    if (!stream) {
        std::free(song);
        return nullptr;
    }
    song->sample_load_callback = sample_load_callback;
    bool ok = xm_read_song(song, stream);
    stream_close(stream);
    if (ok) return song;
    song_free(song);
    return nullptr;
}

bool song_free(Song* song) {
    if (!song) return false;
    while (mixing_busy.load(std::memory_order_acquire) != 0) {
        // The mixer thread is inside a block: it finishes within a few milliseconds.
    }
    player_stop(song);
    if (song->instruments) {
        for (int32_t i = 0; i < song->instrument_count; ++i) {
            Instrument& ins = song->instruments[i];
            for (int32_t j = 0; j < ins.sample_count && j < instrument_max_samples; ++j) {
                Sample* s = ins.samples[j];
                if (!s || s == &silent_sample) continue;
                sample_data_free(s->data);
                std::free(s);
            }
        }
        std::free(song->instruments);
    }
    if (song->patterns) {
        for (int32_t p = 0; p < song->pattern_slots; ++p) std::free(song->patterns[p].cells);
        std::free(song->patterns);
    }
    std::free(song);
    return true;
}
