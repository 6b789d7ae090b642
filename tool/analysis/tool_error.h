#pragma once
// The failures the tool reports to its user, each as a code and the values (numbers and
// names) that word it: the command line words it in English with its own option names,
// the page in Japanese from its text table, so no layer below them chooses words. main()
// prints "tulm: error: <sentence>" and exits with status 2 for a UsageError (the command
// line is wrong whatever the files) and 1 for any other ToolError (a file that does not
// allow the work, a module that does not load).
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

enum class ErrorCode {
    kWorded,              // text: a file's or the system's failure, worded where it happened
    kSliderOutsideRange,  // slider (its name), value, minimum, maximum
    kRateNotServed,       // rate, channels, seconds (the stretch's), highest (rate served)
    kNoNotchInside,       // rate, fft_order: no frequency value puts the notch inside the spectrum
    kHzOutsideHalfRate,   // hz, half_rate
    kHzOutsideReach,      // hz, rate, low, high (the centres reached); fft_order when one order
                          // was asked for, else every order the plug-in offers counts
    kNotchPastTop,        // frequency, rate, fft_order
    kNotVideoRate,        // text
    kNotTime,             // text
    kNotNumber,           // option, text: not a finite decimal number
    kNumberOutside,       // option, text, low, high
    kNotWholeNumber,      // option, text
    kWholeOutside,        // option, text, low, high
    kStartPastLastFrame,  // start (as typed)
    kNotFrameNumber,      // frame
    kStretchPastEnd,      // frame, seconds, file_frames (video frames), file_seconds
    kRegionTooShort,      // seconds, needed
    kMiddleTooShort,      // samples
    kFilesDiffer,         // -
    kNoOrderForTone,      // hz
    kFitReadLate,         // -: the audio read for the fit starts after the stretch
    kCheckReadShort,      // -: the audio read for the check misses what the plug-in reads
    kGuideBeepMissing,    // -: the guide's example beep was not found
    kModuleNotBeside,     // where (the path looked at)
    kModuleMissing,       // name, where
    kModuleSliders,       // path, sliders, needed
    kFrameTooLong,        // fps (as typed), frame_samples, rate, longest (samples a frame may hold),
                          // channels, seconds, lowest_fps
    kStretchOverBuffer,   // seconds, rate, channels: the stretch alone outgrows the plug-in's buffer
    kTooLittleToDraw,     // -: too little audio for a spectrogram
};
constexpr int kErrorCodeCount = int(ErrorCode::kTooLittleToDraw) + 1;

// One value an error is worded with: a number, or a name (a path, a text as typed).
struct ErrorValue {
    ErrorValue(const char* name, double number) : name(name), number(number) {}
    ErrorValue(const char* name, std::string text) : name(name), text(std::move(text)), is_text(true) {}
    ErrorValue(const char* name, const char* text) : ErrorValue(name, std::string(text)) {}
    std::string name;
    double number = 0;
    std::string text;
    bool is_text = false;
};

// The code's name as machines read it (JSON, the page's texts): "hz_outside_half_rate".
const char* error_code_name(ErrorCode code);

struct ToolError : std::runtime_error {
    // A sentence worded where the failure happened (kWorded).
    explicit ToolError(const std::string& sentence);
    ToolError(ErrorCode code, std::initializer_list<ErrorValue> values);

    ErrorCode code;
    std::vector<ErrorValue> values;  // in the order given

    // The value of that name; 0 or empty when the error has none.
    double number(const char* name) const;
    const std::string& text(const char* name) const;
    bool has(const char* name) const;
};

// A value on the command line that does not parse or lies outside its option's range.
struct UsageError : ToolError {
    explicit UsageError(const std::string& sentence) : ToolError(sentence) {}
    UsageError(ErrorCode code, std::initializer_list<ErrorValue> values) : ToolError(code, values) {}
};
