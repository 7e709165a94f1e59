// xminfo FILE.xm: what the player makes of a module — header, orders, patterns, instruments,
// samples and the effects the patterns use.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "module/file_stream.h"
#include "module/xm_reader.h"

namespace {

// The Song keeps no names, nor the module's own pattern count: those are read from the file.
int read_u16_field(const char* path, long offset) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    unsigned char b[2] = {};
    if (std::fseek(f, offset, SEEK_SET) == 0 && std::fread(b, 1, 2, f) != 2) b[0] = b[1] = 0;
    std::fclose(f);
    return b[0] | (b[1] << 8);
}

std::string read_text_field(const char* path, long offset, size_t size) {
    std::string text;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return text;
    char buf[32] = {};
    if (size <= sizeof buf && std::fseek(f, offset, SEEK_SET) == 0) {
        size_t got = std::fread(buf, 1, size, f);
        text.assign(buf, got);
    }
    std::fclose(f);
    size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    return text;
}

// After loading every sample is 16-bit; the depth the module declares reaches the sample
// load callback, which therefore records it (and leaves the data silent: only sizes count).
std::map<std::pair<int, int>, int> declared_bits;

void record_bits(void*, int32_t, int32_t bits, int32_t instrument_index, int32_t sample_index) {
    declared_bits[{instrument_index, sample_index}] = bits;
}

char effect_letter(int effect) {
    if (effect < 10) return static_cast<char>('0' + effect);
    if (effect < 36) return static_cast<char>('A' + effect - 10);
    return '?';
}

std::string loop_text(const Sample* s) {
    char buf[64];
    if (s->loop_mode == loop_mode_forward)
        std::snprintf(buf, sizeof buf, "forward %u+%u", s->loop_start, s->loop_length);
    else if (s->loop_mode == loop_mode_pingpong)
        std::snprintf(buf, sizeof buf, "ping-pong %u+%u", s->loop_start, s->loop_length);
    else
        std::snprintf(buf, sizeof buf, "none");
    return buf;
}

std::string envelope_text(uint8_t flags, uint8_t points, uint8_t sustain, uint8_t loop_start,
                          uint8_t loop_end) {
    if (!(flags & 1)) return "off";
    std::string text = std::to_string(points) + " points";
    if (flags & 2) text += ", sustain " + std::to_string(sustain);
    if (flags & 4) text += ", loop " + std::to_string(loop_start) + "-" + std::to_string(loop_end);
    return text;
}

void print_orders(const Song* song) {
    std::printf("%-14s %d, restart at %d\n", "Orders", song->song_length, song->restart_position);
    for (int i = 0; i < song->song_length; ++i) {
        if (i % 16 == 0) std::printf("%-14s", "");
        std::printf(" %3d", song->order_table[i]);
        if (i % 16 == 15 || i + 1 == song->song_length) std::printf("\n");
    }
}

void print_patterns(const Song* song, int patterns_in_file) {
    std::printf("%-14s %d: %d in the file, %d named by the orders\n", "Patterns", song->pattern_slots,
                patterns_in_file, song->used_pattern_count);
    for (int p = 0; p < song->pattern_slots; ++p) {
        if (p % 8 == 0) std::printf("%-14s", "");
        std::printf(" %3d:%3d rows", p, song->patterns[p].row_count);
        if (p % 8 == 7 || p + 1 == song->pattern_slots) std::printf("\n");
    }
}

void print_instruments(const Song* song) {
    std::printf("%-14s %d\n", "Instruments", song->instrument_count);
    for (int i = 0; i < song->instrument_count; ++i) {
        const Instrument& ins = song->instruments[i];
        std::printf("  %3d  samples %d, fadeout %u, volume envelope %s, panning envelope %s",
                    i + 1, ins.sample_count, ins.fadeout,
                    envelope_text(ins.volume_envelope_flags, ins.volume_point_count, ins.volume_sustain_point,
                                  ins.volume_loop_start, ins.volume_loop_end).c_str(),
                    envelope_text(ins.panning_envelope_flags, ins.panning_point_count,
                                  ins.panning_sustain_point, ins.panning_loop_start, ins.panning_loop_end)
                        .c_str());
        if (ins.auto_vibrato_depth != 0)
            std::printf(", vibrato type %u sweep %u depth %u rate %u", ins.auto_vibrato_type,
                        ins.auto_vibrato_sweep, ins.auto_vibrato_depth, ins.auto_vibrato_rate);
        std::printf("\n");
        if (ins.sample_count == 0) continue;
        std::printf("       %-6s %10s %5s  %-24s %6s %8s %7s %7s\n", "sample", "length", "bits", "loop",
                    "volume", "finetune", "relnote", "panning");
        for (int j = 0; j < ins.sample_count; ++j) {
            const Sample* s = ins.samples[j];
            auto it = declared_bits.find({i, j});
            int bits = it != declared_bits.end() ? it->second : s->bits;
            std::printf("       %-6d %10u %5d  %-24s %6u %8d %7d %7d\n", j, s->length, bits,
                        loop_text(s).c_str(), s->volume, s->finetune, s->relative_note, s->panning);
        }
    }
}

void print_effects(const Song* song) {
    // Extended effects E and X are counted by their sub-command (E6, X1...).
    std::map<std::pair<int, int>, int> effects;
    const char* const volume_kinds[16] = {nullptr,         "volume",       "volume",        "volume",
                                          "volume",        "volume",       "slide down",    "slide up",
                                          "fine down",     "fine up",      "vibrato speed", "vibrato depth",
                                          "panning",       "pan left",     "pan right",     "tone porta"};
    std::map<std::string, int> volume_column;
    for (int p = 0; p < song->pattern_slots; ++p) {
        const Pattern& pat = song->patterns[p];
        int cells = pat.row_count * song->channel_count;
        for (int c = 0; c < cells; ++c) {
            const PatternCell& cell = pat.cells[c];
            if (cell.effect != 0 || cell.effect_param != 0) {
                int sub = cell.effect == 14 || cell.effect == 33 ? cell.effect_param >> 4 : -1;
                ++effects[{cell.effect, sub}];
            }
            const char* kind = volume_kinds[cell.volume_column >> 4];
            if (kind && !(cell.volume_column >= 0x51 && cell.volume_column < 0x60)) ++volume_column[kind];
        }
    }
    std::printf("%-14s", "Effects");
    if (effects.empty()) std::printf(" none");
    for (const auto& [key, count] : effects) {
        std::string name(1, effect_letter(key.first));
        if (key.second >= 0) name += effect_letter(key.second);
        std::printf(" %s:%d", name.c_str(), count);
    }
    std::printf("\n%-14s", "Volume column");
    if (volume_column.empty()) std::printf(" none");
    bool first = true;
    for (const auto& [kind, count] : volume_column) {
        std::printf("%s %s:%d", first ? "" : ",", kind.c_str(), count);
        first = false;
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: xminfo FILE.xm\n");
        return 2;
    }
    const char* path = argv[1];
    std::FILE* probe = std::fopen(path, "rb");
    if (!probe) {
        std::fprintf(stderr, "xminfo: cannot open %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    std::fclose(probe);
    file_stream_install();
    Song* song = song_load(path, record_bits);
    if (!song) {
        std::fprintf(stderr, "xminfo: %s is not an XM module this player can load\n", path);
        return 1;
    }
    std::printf("%-14s %s\n", "File", path);
    std::printf("%-14s %s\n", "Name", read_text_field(path, 17, 20).c_str());
    std::printf("%-14s %s\n", "Tracker", read_text_field(path, 38, 20).c_str());
    std::printf("%-14s %d\n", "Channels", song->channel_count);
    std::printf("%-14s %s\n", "Frequencies", (song->song_flags & song_flag_linear) ? "linear" : "Amiga");
    std::printf("%-14s speed %d, %d BPM\n", "Tempo", song->default_speed, song->default_bpm);
    print_orders(song);
    print_patterns(song, read_u16_field(path, 70));
    print_instruments(song);
    print_effects(song);
    song_free(song);
    return 0;
}
