#include "tool/analysis/tool_error.h"

#include <fmt/format.h>

namespace {

// what() of a coded error, for a program that words none (a fuzzer, a benchmark):
// the code's name and its values.
std::string code_and_values(ErrorCode code, std::initializer_list<ErrorValue> values)
{
    std::string s = error_code_name(code);
    for (const ErrorValue& v : values)
        s += fmt::format(" {}={}", v.name, v.is_text ? "'" + v.text + "'" : fmt::format("{:g}", v.number));
    return s;
}

}  // namespace

const char* error_code_name(ErrorCode code)
{
    switch (code) {
    case ErrorCode::kWorded:
        return "worded";
    case ErrorCode::kSliderOutsideRange:
        return "slider_outside_range";
    case ErrorCode::kRateNotServed:
        return "rate_not_served";
    case ErrorCode::kNoNotchInside:
        return "no_notch_inside";
    case ErrorCode::kHzOutsideHalfRate:
        return "hz_outside_half_rate";
    case ErrorCode::kHzOutsideReach:
        return "hz_outside_reach";
    case ErrorCode::kNotchPastTop:
        return "notch_past_top";
    case ErrorCode::kNotVideoRate:
        return "not_video_rate";
    case ErrorCode::kNotTime:
        return "not_time";
    case ErrorCode::kNotNumber:
        return "not_number";
    case ErrorCode::kNumberOutside:
        return "number_outside";
    case ErrorCode::kNotWholeNumber:
        return "not_whole_number";
    case ErrorCode::kWholeOutside:
        return "whole_outside";
    case ErrorCode::kStartPastLastFrame:
        return "start_past_last_frame";
    case ErrorCode::kNotFrameNumber:
        return "not_frame_number";
    case ErrorCode::kStretchPastEnd:
        return "stretch_past_end";
    case ErrorCode::kRegionTooShort:
        return "region_too_short";
    case ErrorCode::kMiddleTooShort:
        return "middle_too_short";
    case ErrorCode::kFilesDiffer:
        return "files_differ";
    case ErrorCode::kNoOrderForTone:
        return "no_order_for_tone";
    case ErrorCode::kFitReadLate:
        return "fit_read_late";
    case ErrorCode::kCheckReadShort:
        return "check_read_short";
    case ErrorCode::kGuideBeepMissing:
        return "guide_beep_missing";
    case ErrorCode::kModuleNotBeside:
        return "module_not_beside";
    case ErrorCode::kModuleMissing:
        return "module_missing";
    case ErrorCode::kModuleSliders:
        return "module_sliders";
    case ErrorCode::kFrameTooLong:
        return "frame_too_long";
    case ErrorCode::kStretchOverBuffer:
        return "stretch_over_buffer";
    case ErrorCode::kTooLittleToDraw:
        return "too_little_to_draw";
    }
    return "unknown";
}

ToolError::ToolError(const std::string& sentence)
    : std::runtime_error(sentence), code(ErrorCode::kWorded), values{ErrorValue("text", sentence)}
{}

ToolError::ToolError(ErrorCode c, std::initializer_list<ErrorValue> v)
    : std::runtime_error(code_and_values(c, v)), code(c), values(v)
{}

double ToolError::number(const char* name) const
{
    for (const ErrorValue& v : values)
        if (v.name == name) return v.number;
    return 0;
}

const std::string& ToolError::text(const char* name) const
{
    static const std::string none;
    for (const ErrorValue& v : values)
        if (v.name == name) return v.text;
    return none;
}

bool ToolError::has(const char* name) const
{
    for (const ErrorValue& v : values)
        if (v.name == name) return true;
    return false;
}
