#include "tool/commands/parse_units.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tool/analysis/tool_error.h"

void parse_video_rate(const std::string& text, int32_t* num, int32_t* den)
{
    const size_t slash = text.find('/');
    const std::string a = text.substr(0, slash);
    const std::string b = slash == std::string::npos ? "1" : text.substr(slash + 1);
    char* end_a = nullptr;
    char* end_b = nullptr;
    const long n = std::strtol(a.c_str(), &end_a, 10);
    const long d = std::strtol(b.c_str(), &end_b, 10);
    if (a.empty() || b.empty() || *end_a || *end_b || n < 1 || d < 1 || n > 1000000 || d > 1000000)
        throw UsageError("--fps '" + text + "' is not a video rate like 30 or 30000/1001");
    *num = int32_t(n);
    *den = int32_t(d);
}

int64_t parse_whole(const std::string& name, const std::string& text, int64_t low, int64_t high)
{
    const size_t digits = text.find_first_not_of("+-") == 1 ? 1 : 0;
    const bool decimal = text.size() > digits && text.find_first_not_of("0123456789", digits) == std::string::npos;
    errno = 0;
    const long long v = decimal ? std::strtoll(text.c_str(), nullptr, 10) : 0;
    if (!decimal || errno == ERANGE)
        throw UsageError(name + " '" + text + "' is not a whole number in decimal digits");
    if (v < low || v > high)
        throw UsageError(name + " " + text + " is outside " + std::to_string(low) + " to " + std::to_string(high));
    return v;
}

double parse_seconds(const std::string& text)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    const std::string unit = end ? end : "";
    double scale = 0;
    if (unit.empty() || unit == "s") scale = 1;
    else if (unit == "ms") scale = 0.001;
    if (text.empty() || end == text.c_str() || scale == 0 || !std::isfinite(v) || v < 0)
        throw UsageError("'" + text + "' is not a time like 1.25s or 1250ms");
    return v * scale;
}
