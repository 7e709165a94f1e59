// xm_seeds DIR: writes the fuzz target's seed modules, made with the XM writer, into DIR.
#include <cstdio>
#include <string>
#include <vector>

#include "support/xm_writer.h"

namespace {

std::vector<int16_t> wave(int frames, int amplitude, int period) {
    std::vector<int16_t> v;
    for (int i = 0; i < frames; ++i) v.push_back(static_cast<int16_t>((i % period) * 2 * amplitude / period - amplitude));
    return v;
}

// Two instruments covering the sample and envelope features.
std::vector<XmInstrumentDesc> instruments() {
    XmSampleDesc square = xm_sample_8bit({60, 60, 60, 60, -60, -60, -60, -60}, XmLoop::forward, 0, 8);
    XmInstrumentDesc lead = xm_instrument(square);
    lead.volume_envelope = xm_envelope({{0, 64}, {4, 40}, {10, 48}, {20, 0}}, 2, std::pair<uint8_t, uint8_t>{1, 2});
    lead.panning_envelope = xm_envelope({{0, 32}, {6, 10}, {12, 54}}, {}, std::pair<uint8_t, uint8_t>{0, 2});
    lead.fadeout = 1024;
    lead.vibrato_type = 0;
    lead.vibrato_sweep = 4;
    lead.vibrato_depth = 8;
    lead.vibrato_rate = 20;

    XmInstrumentDesc bass;
    bass.samples = {xm_sample_16bit(wave(64, 20000, 16), XmLoop::pingpong, 8, 40),
                    xm_sample_8bit({0, 100, -100, 50, -50, 0})};
    bass.samples[0].relative_note = -12;
    bass.samples[0].finetune = 16;
    bass.samples[1].panning = 40;
    for (int n = 48; n < 96; ++n) bass.sample_map[n] = 1;
    bass.vibrato_type = 3;
    bass.vibrato_depth = 4;
    bass.vibrato_rate = 7;
    return {lead, bass};
}

XmModuleDesc effects_module(bool linear) {
    XmModuleDesc m;
    m.name = linear ? "seed linear" : "seed amiga";
    m.linear = linear;
    m.channels = 4;
    m.speed = 3;
    m.bpm = 200;
    m.orders = {0, 1, 0};
    m.restart = 1;
    m.patterns = {
        xm_pattern_from_text(4, {"C-4 01 40 000 | C-3 02 .. 037 | E-4 01 .. 420 | ... .. .. F04",
                                 "... .. .. 105 | ... .. 65 210 | ... .. .. 301 | ... .. .. G20",
                                 "D-4 .. .. 308 | ... .. 75 A0F | G-4 02 C4 548 | ... .. .. H01",
                                 "... .. .. 622 | ... .. 85 7A4 | ... .. .. 8F0 | ... .. .. E60",
                                 "=== .. .. 904 | F-2 02 95 R34 | ... .. A4 T21 | ... .. .. E62",
                                 "C-5 01 B2 K02 | ... .. D3 L08 | ... .. E2 P80 | ... .. .. EE1",
                                 "... .. F5 X11 | ... .. .. X22 | A-3 01 .. E11 | ... .. .. E92",
                                 "... .. .. EA2 | ... .. .. EB2 | ... .. .. EC1 | ... .. .. ED1",
                                 "B-3 01 .. E31 | ... .. .. E41 | ... .. .. E71 | ... .. .. E57",
                                 "... .. .. 0C7 | ... .. .. Z00 | ... .. .. Y12 | ... .. .. D02"},
                              12),
        xm_pattern_from_text(4, {"C-6 02 50 B00 | D-1 01 .. ... | === .. .. ... | ... .. .. F20"}, 4),
    };
    m.instruments = instruments();
    return m;
}

XmModuleDesc wide_module() {
    XmModuleDesc m;
    m.name = "seed 32 channels";
    m.channels = 32;
    m.speed = 1;
    m.bpm = 255;
    std::vector<std::string> rows;
    std::string row;
    for (int c = 0; c < 32; ++c) row += std::string(c ? " | " : "") + (c % 2 ? "C-5 02 .. 0" : "G-2 01 .. 1") + "11";
    rows.push_back(row);
    m.patterns = {xm_pattern_from_text(32, rows, 2)};
    m.instruments = instruments();
    m.packed = false;
    return m;
}

bool write(const std::string& dir, const std::string& name, const XmModuleDesc& m) {
    std::string path = dir + "/" + name;
    if (xm_write_file(path, m)) return true;
    std::fprintf(stderr, "xm_seeds: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: xm_seeds DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    XmModuleDesc minimal;
    minimal.patterns = {XmPatternDesc{}};
    XmModuleDesc missing_patterns = effects_module(true);
    missing_patterns.orders = {0, 5, 1};
    bool ok = write(dir, "minimal.xm", minimal) && write(dir, "linear.xm", effects_module(true)) &&
              write(dir, "amiga.xm", effects_module(false)) && write(dir, "wide.xm", wide_module()) &&
              write(dir, "missing_patterns.xm", missing_patterns);
    return ok ? 0 : 1;
}
