// xmrender IN.xm OUT.wav [--blocks N | --seconds S] [--positions FILE]
// Renders a module offline, exactly as playback fills its ring, into a 16-bit stereo
// 44100 Hz WAV file. Without a length the song plays once through: rendering ends after
// the block in which it first comes back to a row it has already played (at most an hour).
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/render.h"
#include "module/file_stream.h"
#include "module/xm_reader.h"

namespace {

constexpr int frames_per_block = 884;
constexpr int bytes_per_block = frames_per_block * 4;
constexpr long max_once_through_blocks = (60L * 60 * 44100 + frames_per_block - 1) / frames_per_block;

int usage() {
    std::fprintf(stderr,
                 "usage: xmrender IN.xm OUT.wav [--blocks N | --seconds S] [--positions FILE]\n");
    return 2;
}

void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put_u16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// The canonical 44-byte header of a PCM WAV file: 44100 Hz, 16-bit, stereo.
void wav_header(uint8_t* h, uint32_t data_bytes) {
    std::memcpy(h, "RIFF", 4);
    put_u32(h + 4, 36 + data_bytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put_u32(h + 16, 16);
    put_u16(h + 20, 1);
    put_u16(h + 22, 2);
    put_u32(h + 24, 44100);
    put_u32(h + 28, 44100 * 4);
    put_u16(h + 32, 4);
    put_u16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put_u32(h + 40, data_bytes);
}

// Why song_load refused a file, as far as its first bytes tell.
std::string load_failure_reason(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return std::string("cannot open: ") + std::strerror(errno);
    uint8_t header[70] = {};
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    if (got < 17 || std::memcmp(header, "Extended Module: ", 17) != 0) return "not an XM module";
    if (got >= 70) {
        const int channels = header[68] | header[69] << 8;
        if (channels > 32) return "more than 32 channels";
    }
    return "the module is damaged or not supported (an instrument with more than 16 samples?)";
}

void show_progress(long done, long total, bool once_through) {
    if (once_through) {
        const double seconds = static_cast<double>(done) * frames_per_block / 44100.0;
        std::fprintf(stderr, "\rrendering %d:%04.1f", static_cast<int>(seconds) / 60,
                     std::fmod(seconds, 60.0));
    } else {
        const int width = 40;
        const int filled = total > 0 ? static_cast<int>(done * width / total) : width;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                     width - filled, "", total > 0 ? static_cast<int>(done * 100 / total) : 100);
    }
}

bool parse_count(const char* text, long* out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < 0) return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* in_path = nullptr;
    const char* out_path = nullptr;
    const char* positions_path = nullptr;
    long blocks = -1;   // -1: once through
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--blocks" && i + 1 < argc && blocks < 0) {
            if (!parse_count(argv[++i], &blocks)) return usage();
        } else if (arg == "--seconds" && i + 1 < argc && blocks < 0) {
            char* end = nullptr;
            const double s = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end || !(s >= 0) || s > 1e7) return usage();
            blocks = static_cast<long>(std::ceil(s * 44100.0 / frames_per_block));
        } else if (arg == "--positions" && i + 1 < argc) {
            positions_path = argv[++i];
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return usage();
        } else if (!in_path) {
            in_path = argv[i];
        } else if (!out_path) {
            out_path = argv[i];
        } else {
            return usage();
        }
    }
    if (!in_path || !out_path) return usage();
    if (blocks > static_cast<long>((0xFFFFFFFFu - 36) / bytes_per_block)) {
        std::fprintf(stderr, "xmrender: too many blocks for a WAV file\n");
        return 1;
    }

    file_stream_install();
    Song* song = song_load(in_path, nullptr);
    if (!song) {
        std::fprintf(stderr, "xmrender: %s: %s\n", in_path, load_failure_reason(in_path).c_str());
        return 1;
    }
    if (!render_start(song)) {
        std::fprintf(stderr, "xmrender: %s: cannot render (out of memory?)\n", in_path);
        song_free(song);
        return 1;
    }
    FILE* out = std::fopen(out_path, "wb");
    if (!out) {
        std::fprintf(stderr, "xmrender: %s: %s\n", out_path, std::strerror(errno));
        render_stop();
        song_free(song);
        return 1;
    }
    FILE* positions = nullptr;
    if (positions_path) {
        positions = std::fopen(positions_path, "w");
        if (!positions) {
            std::fprintf(stderr, "xmrender: %s: %s\n", positions_path, std::strerror(errno));
            std::fclose(out);
            render_stop();
            song_free(song);
            return 1;
        }
    }

    uint8_t header[44];
    wav_header(header, 0);
    bool ok = std::fwrite(header, 1, sizeof header, out) == sizeof header;
    const bool once_through = blocks < 0;
    const long limit = once_through ? max_once_through_blocks : blocks;
    const bool progress = isatty(STDERR_FILENO);
    std::vector<int16_t> pcm(frames_per_block * 2);
    std::vector<uint8_t> bytes(bytes_per_block);
    long done = 0;
    while (ok && done < limit) {
        BlockInfo info{};
        render_next_block(pcm.data(), &info);
        // WAV data is little-endian: on such a host the samples go out as they are.
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(bytes.data(), pcm.data(), bytes.size());
        } else {
            for (int i = 0; i < frames_per_block * 2; ++i) put_u16(&bytes[i * 2], static_cast<uint16_t>(pcm[i]));
        }
        ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (positions) std::fprintf(positions, "%ld %d %d\n", done, info.order, info.row);
        ++done;
        if (progress && done % 64 == 0) show_progress(done, limit, once_through);
        if (once_through && render_song_returned()) break;
    }
    if (progress) {
        show_progress(done, done, once_through);
        std::fputc('\n', stderr);
    }
    render_stop();
    song_free(song);

    wav_header(header, static_cast<uint32_t>(done) * bytes_per_block);
    ok = ok && std::fseek(out, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, out) == sizeof header;
    ok = (std::fclose(out) == 0) && ok;
    if (positions) ok = (std::fclose(positions) == 0) && ok;
    if (!ok) {
        std::fprintf(stderr, "xmrender: %s: write failed\n", out_path);
        return 1;
    }
    return 0;
}
