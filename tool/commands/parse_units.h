#pragma once
// The units a user types on the command line: a video rate and a time.
#include <cmath>
#include <cstdint>
#include <string>

// Video rate "30", "30/1" or "30000/1001". Throws UsageError.
void parse_video_rate(const std::string& text, int32_t* num, int32_t* den);

// A whole number written in decimal digits, with an optional sign, for option `name`:
// no hexadecimal or octal prefix, no fraction, within [low, high]. Throws UsageError.
int64_t parse_whole(const std::string& name, const std::string& text, int64_t low, int64_t high);

// A finite number in decimal digits (a point and an exponent allowed) for option `name`,
// within [low, high]. Throws UsageError.
double parse_real(const std::string& name, const std::string& text, double low = -HUGE_VAL, double high = HUGE_VAL);

// A time "1.25s", "1250ms" or "1.25" (seconds). Throws UsageError.
double parse_seconds(const std::string& text);
