// Builds XM module bytes from a description, so tests, fuzz seeds and the song generator can
// make exactly the module they need. Every field of the file can be set; the `raw` overrides
// let a caller write values that contradict the content (hostile counts, sizes, offsets).
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class XmLoop : uint8_t { none = 0, forward = 1, pingpong = 2 };

struct XmSampleDesc {
    std::string name;
    bool sixteen_bit = false;
    // Plain PCM values at the declared depth (-128..127 for 8-bit samples); the writer
    // delta-codes them.
    std::vector<int16_t> frames;
    XmLoop loop = XmLoop::none;
    uint32_t loop_start = 0;    // frames
    uint32_t loop_length = 0;   // frames
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relative_note = 0;

    // Raw overrides: written as given instead of being derived from the fields above.
    std::optional<uint8_t> type;                 // the whole type byte
    std::optional<uint32_t> length_bytes;
    std::optional<uint32_t> loop_start_bytes;
    std::optional<uint32_t> loop_length_bytes;
    std::optional<std::vector<uint8_t>> data;    // the data bytes, verbatim (no delta coding)
};

struct XmEnvelopeDesc {
    struct Point {
        uint16_t tick;
        uint16_t value;
    };
    std::vector<Point> points;   // the first 12 are written
    bool on = false;
    bool sustain = false;
    bool loop = false;
    uint8_t sustain_point = 0;
    uint8_t loop_start = 0;
    uint8_t loop_end = 0;

    std::optional<uint8_t> point_count;   // raw: written instead of points.size()
    std::optional<uint8_t> flags;         // raw: the whole type byte
};

struct XmInstrumentDesc {
    std::string name;
    std::vector<XmSampleDesc> samples;
    std::array<uint8_t, 96> sample_map{};   // sample index for each note
    XmEnvelopeDesc volume_envelope;
    XmEnvelopeDesc panning_envelope;
    uint8_t vibrato_type = 0;
    uint8_t vibrato_sweep = 0;
    uint8_t vibrato_depth = 0;
    uint8_t vibrato_rate = 0;
    uint16_t fadeout = 0;   // file value (the loader doubles it)

    // Raw overrides.
    std::optional<uint32_t> header_size;          // IH; default 263, or 29 without samples.
                                                  // A smaller IH cuts the written header.
    std::optional<uint16_t> sample_count;         // N as written; samples.size() are written
    std::optional<uint32_t> sample_header_size;   // default 40
};

struct XmCell {
    uint8_t note = 0;           // 1..96, 97 key off
    uint8_t instrument = 0;
    uint8_t volume = 0;         // volume column byte
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct XmPatternDesc {
    uint16_t rows = 64;
    std::vector<XmCell> cells;   // row by row, `channels` per row; missing cells are empty

    // Raw overrides.
    std::optional<uint32_t> header_length;     // default 9; written only, the cells follow at 9
    uint8_t packing_type = 0;
    std::optional<uint16_t> packed_size;       // S as written
    std::optional<std::vector<uint8_t>> data;  // the cell bytes, verbatim
};

struct XmModuleDesc {
    std::string name;
    std::string tracker_name = "wq xm writer";
    uint16_t version = 0x0104;
    uint16_t channels = 4;
    std::vector<uint8_t> orders{0};
    uint16_t restart = 0;
    bool linear = true;
    uint16_t speed = 6;
    uint16_t bpm = 125;
    std::vector<XmPatternDesc> patterns;
    std::vector<XmInstrumentDesc> instruments;
    // Packed cells as trackers write them (an all-empty pattern gets no cell data);
    // false writes every cell as five plain bytes.
    bool packed = true;

    // Raw overrides.
    std::optional<std::string> signature;          // first 17 bytes
    std::optional<uint32_t> header_size;           // H; default 276. A smaller H cuts the header,
                                                   // a larger one pads it (up to 1 MiB).
    std::optional<uint16_t> song_length;
    std::optional<uint16_t> channel_count;         // declared; cells are still laid out by `channels`
    std::optional<uint16_t> pattern_count;         // P as written; patterns.size() are written
    std::optional<uint16_t> instrument_count;      // as written; instruments.size() are written
    std::optional<uint16_t> flags;
};

// XM note number of a name such as "C-4" or "F#2" (C-0 is 1); 0 for anything else.
uint8_t xm_note(const std::string& name);

// A pattern from rows of text, one string per row, channels separated by '|':
//   "C-4 01 40 A01 | === .. .. ... | ... .. .. F06"
// note ("C-4", "C#4", "===" key off, "..." or "---" none), instrument (hex, ".." none),
// volume column byte (hex, ".." none), effect (letter 0-9/A-Z and hex parameter, "..." none).
// Missing channels and rows are empty. Throws std::invalid_argument on malformed text.
XmPatternDesc xm_pattern_from_text(int channels, const std::vector<std::string>& rows,
                                   uint16_t row_count = 64);

// A sample from plain PCM values.
XmSampleDesc xm_sample_8bit(const std::vector<int8_t>& values, XmLoop loop = XmLoop::none,
                            uint32_t loop_start = 0, uint32_t loop_length = 0);
XmSampleDesc xm_sample_16bit(const std::vector<int16_t>& values, XmLoop loop = XmLoop::none,
                             uint32_t loop_start = 0, uint32_t loop_length = 0);

// An envelope that is on, with optional sustain point and loop.
XmEnvelopeDesc xm_envelope(std::vector<XmEnvelopeDesc::Point> points, std::optional<uint8_t> sustain_point = {},
                           std::optional<std::pair<uint8_t, uint8_t>> loop = {});

// An instrument with one sample mapped to every note.
XmInstrumentDesc xm_instrument(XmSampleDesc sample);

std::vector<uint8_t> xm_write(const XmModuleDesc& desc);
bool xm_write_file(const std::string& path, const XmModuleDesc& desc);
