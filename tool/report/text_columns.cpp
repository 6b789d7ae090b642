#include "tool/report/text_columns.h"

namespace {

// The blocks drawn two columns wide: Hangul jamo, CJK signs, kana and ideographs, Hangul
// syllables, compatibility ideographs, vertical and small forms, full-width forms.
bool wide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

int display_width(const std::string& text)
{
    int columns = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const int length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        char32_t c = length == 1 ? b : b & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        columns += wide(c) ? 2 : 1;
        i += length;
    }
    return columns;
}

std::string pad_right(const std::string& text, int columns)
{
    const int w = display_width(text);
    return text + std::string(w < columns ? columns - w : 1, ' ');
}

std::string pad_left(const std::string& text, int columns)
{
    const int w = display_width(text);
    return std::string(w < columns ? columns - w : 0, ' ') + text;
}
