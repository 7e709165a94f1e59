// A tiny 5 x 7 bitmap font for the title and end cards.
#pragma once
#include <functional>
#include <string>

constexpr int font_glyph_width = 5;
constexpr int font_glyph_height = 7;
constexpr int font_advance = 6;   // glyph width plus one column of space

// Glyph row bits for a character, bit 4 the leftmost column; unknown characters are blank.
// Lower case letters are drawn as capitals.
const unsigned char* font_glyph(char c);

// Width in pixels of a text drawn at the given scale (no trailing space column).
int font_text_width(const std::string& text, int scale);

// Calls plot(x, y) for every pixel of the text with its top-left corner at (x, y), each
// font pixel drawn as a scale x scale block.
void font_draw(const std::string& text, int x, int y, int scale,
               const std::function<void(int, int)>& plot);
