#include "lib/composition.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "lib/synth.h"

namespace {

// Channels.
constexpr int ch_kick = 0, ch_snare = 1, ch_hat = 2, ch_bass = 3, ch_pad = 4;  // pad: 4, 5, 6
constexpr int ch_lead = 7, ch_arp = 8, ch_echo = 9, ch_fx = 10;
constexpr int channel_count = 11;

// Instruments (XM numbers from 1).
constexpr uint8_t in_kick = 1, in_snare = 2, in_hat = 3, in_bass = 4, in_pad = 5, in_lead = 6;
constexpr uint8_t in_pluck = 7, in_crash = 8, in_echo = 9;

// Effect numbers.
constexpr uint8_t fx_arpeggio = 0x0, fx_porta_up = 0x1, fx_porta_down = 0x2, fx_tone_porta = 0x3;
constexpr uint8_t fx_vibrato = 0x4, fx_panning = 0x8, fx_volume_slide = 0xA, fx_extended = 0xE;
constexpr uint8_t fx_speed = 0xF, fx_retrigger = 0x1B;   // R
constexpr uint8_t ext_loop = 0x60, ext_retrigger = 0x90, ext_cut = 0xC0, ext_delay = 0xD0;
constexpr uint8_t note_off = 97;

uint8_t set_volume(int v) { return static_cast<uint8_t>(0x10 + v); }
uint8_t set_panning(int p) { return static_cast<uint8_t>(0xC0 + p); }   // p in 0..15

struct Chord {
    const char* bass;      // root, low
    const char* pad[3];    // voicing around middle C
    const char* arp;       // arpeggio root
    uint8_t arp_param;     // 0x37 minor, 0x47 major
};

const Chord am{"A-1", {"A-3", "C-4", "E-4"}, "A-4", 0x37};
const Chord f_{"F-1", {"A-3", "C-4", "F-4"}, "F-4", 0x47};
const Chord c_{"C-2", {"G-3", "C-4", "E-4"}, "C-5", 0x47};
const Chord g_{"G-1", {"G-3", "B-3", "D-4"}, "G-4", 0x47};
const Chord dm{"D-2", {"A-3", "D-4", "F-4"}, "D-5", 0x37};
const Chord e_{"E-2", {"G#3", "B-3", "E-4"}, "E-4", 0x47};
const Chord em{"E-2", {"G-3", "B-3", "E-4"}, "E-4", 0x37};

int note(const char* name) {
    const int n = xm_note(name);
    if (n == 0) std::abort();   // a typo in the score below
    return n;
}

XmPatternDesc pattern_new(int rows) {
    XmPatternDesc p;
    p.rows = static_cast<uint16_t>(rows);
    p.cells.assign(static_cast<size_t>(rows) * channel_count, XmCell{});
    return p;
}

XmCell& at(XmPatternDesc& p, int row, int ch) { return p.cells[row * channel_count + ch]; }

void put(XmPatternDesc& p, int row, int ch, int n, uint8_t instrument, uint8_t volume = 0,
         uint8_t effect = 0, uint8_t param = 0) {
    if (row < 0 || row >= p.rows) return;
    XmCell& c = at(p, row, ch);
    c.note = static_cast<uint8_t>(n);
    c.instrument = instrument;
    c.volume = volume;
    c.effect = effect;
    c.param = param;
}

void put_effect(XmPatternDesc& p, int row, int ch, uint8_t effect, uint8_t param) {
    if (row < 0 || row >= p.rows) return;
    at(p, row, ch).effect = effect;
    at(p, row, ch).param = param;
}

// ---- Drums ----

enum class Beat { intro, half, verse, chorus };

void drums_bar(XmPatternDesc& p, int row0, Beat beat, bool fill) {
    const int c4 = note("C-4");
    for (int r = 0; r < 16; ++r) {
        const int row = row0 + r;
        const bool on_beat = r % 4 == 0;
        if (beat == Beat::half) {
            if (r == 0 || r == 10) put(p, row, ch_kick, c4, in_kick, set_volume(60));
            if (r == 8) put(p, row, ch_snare, c4, in_snare, set_volume(48));
        } else if (on_beat) {
            put(p, row, ch_kick, c4, in_kick, set_volume(beat == Beat::intro ? 52 : 60));
        }
        if ((beat == Beat::verse || beat == Beat::chorus) && (r == 4 || r == 12)) {
            put(p, row, ch_snare, c4, in_snare, set_volume(58));
        }
        if (beat == Beat::chorus && (r == 7 || r == 15) && !fill) {
            put(p, row, ch_snare, c4, in_snare, set_volume(14));   // ghost notes
        }
        // Hats: open on the off-beat, closed (cut after two ticks) in between.
        if (r % 4 == 2) {
            put(p, row, ch_hat, c4, in_hat, set_volume(beat == Beat::intro ? 30 : 38));
        } else if (beat == Beat::chorus || (beat == Beat::verse && r % 2 == 0)) {
            put(p, row, ch_hat, c4, in_hat, set_volume(on_beat ? 26 : 18), fx_extended, ext_cut | 2);
        }
    }
    if (fill) {
        // The last beat rolls: a retriggered snare, two and then three hits per row.
        put(p, row0 + 12, ch_snare, c4, in_snare, set_volume(40), fx_extended, ext_retrigger | 3);
        put(p, row0 + 13, ch_snare, c4, in_snare, set_volume(44), fx_extended, ext_retrigger | 3);
        put(p, row0 + 14, ch_snare, c4, in_snare, set_volume(48), fx_extended, ext_retrigger | 2);
        put(p, row0 + 15, ch_snare, c4, in_snare, set_volume(54), fx_extended, ext_retrigger | 2);
    }
}

// ---- Bass ----

enum class Groove { pedal, eighths, octaves };

void bass_bar(XmPatternDesc& p, int row0, const Chord& chord, Groove groove, bool slide_out) {
    const int root = note(chord.bass);
    if (groove == Groove::pedal) {
        put(p, row0, ch_bass, root, in_bass, set_volume(52));
        return;
    }
    // Staccato eighths; the key-offs between them let the fade-out shorten each note.
    static const int octave_eighths[8] = {0, 0, 12, 0, 0, 12, 0, 12};
    for (int i = 0; i < 8; ++i) {
        const int row = row0 + i * 2;
        const int n = root + (groove == Groove::octaves ? octave_eighths[i] : (i == 3 || i == 7 ? 12 : 0));
        put(p, row, ch_bass, n, in_bass, set_volume(i % 4 == 0 ? 60 : 46));
        put(p, row + 1, ch_bass, note_off, 0);
    }
    if (slide_out) {
        // The last note of the bar slides down into the next chord.
        at(p, row0 + 14, ch_bass).effect = fx_porta_down;
        at(p, row0 + 14, ch_bass).param = 0x0C;
        at(p, row0 + 15, ch_bass) = XmCell{0, 0, 0, fx_porta_down, 0};
    }
}

// ---- Pad ----

void pad_bar(XmPatternDesc& p, int row0, const Chord& chord, int volume, bool swell) {
    static const uint8_t pans[3] = {0x50, 0x80, 0xB0};
    for (int v = 0; v < 3; ++v) {
        put(p, row0, ch_pad + v, note(chord.pad[v]), in_pad, set_volume(volume), fx_panning, pans[v]);
        if (swell) {
            // Volume-column slide up through the second half of the bar.
            for (int r = 8; r < 16; ++r) at(p, row0 + r, ch_pad + v).volume = 0x71;
        }
    }
}

// ---- Arpeggio pluck ----

void arp_bar(XmPatternDesc& p, int row0, const Chord& chord, bool busy) {
    static const int shape[8] = {0, 12, 0, 7, 12, 0, 7, 12};
    const int root = note(chord.arp);
    for (int r = 0; r < 16; ++r) {
        const int row = row0 + r;
        if (r % 2 == 0 && (busy || r % 4 == 0)) {
            // Alternating left and right, the chord rippled by the arpeggio effect.
            put(p, row, ch_arp, root + shape[(r / 2) % 8], in_pluck, set_panning(r % 4 == 0 ? 4 : 11),
                fx_arpeggio, chord.arp_param);
        } else {
            put_effect(p, row, ch_arp, fx_arpeggio, chord.arp_param);
        }
    }
}

// ---- Melody ----

// Notes as "NAME:ROWS", "r:ROWS" for a rest (key-off); a leading '/' glides to the note
// with tone portamento, a trailing '~' adds vibrato while the note is held; '|' marks bars.
// The echo channel repeats each note half a row late, quieter and on the other side.
int melody(XmPatternDesc& p, int row0, const std::string& text, bool echo) {
    std::istringstream in(text);
    std::string token;
    int row = row0;
    while (in >> token) {
        if (token == "|") continue;
        const bool glide = token[0] == '/';
        if (glide) token.erase(0, 1);
        const bool vibrato = token.back() == '~';
        if (vibrato) token.pop_back();
        const size_t colon = token.find(':');
        const std::string name = token.substr(0, colon);
        const int rows = std::atoi(token.c_str() + colon + 1);
        if (name == "r") {
            put(p, row, ch_lead, note_off, 0);
            if (echo) put(p, row, ch_echo, note_off, 0, 0, fx_extended, ext_delay | 3);
        } else {
            const int n = note(name.c_str());
            if (glide) {
                put(p, row, ch_lead, n, 0, 0, fx_tone_porta, 0x10);
                for (int r = 1; r < 3 && r < rows; ++r) put_effect(p, row + r, ch_lead, fx_tone_porta, 0);
            } else {
                put(p, row, ch_lead, n, in_lead, set_volume(48));
            }
            if (vibrato) {
                for (int r = glide ? 3 : 1; r < rows; ++r) {
                    put_effect(p, row + r, ch_lead, fx_vibrato, r == (glide ? 3 : 1) ? 0x56 : 0);
                }
            }
            if (echo) put(p, row, ch_echo, n, in_echo, 0, fx_extended, ext_delay | 3);
        }
        row += rows;
    }
    return row - row0;
}

// ---- Sections ----

void crash(XmPatternDesc& p, int row) { put(p, row, ch_fx, note("C-4"), in_crash); }

struct Section {
    Chord chords[4];
    Beat beat;
    Groove groove;
    bool arp;
    bool arp_busy;
    int pad_volume;
    const char* tune;    // may be null
    bool echo;
};

XmPatternDesc section(const Section& s) {
    XmPatternDesc p = pattern_new(64);
    for (int bar = 0; bar < 4; ++bar) {
        const int row0 = bar * 16;
        drums_bar(p, row0, s.beat, bar == 3 && s.beat != Beat::intro);
        if (s.groove != Groove::pedal || bar == 0) bass_bar(p, row0, s.chords[bar], s.groove, bar == 1);
        pad_bar(p, row0, s.chords[bar], s.pad_volume, false);
        if (s.arp) arp_bar(p, row0, s.chords[bar], s.arp_busy);
    }
    if (s.tune) melody(p, 0, s.tune, s.echo);
    return p;
}

const char* const verse_tune =
    "E-5:4 D-5:2 C-5:2 B-4:2 C-5:2 A-4:4 | A-4:2 C-5:2 F-5:4 E-5:2 D-5:2 C-5:4 |"
    " G-4:2 C-5:2 E-5:4 G-5:4 E-5:2 C-5:2 | D-5:6~ B-4:2 G-4:4 r:4";
const char* const verse_tune_high =
    "A-5:4 G-5:2 E-5:2 D-5:2 E-5:2 C-5:4 | C-5:2 F-5:2 A-5:4 G-5:2 F-5:2 E-5:4 |"
    " E-5:2 G-5:2 C-6:4 /B-5:4 G-5:2 E-5:2 | D-5:6~ G-5:2 B-5:4 r:4";
const char* const chorus_tune =
    "A-5:6 G-5:2 F-5:4 E-5:4 | D-5:4 /G-5:6 F-5:2 E-5:2 D-5:2 |"
    " E-5:6 G-5:2 B-5:4 A-5:2 G-5:2 | /A-5:12~ r:4";
const char* const chorus_tune_high =
    "C-6:6 B-5:2 A-5:4 G-5:4 | B-5:4 /D-6:6 C-6:2 B-5:2 A-5:2 |"
    " G-5:6 B-5:2 E-6:4 D-6:2 B-5:2 | /C-6:4 B-5:2 A-5:6~ r:4";

// Order 3: the breakdown. Two bars (Dm, F) are played twice by a pattern loop, then G,
// then E with a snare roll and a rising noise sweep into the chorus.
XmPatternDesc breakdown() {
    XmPatternDesc p = pattern_new(64);
    const Chord chords[4] = {dm, f_, g_, e_};
    for (int bar = 0; bar < 4; ++bar) {
        const int row0 = bar * 16;
        bass_bar(p, row0, chords[bar], Groove::pedal, false);
        pad_bar(p, row0, chords[bar], 40, bar == 3);
        arp_bar(p, row0, chords[bar], bar >= 2);
    }
    melody(p, 0,
           "D-5:6 E-5:2 F-5:8~ | A-5:8~ G-5:4 F-5:4 | G-5:4 F-5:4 E-5:4 D-5:4 | B-4:4 /E-5:12~",
           true);
    put_effect(p, 0, ch_fx, fx_extended, ext_loop | 0);
    put_effect(p, 31, ch_fx, fx_extended, ext_loop | 1);
    // The build: kicks on the beat, snares in eighths, then a retriggered roll that
    // speeds up and a multi-retrigger that grows louder on every hit.
    const int c4 = note("C-4");
    for (int r = 48; r < 64; r += 4) put(p, r, ch_kick, c4, in_kick, set_volume(56));
    for (int r = 48; r < 56; r += 2) put(p, r, ch_snare, c4, in_snare, set_volume(24 + (r - 48) * 2));
    for (int r = 56; r < 60; ++r) put(p, r, ch_snare, c4, in_snare, set_volume(36), fx_extended, ext_retrigger | 3);
    put(p, 60, ch_snare, c4, in_snare, set_volume(30), fx_retrigger, 0xA2);
    for (int r = 61; r < 64; ++r) put_effect(p, r, ch_snare, fx_retrigger, 0);
    // Noise sweep: the crash sample played low, gliding up while its volume rises.
    put(p, 48, ch_fx, note("C-2"), in_crash, set_volume(8), fx_porta_up, 0x04);
    for (int r = 49; r < 64; ++r) {
        at(p, r, ch_fx).volume = 0x71;
        put_effect(p, r, ch_fx, fx_porta_up, 0);
    }
    return p;
}

// Order 9: the outro, slower, F - G - E, with the last phrase of the tune.
XmPatternDesc outro() {
    XmPatternDesc p = pattern_new(32);
    put(p, 0, ch_fx, note("C-4"), in_crash, 0, fx_speed, 108);   // tempo change: 125 -> 108 BPM
    const int c4 = note("C-4");
    const Chord chords[3] = {f_, g_, e_};
    const int starts[3] = {0, 8, 16};
    for (int i = 0; i < 3; ++i) {
        put(p, starts[i], ch_bass, note(chords[i].bass), in_bass, set_volume(56));
        pad_bar(p, starts[i], chords[i], 44, false);
        for (int r = starts[i]; r < (i == 2 ? 32 : starts[i] + 8); ++r) {
            put_effect(p, r, ch_arp, fx_arpeggio, chords[i].arp_param);
            if ((r - starts[i]) % 4 == 0) {
                put(p, r, ch_arp, note(chords[i].arp) + ((r / 4) % 2) * 12, in_pluck,
                    set_panning((r / 4) % 2 ? 11 : 4), fx_arpeggio, chords[i].arp_param);
            }
        }
    }
    for (int r = 0; r < 24; r += 8) {
        put(p, r, ch_kick, c4, in_kick, set_volume(58));
        put(p, r + 4, ch_snare, c4, in_snare, set_volume(44));
        put(p, r + 2, ch_hat, c4, in_hat, set_volume(30));
        put(p, r + 6, ch_hat, c4, in_hat, set_volume(30));
    }
    put(p, 24, ch_kick, c4, in_kick, set_volume(58));
    for (int r = 24; r < 32; ++r) {
        put(p, r, ch_snare, c4, in_snare, set_volume(20 + (r - 24) * 4), fx_extended,
            ext_retrigger | (r < 28 ? 3 : 2));
    }
    melody(p, 0, "A-5:4 G-5:4 | B-5:4 D-6:4 | /C-6:4 B-5:4 G#5:8~", true);
    return p;
}

// Order 10: the last chord, slowing down and fading; the show ends on its row 31.
XmPatternDesc finale() {
    XmPatternDesc p = pattern_new(32);
    const int c4 = note("C-4");
    put(p, 0, ch_kick, c4, in_kick, set_volume(64));
    put(p, 0, ch_fx, c4, in_crash, set_volume(56));
    put(p, 0, ch_bass, note("A-1"), in_bass, set_volume(60));
    pad_bar(p, 0, am, 48, false);
    put(p, 0, ch_arp, note("A-4"), in_pluck, set_panning(8), fx_arpeggio, 0x37);
    for (int r = 1; r < 16; ++r) put_effect(p, r, ch_arp, fx_arpeggio, 0x37);
    put(p, 0, ch_lead, note("A-5"), in_lead, set_volume(50));
    put(p, 0, ch_echo, note("E-5"), in_echo, set_volume(30));
    for (int r = 1; r < 32; ++r) put_effect(p, r, ch_lead, fx_vibrato, r == 1 ? 0x45 : 0);
    put_effect(p, 16, ch_kick, fx_speed, 96);    // ritardando
    put_effect(p, 24, ch_kick, fx_speed, 84);
    // Everything lets go at row 12 and fades out by the end of the show.
    for (int ch : {ch_bass, ch_pad, ch_pad + 1, ch_pad + 2, ch_echo}) put(p, 12, ch, note_off, 0);
    for (int r = 16; r < 32; ++r) put_effect(p, r, ch_arp, fx_volume_slide, 0x01);
    put(p, 20, ch_lead, note_off, 0, 0, fx_vibrato, 0);
    return p;
}

// ---- Instruments ----

XmEnvelopeDesc envelope(std::vector<XmEnvelopeDesc::Point> points, int sustain_point) {
    XmEnvelopeDesc e;
    e.points = std::move(points);
    e.on = true;
    if (sustain_point >= 0) {
        e.sustain = true;
        e.sustain_point = static_cast<uint8_t>(sustain_point);
    }
    return e;
}

std::vector<XmInstrumentDesc> instruments() {
    std::vector<XmInstrumentDesc> list;
    XmInstrumentDesc kick = xm_instrument(synth_kick());
    kick.name = "kick";
    list.push_back(kick);
    XmInstrumentDesc snare = xm_instrument(synth_snare());
    snare.name = "snare";
    list.push_back(snare);
    XmInstrumentDesc hat = xm_instrument(synth_hat());
    hat.name = "hi-hat";
    list.push_back(hat);

    XmInstrumentDesc bass = xm_instrument(synth_bass());
    bass.name = "bass";
    bass.volume_envelope = envelope({{0, 64}, {6, 50}, {40, 38}}, 2);
    bass.fadeout = 3000;
    list.push_back(bass);

    XmInstrumentDesc pad = xm_instrument(synth_pad());
    pad.name = "pad";
    pad.volume_envelope = envelope({{0, 0}, {14, 52}, {40, 44}}, 2);
    pad.panning_envelope = envelope({{0, 24}, {60, 40}, {120, 24}}, -1);
    pad.panning_envelope.loop = true;
    pad.panning_envelope.loop_start = 0;
    pad.panning_envelope.loop_end = 2;
    pad.fadeout = 260;   // the last chord fades from row 12 of the finale to its row 31
    list.push_back(pad);

    XmInstrumentDesc lead = xm_instrument(synth_lead());
    lead.name = "lead";
    lead.volume_envelope = envelope({{0, 0}, {2, 64}, {12, 46}, {60, 38}}, 3);
    lead.fadeout = 1400;
    lead.vibrato_type = 0;
    lead.vibrato_sweep = 40;
    lead.vibrato_depth = 3;
    lead.vibrato_rate = 10;
    list.push_back(lead);

    XmInstrumentDesc pluck = xm_instrument(synth_pluck());
    pluck.name = "pluck";
    pluck.volume_envelope = envelope({{0, 64}, {5, 30}, {16, 10}, {40, 0}}, -1);
    pluck.fadeout = 4000;
    list.push_back(pluck);

    XmInstrumentDesc crash_instrument = xm_instrument(synth_crash());
    crash_instrument.name = "crash";
    list.push_back(crash_instrument);

    XmSampleDesc echo_sample = synth_lead();
    echo_sample.volume = 22;
    echo_sample.panning = 184;
    XmInstrumentDesc echo = xm_instrument(echo_sample);
    echo.name = "lead echo";
    echo.volume_envelope = lead.volume_envelope;
    echo.fadeout = lead.fadeout;
    list.push_back(echo);
    return list;
}

}  // namespace

XmModuleDesc composition_default_song() {
    XmModuleDesc song;
    song.name = "wq: the show's song";
    song.tracker_name = "wq mksong";
    song.channels = channel_count;
    song.linear = true;
    song.speed = 6;
    song.bpm = 125;
    song.instruments = instruments();

    const Section intro{{am, f_, c_, g_}, Beat::intro, Groove::pedal, false, false, 40, nullptr, false};
    const Section groove{{am, f_, c_, g_}, Beat::verse, Groove::eighths, true, false, 36, nullptr, false};
    const Section verse{{am, f_, c_, g_}, Beat::verse, Groove::eighths, true, false, 34, verse_tune, true};
    const Section chorus{{f_, g_, em, am}, Beat::chorus, Groove::octaves, true, true, 36, chorus_tune, true};
    const Section chorus_high{{f_, g_, em, am}, Beat::chorus, Groove::octaves, true, true, 36, chorus_tune_high, true};
    const Section reprise{{am, f_, c_, g_}, Beat::half, Groove::eighths, false, false, 38, verse_tune, false};
    const Section verse_high{{am, f_, c_, g_}, Beat::verse, Groove::eighths, true, true, 34, verse_tune_high, true};

    XmPatternDesc p_intro = section(intro);
    // The intro's bass enters with the pads on every bar, long notes.
    for (int bar = 1; bar < 4; ++bar) {
        const Chord* chords[4] = {&am, &f_, &c_, &g_};
        bass_bar(p_intro, bar * 16, *chords[bar], Groove::pedal, false);
    }
    put(p_intro, 0, ch_fx, note("C-4"), in_crash, 0, fx_speed, 125);   // tempo, for any replay
    for (int bar = 2; bar < 4; ++bar) {
        const Chord* chords[4] = {&am, &f_, &c_, &g_};
        arp_bar(p_intro, bar * 16, *chords[bar], false);
    }
    XmPatternDesc p_groove = section(groove);
    crash(p_groove, 0);
    XmPatternDesc p_verse = section(verse);
    crash(p_verse, 0);
    XmPatternDesc p_chorus = section(chorus);
    crash(p_chorus, 0);
    XmPatternDesc p_chorus_high = section(chorus_high);
    crash(p_chorus_high, 32);
    XmPatternDesc p_reprise = section(reprise);
    crash(p_reprise, 0);
    XmPatternDesc p_verse_high = section(verse_high);
    crash(p_verse_high, 0);
    XmPatternDesc p_final_chorus = section(chorus);
    crash(p_final_chorus, 0);
    crash(p_final_chorus, 32);

    song.patterns = {p_intro,   p_groove,   p_verse,          breakdown(),  p_chorus, p_chorus_high,
                     p_reprise, p_verse_high, p_final_chorus, outro(),      finale()};
    song.orders = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    song.restart = 0;
    return song;
}
