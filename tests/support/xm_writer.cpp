#include "support/xm_writer.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace {

struct ByteSink {
    std::vector<uint8_t>& out;
    void u8(uint8_t v) { out.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    // Fixed-width text field, zero padded, cut when too long.
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void bytes(const std::vector<uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); }
};

// Brings a block that starts at `start` to exactly `size` bytes: pads with zeros or cuts.
// A hostile size far beyond any real header is not padded (the file would not fit in
// memory); the content then simply follows the unpadded block.
void fit_block(std::vector<uint8_t>& out, size_t start, size_t size) {
    constexpr size_t max_padding = 1 << 20;
    if (size > out.size() - start + max_padding) return;
    out.resize(start + size, 0);
}

uint8_t envelope_flags(const XmEnvelopeDesc& env) {
    if (env.flags) return *env.flags;
    return static_cast<uint8_t>((env.on ? 1 : 0) | (env.sustain ? 2 : 0) | (env.loop ? 4 : 0));
}

void write_envelope_points(ByteSink& sink, const XmEnvelopeDesc& env) {
    for (size_t i = 0; i < 12; ++i) {
        XmEnvelopeDesc::Point p = i < env.points.size() ? env.points[i] : XmEnvelopeDesc::Point{0, 0};
        sink.u16(p.tick);
        sink.u16(p.value);
    }
}

uint8_t envelope_point_count(const XmEnvelopeDesc& env) {
    if (env.point_count) return *env.point_count;
    return static_cast<uint8_t>(env.points.size() > 12 ? 12 : env.points.size());
}

uint32_t frame_bytes(const XmSampleDesc& s) { return s.sixteen_bit ? 2 : 1; }

void write_sample_header(ByteSink& sink, const XmSampleDesc& s) {
    uint32_t fb = frame_bytes(s);
    sink.u32(s.length_bytes.value_or(static_cast<uint32_t>(s.frames.size()) * fb));
    sink.u32(s.loop_start_bytes.value_or(s.loop_start * fb));
    sink.u32(s.loop_length_bytes.value_or(s.loop_length * fb));
    sink.u8(s.volume);
    sink.u8(static_cast<uint8_t>(s.finetune));
    uint8_t type = static_cast<uint8_t>(static_cast<uint8_t>(s.loop) | (s.sixteen_bit ? 0x10 : 0));
    sink.u8(s.type.value_or(type));
    sink.u8(s.panning);
    sink.u8(static_cast<uint8_t>(s.relative_note));
    sink.u8(0);   // reserved
    sink.text(s.name, 22);
}

void write_sample_data(ByteSink& sink, const XmSampleDesc& s) {
    if (s.data) {
        sink.bytes(*s.data);
        return;
    }
    // The format stores each value as the difference from the one before, modulo the width.
    int32_t previous = 0;
    for (int16_t v : s.frames) {
        int32_t delta = v - previous;
        previous = v;
        if (s.sixteen_bit)
            sink.u16(static_cast<uint16_t>(delta));
        else
            sink.u8(static_cast<uint8_t>(delta));
    }
}

void write_instrument(std::vector<uint8_t>& out, const XmInstrumentDesc& ins) {
    ByteSink sink{out};
    size_t start = out.size();
    uint16_t n = ins.sample_count.value_or(static_cast<uint16_t>(ins.samples.size()));
    bool extended = n > 0 || !ins.samples.empty();
    uint32_t header_size = ins.header_size.value_or(extended ? 263u : 29u);

    sink.u32(header_size);
    sink.text(ins.name, 22);
    sink.u8(0);   // type
    sink.u16(n);
    if (extended) {
        sink.u32(ins.sample_header_size.value_or(40));
        for (uint8_t m : ins.sample_map) sink.u8(m);
        write_envelope_points(sink, ins.volume_envelope);
        write_envelope_points(sink, ins.panning_envelope);
        sink.u8(envelope_point_count(ins.volume_envelope));
        sink.u8(envelope_point_count(ins.panning_envelope));
        sink.u8(ins.volume_envelope.sustain_point);
        sink.u8(ins.volume_envelope.loop_start);
        sink.u8(ins.volume_envelope.loop_end);
        sink.u8(ins.panning_envelope.sustain_point);
        sink.u8(ins.panning_envelope.loop_start);
        sink.u8(ins.panning_envelope.loop_end);
        sink.u8(envelope_flags(ins.volume_envelope));
        sink.u8(envelope_flags(ins.panning_envelope));
        sink.u8(ins.vibrato_type);
        sink.u8(ins.vibrato_sweep);
        sink.u8(ins.vibrato_depth);
        sink.u8(ins.vibrato_rate);
        sink.u16(ins.fadeout);
    }
    fit_block(out, start, header_size);
    for (const XmSampleDesc& s : ins.samples) write_sample_header(sink, s);
    for (const XmSampleDesc& s : ins.samples) write_sample_data(sink, s);
}

void write_cell(ByteSink& sink, const XmCell& c, bool packed) {
    if (!packed) {
        sink.u8(c.note);
        sink.u8(c.instrument);
        sink.u8(c.volume);
        sink.u8(c.effect);
        sink.u8(c.param);
        return;
    }
    uint8_t mask = static_cast<uint8_t>((c.note ? 0x01 : 0) | (c.instrument ? 0x02 : 0) |
                                        (c.volume ? 0x04 : 0) | (c.effect ? 0x08 : 0) |
                                        (c.param ? 0x10 : 0));
    if (mask == 0x1F && c.note < 0x80) {   // a full cell is shorter unpacked
        write_cell(sink, c, false);
        return;
    }
    sink.u8(static_cast<uint8_t>(0x80 | mask));
    if (c.note) sink.u8(c.note);
    if (c.instrument) sink.u8(c.instrument);
    if (c.volume) sink.u8(c.volume);
    if (c.effect) sink.u8(c.effect);
    if (c.param) sink.u8(c.param);
}

void write_pattern(std::vector<uint8_t>& out, const XmPatternDesc& pat, int channels, bool packed) {
    ByteSink sink{out};
    std::vector<uint8_t> data;
    if (pat.data) {
        data = *pat.data;
    } else {
        size_t count = static_cast<size_t>(pat.rows) * static_cast<size_t>(channels);
        bool any = false;
        for (size_t i = 0; i < count && i < pat.cells.size(); ++i) {
            const XmCell& c = pat.cells[i];
            any = any || c.note || c.instrument || c.volume || c.effect || c.param;
        }
        if (any || !packed) {
            ByteSink cells{data};
            for (size_t i = 0; i < count; ++i)
                write_cell(cells, i < pat.cells.size() ? pat.cells[i] : XmCell{}, packed);
        }
    }
    uint32_t header_length = pat.header_length.value_or(9);
    sink.u32(header_length);
    sink.u8(pat.packing_type);
    sink.u16(pat.rows);
    sink.u16(pat.packed_size.value_or(static_cast<uint16_t>(data.size())));
    sink.bytes(data);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank_token(const std::string& t) {
    for (char c : t)
        if (c != '.' && c != '-') return false;
    return true;
}

uint8_t parse_hex_byte(const std::string& t, const std::string& row) {
    if (is_blank_token(t)) return 0;
    if (t.size() != 2 || hex_digit(t[0]) < 0 || hex_digit(t[1]) < 0)
        throw std::invalid_argument("xm_pattern_from_text: bad hex byte '" + t + "' in: " + row);
    return static_cast<uint8_t>(hex_digit(t[0]) * 16 + hex_digit(t[1]));
}

XmCell parse_cell(const std::string& text, const std::string& row) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        size_t j = i;
        while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j]))) ++j;
        if (j > i) tokens.push_back(text.substr(i, j - i));
        i = j;
    }
    XmCell cell;
    if (tokens.empty()) return cell;
    if (tokens.size() != 4)
        throw std::invalid_argument("xm_pattern_from_text: a cell needs 4 fields: " + row);
    const std::string& note = tokens[0];
    if (note == "===") {
        cell.note = 97;
    } else if (!is_blank_token(note)) {
        cell.note = xm_note(note);
        if (cell.note == 0) throw std::invalid_argument("xm_pattern_from_text: bad note '" + note + "' in: " + row);
    }
    cell.instrument = parse_hex_byte(tokens[1], row);
    cell.volume = parse_hex_byte(tokens[2], row);
    const std::string& fx = tokens[3];
    if (!is_blank_token(fx)) {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(fx.empty() ? ' ' : fx[0])));
        int effect = -1;
        if (letter >= '0' && letter <= '9') effect = letter - '0';
        if (letter >= 'A' && letter <= 'Z') effect = letter - 'A' + 10;
        if (fx.size() != 3 || effect < 0)
            throw std::invalid_argument("xm_pattern_from_text: bad effect '" + fx + "' in: " + row);
        cell.effect = static_cast<uint8_t>(effect);
        cell.param = parse_hex_byte(fx.substr(1), row);
    }
    return cell;
}

}  // namespace

uint8_t xm_note(const std::string& name) {
    static const char* const names[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                          "F#", "G-", "G#", "A-", "A#", "B-"};
    if (name.size() != 3 || name[2] < '0' || name[2] > '7') return 0;
    std::string head = name.substr(0, 2);
    head[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(head[0])));
    for (int i = 0; i < 12; ++i)
        if (head == names[i]) return static_cast<uint8_t>((name[2] - '0') * 12 + i + 1);
    return 0;
}

XmPatternDesc xm_pattern_from_text(int channels, const std::vector<std::string>& rows,
                                   uint16_t row_count) {
    if (rows.size() > row_count) throw std::invalid_argument("xm_pattern_from_text: more rows than row_count");
    XmPatternDesc pat;
    pat.rows = row_count;
    pat.cells.assign(static_cast<size_t>(row_count) * static_cast<size_t>(channels), XmCell{});
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::string& row = rows[r];
        size_t start = 0;
        for (int c = 0; start <= row.size(); ++c) {
            size_t bar = row.find('|', start);
            std::string part = row.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            if (c >= channels) {
                if (!is_blank_token(part) && part.find_first_not_of(" \t") != std::string::npos)
                    throw std::invalid_argument("xm_pattern_from_text: more channels than " +
                                                std::to_string(channels) + ": " + row);
            } else {
                pat.cells[r * static_cast<size_t>(channels) + static_cast<size_t>(c)] = parse_cell(part, row);
            }
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
    }
    return pat;
}

XmSampleDesc xm_sample_8bit(const std::vector<int8_t>& values, XmLoop loop, uint32_t loop_start,
                            uint32_t loop_length) {
    XmSampleDesc s;
    s.frames.assign(values.begin(), values.end());
    s.loop = loop;
    s.loop_start = loop_start;
    s.loop_length = loop_length;
    return s;
}

XmSampleDesc xm_sample_16bit(const std::vector<int16_t>& values, XmLoop loop, uint32_t loop_start,
                             uint32_t loop_length) {
    XmSampleDesc s = xm_sample_8bit({}, loop, loop_start, loop_length);
    s.sixteen_bit = true;
    s.frames = values;
    return s;
}

XmEnvelopeDesc xm_envelope(std::vector<XmEnvelopeDesc::Point> points, std::optional<uint8_t> sustain_point,
                           std::optional<std::pair<uint8_t, uint8_t>> loop) {
    XmEnvelopeDesc env;
    env.points = std::move(points);
    env.on = true;
    env.sustain = sustain_point.has_value();
    env.sustain_point = sustain_point.value_or(0);
    env.loop = loop.has_value();
    if (loop) {
        env.loop_start = loop->first;
        env.loop_end = loop->second;
    }
    return env;
}

XmInstrumentDesc xm_instrument(XmSampleDesc sample) {
    XmInstrumentDesc ins;
    ins.samples.push_back(std::move(sample));
    return ins;
}

std::vector<uint8_t> xm_write(const XmModuleDesc& desc) {
    std::vector<uint8_t> out;
    ByteSink sink{out};
    sink.text(desc.signature.value_or("Extended Module: "), 17);
    sink.text(desc.name, 20);
    sink.u8(0x1A);
    sink.text(desc.tracker_name, 20);
    sink.u16(desc.version);
    uint32_t header_size = desc.header_size.value_or(276);
    sink.u32(header_size);
    sink.u16(desc.song_length.value_or(static_cast<uint16_t>(desc.orders.size())));
    sink.u16(desc.restart);
    sink.u16(desc.channel_count.value_or(desc.channels));
    sink.u16(desc.pattern_count.value_or(static_cast<uint16_t>(desc.patterns.size())));
    sink.u16(desc.instrument_count.value_or(static_cast<uint16_t>(desc.instruments.size())));
    sink.u16(desc.flags.value_or(desc.linear ? 1 : 0));
    sink.u16(desc.speed);
    sink.u16(desc.bpm);
    for (size_t i = 0; i < 256; ++i) sink.u8(i < desc.orders.size() ? desc.orders[i] : 0);
    fit_block(out, 60, header_size);
    for (const XmPatternDesc& p : desc.patterns) write_pattern(out, p, desc.channels, desc.packed);
    for (const XmInstrumentDesc& ins : desc.instruments) write_instrument(out, ins);
    return out;
}

bool xm_write_file(const std::string& path, const XmModuleDesc& desc) {
    std::vector<uint8_t> bytes = xm_write(desc);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
