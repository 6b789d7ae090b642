#include "tool/commands/parse_units.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tool/analysis/tool_error.h"

namespace {

// Whether [text, end) is a number as a user writes one: decimal digits with at most one
// point and an optional exponent, after an optional sign. strtod takes hexadecimal,
// infinities and NaN too, which no option means.
bool decimal_number(const char* text, const char* end)
{
    const char* p = text;
    if (p < end && (*p == '+' || *p == '-')) ++p;
    int digits = 0;
    bool point = false;
    for (; p < end && ((*p >= '0' && *p <= '9') || (*p == '.' && !point)); ++p) {
        if (*p == '.') point = true;
        else ++digits;
    }
    if (digits == 0) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        const char* exponent = p;
        while (p < end && *p >= '0' && *p <= '9') ++p;
        if (p == exponent) return false;
    }
    return p == end;
}

}  // namespace

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
        throw UsageError(ErrorCode::kNotVideoRate, {{"text", text}});
    *num = int32_t(n);
    *den = int32_t(d);
}

int64_t parse_whole(const std::string& name, const std::string& text, int64_t low, int64_t high)
{
    const size_t digits = text.find_first_not_of("+-") == 1 ? 1 : 0;
    const bool decimal = text.size() > digits && text.find_first_not_of("0123456789", digits) == std::string::npos;
    errno = 0;
    const long long v = decimal ? std::strtoll(text.c_str(), nullptr, 10) : 0;
    if (!decimal || errno == ERANGE) throw UsageError(ErrorCode::kNotWholeNumber, {{"option", name}, {"text", text}});
    if (v < low || v > high)
        throw UsageError(ErrorCode::kWholeOutside,
                         {{"option", name}, {"text", text}, {"low", double(low)}, {"high", double(high)}});
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
    if (!decimal_number(text.c_str(), end) || scale == 0 || !std::isfinite(v) || v < 0)
        throw UsageError(ErrorCode::kNotTime, {{"text", text}});
    return v * scale;
}

double parse_real(const std::string& name, const std::string& text, double low, double high)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (!decimal_number(text.c_str(), text.c_str() + text.size()) || !std::isfinite(v))
        throw UsageError(ErrorCode::kNotNumber, {{"option", name}, {"text", text}});
    if (v < low || v > high)
        throw UsageError(ErrorCode::kNumberOutside, {{"option", name}, {"text", text}, {"low", low}, {"high", high}});
    return v;
}
