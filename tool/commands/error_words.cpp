#include "tool/commands/error_words.h"

#include <fmt/format.h>

#include <cmath>

#include "render/slider_table.h"

namespace {

// The slider of that name (kSliderNames), or -1.
int slider_of(const std::string& name)
{
    for (int i = 0; i < kSliderCount; ++i)
        if (name == kSliderNames[i]) return i;
    return -1;
}

bool has_slider(OptionSet set, int slider)
{
    if (set == kAllSettings) return true;
    if (set == kStretchSettings) return slider == kSeconds || slider == kFftOrder || slider == kWidth;
    return false;
}

// A count with its noun: "1 sample", "2 samples".
std::string count_of(double n, const char* noun) { return fmt::format("{:.0f} {}{}", n, noun, n == 1 ? "" : "s"); }

// "--fft-order 11" where the command has the option, else "FFT order 11" (the
// plug-in's default, as the command uses it).
std::string slider_words(OptionSet set, int slider, double value)
{
    if (has_slider(set, slider)) return fmt::format("--{} {:.0f}", option_name(slider), value);
    static const char* const kPlain[kSliderCount] = {"frequency value", "stretch of seconds", "FFT order", "width",
                                                     "fade"};
    return fmt::format("the plug-in's default {} {:.0f}", kPlain[slider], value);
}

// "--fft-order 11" where the command has the option, else "FFT order 11".
std::string order_words(OptionSet set, double order)
{
    return has_slider(set, kFftOrder) ? fmt::format("--fft-order {:.0f}", order)
                                      : fmt::format("FFT order {:.0f}", order);
}

}  // namespace

std::string error_sentence(const ToolError& e, OptionSet set)
{
    const auto n = [&e](const char* name) { return e.number(name); };
    const auto t = [&e](const char* name) { return e.text(name); };
    switch (e.code) {
    case ErrorCode::kWorded:
        return e.what();
    case ErrorCode::kSliderOutsideRange: {
        const int slider = slider_of(t("slider"));
        return fmt::format("{} is outside the slider's range {:.0f} to {:.0f}",
                           slider_words(set, slider < 0 ? kFrequency : slider, n("value")), n("minimum"), n("maximum"));
    }
    case ErrorCode::kRateNotServed:
        return fmt::format("a sampling rate of {:.0f} Hz is more than the plug-in can serve with {:.0f} channels and "
                           "{} (at most {:.0f} Hz)",
                           n("rate"), n("channels"),
                           has_slider(set, kSeconds) ? fmt::format("--seconds {:.0f}", n("seconds"))
                                                     : fmt::format("its default stretch of {:.0f} s", n("seconds")),
                           n("highest"));
    case ErrorCode::kNoNotchInside:
        return fmt::format("no frequency value puts the notch inside the spectrum at {:.0f} Hz with {}, so --hz "
                           "cannot be served at this sampling rate",
                           n("rate"), order_words(set, n("fft_order")));
    case ErrorCode::kHzOutsideHalfRate:
        return fmt::format("--hz {:g} is not between 0 and half the sampling rate ({:g} Hz)", n("hz"), n("half_rate"));
    case ErrorCode::kHzOutsideReach:
        return fmt::format("--hz {:g} is outside the notch centres the plug-in reaches at {:.0f} Hz {} ({:.1f} to "
                           "{:.1f} Hz)",
                           n("hz"), n("rate"),
                           e.has("fft_order") ? "with " + order_words(set, n("fft_order")) : "at any FFT order",
                           n("low"), n("high"));
    case ErrorCode::kNotNumber:
        return fmt::format("{}: must be a finite number, not '{}'", t("option"), t("text"));
    case ErrorCode::kNumberOutside:
        return fmt::format("{} {} is outside {:g} to {:g}", t("option"), t("text"), n("low"), n("high"));
    case ErrorCode::kNotchPastTop:
        if (has_slider(set, kFrequency))
            return fmt::format("--frequency {:.0f} puts the notch past the top of the spectrum at {:.0f} Hz with "
                               "--fft-order {:.0f}; lower the frequency or the FFT order",
                               n("frequency"), n("rate"), n("fft_order"));
        return fmt::format("the plug-in's default frequency value {:.0f} puts the notch past the top of the spectrum "
                           "at {:.0f} Hz with its default FFT order {:.0f}, the settings detect starts from",
                           n("frequency"), n("rate"), n("fft_order"));
    case ErrorCode::kNotVideoRate:
        return fmt::format("--fps '{}' is not a video rate like 30 or 30000/1001", t("text"));
    case ErrorCode::kNotTime:
        return fmt::format("'{}' is not a time like 1.25s or 1250ms", t("text"));
    case ErrorCode::kNotWholeNumber:
        return fmt::format("{} '{}' is not a whole number in decimal digits", t("option"), t("text"));
    case ErrorCode::kWholeOutside:
        return fmt::format("{} {} is outside {:.0f} to {:.0f}", t("option"), t("text"), n("low"), n("high"));
    case ErrorCode::kStartPastLastFrame:
        return fmt::format("--start {} lies past the last video frame the host can select", t("start"));
    case ErrorCode::kNotFrameNumber:
        return fmt::format("the stretch's first video frame {:.0f} is not a frame number", n("frame"));
    case ErrorCode::kStretchPastEnd:
        return fmt::format("the stretch starts at video frame {:.0f} ({:.3f} s), past the end of the file ({:.0f} "
                           "video frames, {:.3f} s)",
                           n("frame"), n("seconds"), n("file_frames"), n("file_seconds"));
    case ErrorCode::kRegionTooShort:
        return fmt::format("the region holds only {:.3f} s of audio, too little to tell a steady tone; detect needs "
                           "{:.3f} s",
                           n("seconds"), n("needed"));
    case ErrorCode::kMiddleTooShort:
        return fmt::format("the stretch between the fade-in and the tail is too short to measure ({}){}",
                           count_of(n("samples"), "sample"), has_slider(set, kFade) ? "; lower --fade" : "");
    case ErrorCode::kFilesDiffer:
        return "the two files differ in rate, channels or length, so one is not the other processed";
    case ErrorCode::kNoOrderForTone:
        return "no FFT order places the notch on the tone at " + std::to_string(n("hz")) + " Hz";
    case ErrorCode::kFitReadLate:
        return "the audio read for the fit starts after the stretch it needs";
    case ErrorCode::kCheckReadShort:
        return "the audio read for the check does not hold the stretch the plug-in reads";
    case ErrorCode::kGuideBeepMissing:
        return "the guide's example beep was not found; the analysis is broken";
    case ErrorCode::kModuleNotBeside:
        return fmt::format("the plug-in module tulm.so is not beside this program (looked for {}); build it there or "
                           "name it with --plugin",
                           t("where"));
    case ErrorCode::kModuleMissing:
        return fmt::format("the plug-in module {} is not there (looked for {})", t("name"), t("where"));
    case ErrorCode::kModuleSliders:
        return fmt::format("{}: the module's filter has {:.0f} sliders, not the {:.0f} this tool sets", t("path"),
                           n("sliders"), n("needed"));
    case ErrorCode::kFrameTooLong:
        return fmt::format("at --fps {} one video frame holds {:.0f} samples at {:.0f} Hz, but the plug-in places a "
                           "stretch only where a frame holds at most {:.0f} ({:.0f} channels, {}); give a video rate "
                           "of at least {:.6g} frames per second",
                           t("fps"), n("frame_samples"), n("rate"), n("longest"), n("channels"),
                           slider_words(set, kSeconds, n("seconds")), n("lowest_fps"));
    case ErrorCode::kStretchOverBuffer:
        return fmt::format("{} at {:.0f} Hz with {:.0f} channels makes a stretch the plug-in's buffer cannot hold, "
                           "so it would pass the audio untouched",
                           slider_words(set, kSeconds, n("seconds")), n("rate"), n("channels"));
    case ErrorCode::kTooLittleToDraw:
        return "the file holds too little audio to draw";
    }
    return e.what();
}
