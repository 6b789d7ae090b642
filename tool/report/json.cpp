#include "tool/report/json.h"

#include <fmt/format.h>

#include <cmath>

#include "tool/report/utf8_text.h"

std::string json_number(double v, int decimals)
{
    return std::isfinite(v) ? fmt::format("{:.{}f}", v, decimals) : "null";
}

std::string json_string(const std::string& text)
{
    std::string out = "\"";
    for (const char c : utf8_or_escaped(text)) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) out += fmt::format("\\u{:04x}", int(c));
            else out += c;
        }
    }
    return out + "\"";
}
