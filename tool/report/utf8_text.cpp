#include "tool/report/utf8_text.h"

#include <fmt/format.h>

namespace {

// The length of the well-formed UTF-8 sequence at `at`, or 0 when none starts there.
size_t sequence_length(const std::string& s, size_t at)
{
    const auto byte = [&](size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
    const unsigned lead = byte(at);
    if (lead < 0x80) return 1;
    // The second byte's range rules out overlong forms, surrogates and code points past
    // U+10FFFF; the bytes after it are plain continuation bytes.
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead == 0xE0) length = 3, low = 0xA0;
    else if (lead == 0xED) length = 3, high = 0x9F;
    else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
    else if (lead == 0xF0) length = 4, low = 0x90;
    else if (lead == 0xF4) length = 4, high = 0x8F;
    else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
    else return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string utf8_or_escaped(const std::string& bytes)
{
    std::string out;
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = sequence_length(bytes, at);
        if (length == 0) {
            out += fmt::format("\\x{:02x}", static_cast<unsigned char>(bytes[at]));
            ++at;
        } else {
            out.append(bytes, at, length);
            at += length;
        }
    }
    return out;
}
