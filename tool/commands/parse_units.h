#pragma once
// The units a user types on the command line: a video rate and a time.
#include <cstdint>
#include <string>

// Video rate "30", "30/1" or "30000/1001". Throws ToolError.
void parse_video_rate(const std::string& text, int32_t* num, int32_t* den);

// A time "1.25s", "1250ms" or "1.25" (seconds). Throws ToolError.
double parse_seconds(const std::string& text);
