#include "cli/report.h"

#include <fmt/format.h>

#include <cmath>

namespace {

// JSON has no infinities; a cut to digital silence is reported as null.
std::string json_number(double v)
{
    return std::isfinite(v) ? fmt::format("{:.3f}", v) : "null";
}

} // namespace

std::string settings_line(const Settings& s)
{
    std::string line;
    for (int i = 0; i < kSliderCount; ++i) line += fmt::format("--{} {} ", option_name(i), s.slider[i]);
    line += s.use_window ? "--window" : "--no-window";
    return line;
}

std::string geometry_text(const NotchGeometry& g, int64_t first, int32_t rate)
{
    return fmt::format("notch:   centre {:.1f} Hz (spectrum entry {} of {}), covers {:.1f} to {:.1f} Hz\n"
                       "stretch: frames {} to {} ({:.3f} s to {:.3f} s), fade-in {} frames, "
                       "tail cross-fade {} frames\n",
                       g.centre_hz, g.centre, g.n, g.low_hz, g.high_hz, first, first + g.length - 1,
                       double(first) / rate, double(first + g.length) / rate, g.fade, g.quarter);
}

std::string tone_text(const Tone& t)
{
    if (!t.found) return "tone:    none found (no peak stands 10 dB above the spectral floor)\n";
    std::string text = fmt::format("tone:    {:.2f} Hz at {:.1f} dBFS, {:.1f} dB above the spectral floor; "
                                   "drift {:.2f} Hz, level varies {:.1f} dB over the stretch "
                                   "(analysis bins {:.2f} Hz)\n",
                                   t.hz, t.level_dbfs, t.above_floor_db, t.drift_hz, t.level_range_db,
                                   t.resolution_hz);
    if (t.harmonics.empty()) return text + "         no notable harmonics\n";
    text += "         harmonics:";
    for (const Harmonic& h : t.harmonics) text += fmt::format(" {}x {:.1f} Hz ({:+.1f} dB)", h.order, h.hz, h.relative_db);
    return text + "\n";
}

std::string measurement_text(const Measurement& m, int32_t rate)
{
    std::string text = fmt::format(
        "measured over frames {} to {} ({:.3f} s to {:.3f} s): the stretch without its fade-in and tail\n",
        m.middle_first, m.middle_first + m.middle_count - 1, double(m.middle_first) / rate,
        double(m.middle_first + m.middle_count) / rate);
    text += fmt::format("notch centre {:.1f} Hz (band {:.1f} to {:.1f} Hz): cut by {:.1f} dB\n", m.centre_hz,
                        m.low_hz, m.high_hz, m.centre_attenuation_db);
    if (m.tone.found)
        text += fmt::format("tone {:.2f} Hz: cut by {:.1f} dB\n", m.tone.hz, m.tone_attenuation_db);
    else
        text += "tone: none found in the input\n";
    text += fmt::format("outside the notch band: level changed by {:+.2f} dB ({:.1f} dBFS before, {:.1f} after)\n",
                        m.outside_change_db, m.outside_in_dbfs, m.outside_out_dbfs);
    text += fmt::format("output over the stretch: peak {:.1f} dBFS, {} samples at the 16-bit limits (input {})\n",
                        m.peak_dbfs, m.clipped, m.clipped_input);
    text += fmt::format("largest step at the stretch's start {:.4f} (input {:.4f}), at its end {:.4f} "
                        "(input {:.4f}); full scale = 1\n",
                        m.jump_start, m.input_jump_start, m.jump_end, m.input_jump_end);
    return text;
}

std::string measurement_json(const Measurement& m, const Settings& s, int32_t rate)
{
    std::string sliders;
    for (int i = 0; i < kSliderCount; ++i) sliders += fmt::format("\"{}\": {}, ", kSliderNames[i], s.slider[i]);
    std::string tone = "null";
    if (m.tone.found)
        tone = fmt::format("{{\"hz\": {}, \"level_dbfs\": {}, \"above_floor_db\": {}, \"drift_hz\": {}, "
                           "\"attenuation_db\": {}}}",
                           json_number(m.tone.hz), json_number(m.tone.level_dbfs),
                           json_number(m.tone.above_floor_db), json_number(m.tone.drift_hz),
                           json_number(m.tone_attenuation_db));
    return fmt::format(
        "{{\n  \"settings\": {{{}\"use_window\": {}}},\n  \"rate\": {},\n"
        "  \"stretch\": {{\"first_frame\": {}, \"frames\": {}}},\n"
        "  \"measured\": {{\"first_frame\": {}, \"frames\": {}, \"excludes\": \"fade-in and tail cross-fade\"}},\n"
        "  \"notch\": {{\"centre_hz\": {}, \"low_hz\": {}, \"high_hz\": {}, \"attenuation_db\": {}}},\n"
        "  \"tone\": {},\n  \"outside_change_db\": {},\n  \"outside_in_dbfs\": {}, \"outside_out_dbfs\": {},\n  \"peak_dbfs\": {},\n"
        "  \"clipped_samples\": {},\n  \"clipped_input_samples\": {},\n"
        "  \"jump_start\": {}, \"jump_end\": {}, \"input_jump_start\": {}, \"input_jump_end\": {}\n}}\n",
        sliders, s.use_window ? "true" : "false", rate, m.stretch_first, m.stretch_count, m.middle_first,
        m.middle_count, json_number(m.centre_hz), json_number(m.low_hz), json_number(m.high_hz),
        json_number(m.centre_attenuation_db), tone, json_number(m.outside_change_db),
        json_number(m.outside_in_dbfs), json_number(m.outside_out_dbfs), json_number(m.peak_dbfs),
        m.clipped, m.clipped_input, json_number(m.jump_start), json_number(m.jump_end),
        json_number(m.input_jump_start), json_number(m.input_jump_end));
}
