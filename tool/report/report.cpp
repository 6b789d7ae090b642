#include "tool/report/report.h"

#include <fmt/format.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "render/plan_arithmetic.h"
#include "tool/report/json.h"

std::string samples_count(int64_t n) { return fmt::format("{} sample{}", n, n == 1 ? "" : "s"); }

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
                       "stretch: samples {} to {} ({:.3f} s to {:.3f} s), fade-in {}, "
                       "tail cross-fade {}\n",
                       g.centre_hz, g.centre, g.n, g.low_hz, g.high_hz, first, first + g.length - 1,
                       double(first) / rate, double(first + g.length) / rate, samples_count(g.fade),
                       samples_count(g.quarter));
}

std::string no_tone_text(const Measurement& m)
{
    return m.named_hz > 0
               ? fmt::format("no tone to measure: no steady tone sounds near {:.2f} Hz in the input", m.named_hz)
               : "no tone to measure: no steady tone found in the input";
}

std::string measurement_text(const Measurement& m, int32_t rate)
{
    std::string text = fmt::format(
        "measured over samples {} to {} ({:.3f} s to {:.3f} s): the stretch without its fade-in and tail\n",
        m.middle_first, m.middle_first + m.middle_count - 1, double(m.middle_first) / rate,
        double(m.middle_first + m.middle_count) / rate);
    text += fmt::format("notch centre {:.1f} Hz (band {:.1f} to {:.1f} Hz): {}\n", m.centre_hz, m.low_hz, m.high_hz,
                        m.centre_silent ? std::string("nothing sounds there in the input, so nothing to cut")
                                        : fmt::format("cut by {:.1f} dB", m.centre_attenuation_db));
    if (m.tone.found)
        text += fmt::format("tone {:.2f} Hz: cut by {:.1f} dB where it sounds, {:.3f} s to {:.3f} s\n", m.tone.hz,
                            m.tone_attenuation_db, double(m.tone_first) / rate, double(m.tone_end) / rate);
    else text += no_tone_text(m) + "\n";
    text += fmt::format("outside the notch band: level changed by {:+.2f} dB ({:.1f} dBFS before, {:.1f} after)\n",
                        m.outside_change_db, m.outside_in_dbfs, m.outside_out_dbfs);
    text += fmt::format("level changes: below the notch band {:+.2f} dB, above it {:+.2f} dB, "
                        "speech's {:g} to {:g} Hz band {:+.2f} dB\n",
                        m.below_change_db, m.above_change_db, kSpeechLowHz, kSpeechHighHz, m.speech_change_db);
    if (m.wide_band)
        text += "warning: " + wide_band_text(m.low_hz, m.high_hz) +
                "; a larger --fft-order or a smaller --width narrows it\n";
    text += fmt::format("output over the stretch: peak {}, {} at the 16-bit limits (input {})\n",
                        std::isfinite(m.peak_dbfs) ? fmt::format("{:.1f} dBFS", m.peak_dbfs)
                                                   : std::string("none (every sample 0)"),
                        samples_count(m.clipped), m.clipped_input);
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
        "  \"tone\": {},\n  \"no_tone\": {},\n  \"outside_change_db\": {},\n  \"below_change_db\": {}, "
        "\"above_change_db\": {}, \"speech_change_db\": {}, \"wide_band\": {},\n  \"outside_in_dbfs\": {}, "
        "\"outside_out_dbfs\": {},\n  \"peak_dbfs\": {},\n"
        "  \"clipped_samples\": {},\n  \"clipped_input_samples\": {},\n"
        "  \"jump_start\": {}, \"jump_end\": {}, \"input_jump_start\": {}, \"input_jump_end\": {}\n}}\n",
        sliders, s.use_window ? "true" : "false", rate, m.stretch_first, m.stretch_count, m.middle_first,
        m.middle_count, json_number(m.centre_hz), json_number(m.low_hz), json_number(m.high_hz),
        json_number(m.centre_attenuation_db), tone, m.tone.found ? "null" : json_string(no_tone_text(m)),
        json_number(m.outside_change_db), json_number(m.below_change_db), json_number(m.above_change_db),
        json_number(m.speech_change_db), m.wide_band ? "true" : "false", json_number(m.outside_in_dbfs),
        json_number(m.outside_out_dbfs), json_number(m.peak_dbfs), m.clipped, m.clipped_input,
        json_number(m.jump_start), json_number(m.jump_end), json_number(m.input_jump_start),
        json_number(m.input_jump_end));
}

namespace {

std::string when(int64_t sample, int32_t rate, int32_t num, int32_t den)
{
    return fmt::format("{:.3f} s (video frame {})", double(sample) / rate, video_frame_of(sample, rate, num, den));
}

std::string note_name(double hz)
{
    static const char* const kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    const int32_t midi = int32_t(std::lround(69 + 12 * std::log2(hz / 440.0)));
    return fmt::format("{}{}", kNames[((midi % 12) + 12) % 12], midi / 12 - 1);
}

} // namespace

int64_t video_frame_of(int64_t sample, int32_t rate, int32_t num, int32_t den)
{
    return plan_frame_of(sample, rate, num, den);
}

bool reaches_speech_band(double low_hz, double high_hz)
{
    return high_hz >= kSpeechLowHz && low_hz <= kSpeechHighHz;
}

// Harmonics of a family the text names one by one; the rest it counts.
constexpr size_t kHarmonicsNamed = 16;

std::string detection_text(const Detection& d, int32_t rate, int32_t num, int32_t den)
{
    if (d.tones.empty())
        return fmt::format("no steady tone (nothing holds its frequency and level clear of the sound around it; "
                           "analysis bins {:.2f} Hz)\n",
                           d.resolution_hz);
    std::string text;
    for (size_t i = 0; i < d.tones.size(); ++i) {
        const Tone& t = d.tones[i];
        text += fmt::format("tone {}: {:.2f} Hz at {:.1f} dBFS, {:.1f} dB above the local floor; drift {:.2f} Hz, "
                            "level varies {:.1f} dB (analysis bins {:.2f} Hz)\n",
                            i + 1, t.hz, t.level_dbfs, t.above_floor_db, t.drift_hz, t.level_range_db,
                            t.resolution_hz);
        text += fmt::format("        from {}{} to {}{}\n", when(t.first, rate, num, den),
                            t.from_region_start ? " (already sounding there)" : "", when(t.end, rate, num, den),
                            t.to_region_end ? " (still sounding there)" : "");
        if (t.harmonics.empty()) continue;
        // A buzz's series can run to the top of the band: its first harmonics are named,
        // the rest counted.
        const size_t named = std::min(t.harmonics.size(), kHarmonicsNamed);
        text += fmt::format("        a hum: fundamental {:.2f} Hz with harmonics", t.hz);
        for (size_t k = 0; k < named; ++k) {
            const Harmonic& h = t.harmonics[k];
            text += fmt::format(" {}x {:.1f} Hz ({:.1f} dBFS, {:+.1f} dB)", h.order, h.hz, h.level_dbfs, h.relative_db);
        }
        if (named < t.harmonics.size())
            text += fmt::format(" and {} more up to {}x {:.1f} Hz", t.harmonics.size() - named,
                                t.harmonics.back().order, t.harmonics.back().hz);
        text += fmt::format("\n        removing it takes {} notches: one notch removes one harmonic\n", notches_for(t));
    }
    return text;
}

std::string clipping_text(bool clips, int32_t left_out)
{
    if (!clips) return "";
    std::string text = "note: the input goes over full scale, and its conversion to the plug-in's 16 bits clips it";
    if (left_out > 0)
        text +=
            fmt::format(": the {} harmonic{} that clipping made {} this tool's, not the file's, and {} not listed",
                        left_out, left_out == 1 ? "" : "s", left_out == 1 ? "is" : "are", left_out == 1 ? "is" : "are");
    return text + "\n";
}

std::string wide_band_text(double low_hz, double high_hz)
{
    return fmt::format("the notch band ({}) is wider than 1/{:g} octave, so it removes program material along "
                       "with the tone",
                       band_text(low_hz, high_hz), 1 / kWideBandOctaves);
}

std::string band_text(double low_hz, double high_hz)
{
    std::string text = fmt::format("{:.1f} to {:.1f} Hz, {:.1f} Hz wide", low_hz, high_hz, high_hz - low_hz);
    if (low_hz > 0) {
        const double octaves = std::log2(high_hz / low_hz);
        text += octaves >= 1 ? fmt::format(", {:.1f} octaves", octaves) : fmt::format(", 1/{:.0f} octave", 1 / octaves);
        text += fmt::format(", notes {} to {}", note_name(low_hz), note_name(high_hz));
    } else {
        text += ", reaching down to 0 Hz";
    }
    if (band_reaches_speech(low_hz, high_hz))
        text += fmt::format(", inside speech's {:g} to {:g} Hz band", kSpeechLowHz, kSpeechHighHz);
    return text;
}

std::string path_word(const std::string& path)
{
    return shell_word(path.size() > 1 && path[0] == '-' ? "./" + path : path);
}

std::string shell_word(const std::string& word)
{
    static const char* const kPlain = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-+=.,:/@%";
    if (!word.empty() && word.find_first_not_of(kPlain) == std::string::npos) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

namespace {

// Where the "-notch" or "-notch-N" a pass added ends `stem`'s name part (from `name`
// on), with the number of that pass (1 for "-notch"); npos when none does.
size_t pass_suffix(const std::string& stem, size_t name, int* pass)
{
    const std::string mark = "-notch";
    const size_t at = stem.rfind(mark);
    if (at == std::string::npos || at < name) return std::string::npos;
    const std::string rest = stem.substr(at + mark.size());
    if (rest.empty()) {
        *pass = 1;
        return at;
    }
    if (rest.size() < 2 || rest.size() > 4 || rest[0] != '-' || rest[1] == '0' ||
        rest.find_first_not_of("0123456789", 1) != std::string::npos)
        return std::string::npos;
    *pass = std::stoi(rest.substr(1));
    return at;
}

}  // namespace

std::string notched_name(const std::string& in)
{
    if (in == "-") return "notch.wav";
    const size_t slash = in.find_last_of('/');
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = in.find_last_of('.');
    const bool has_extension = dot != std::string::npos && dot > name;
    std::string stem = has_extension ? in.substr(0, dot) : in;
    const std::string extension = has_extension ? in.substr(dot) : ".wav";
    // A pass on a pass's result is named as the next pass, so that passes made one after
    // another each keep their own file.
    int pass = 0;
    const size_t suffix_at = pass_suffix(stem, name, &pass);
    // Standard input's passes are named notch.wav, then notch-2.wav, notch-3.wav, ...
    if (suffix_at == std::string::npos) {
        const std::string base = stem.substr(name);
        if (base == "notch") return stem + "-2" + extension;
        if (base.size() > 6 && base.size() < 10 && base.compare(0, 6, "notch-") == 0 && base[6] != '0' &&
            base.find_first_not_of("0123456789", 6) == std::string::npos)
            return stem.substr(0, name) + "notch-" + std::to_string(std::stoi(base.substr(6)) + 1) + extension;
    }
    if (suffix_at != std::string::npos) stem.erase(suffix_at);
    const std::string suffix = pass == 0 ? "-notch" : "-notch-" + std::to_string(pass + 1);
    // A name at the folder's limit is shortened before the suffix, never inside a
    // character, so the suggested name can be made.
    const size_t room = NAME_MAX - std::min<size_t>(NAME_MAX, suffix.size() + extension.size());
    if (stem.size() - name > room) {
        size_t keep = name + room;
        while (keep > name && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
        stem.erase(keep);
    }
    return stem + suffix + extension;
}

// A span of sample frames in seconds and the video frames that hold it.
static std::string span_text(int64_t first, int64_t end, int32_t rate, const Placement& p, bool open_end)
{
    return fmt::format("from {:.3f} s to {}{:.3f} s (video frames {} to {})", double(first) / rate,
                       open_end ? "at least " : "", double(end) / rate,
                       video_frame_of(first, rate, p.video_rate_num, p.video_rate_den),
                       video_frame_of(std::max(first, end - 1), rate, p.video_rate_num, p.video_rate_den));
}

std::vector<std::string> fit_warnings(const Fit& fit, const Tone& tone, int32_t rate, const CutCheck* check,
                                      const PassPlan* plan)
{
    std::vector<std::string> warnings;
    const CutCheck* last = plan ? &plan->checks.back() : check;
    if (plan && plan->passes.size() > 1) {
        std::string after;
        if (plan->goes_on)
            after =
                fmt::format("; after them it still sounds {}{}",
                            span_text(last->left_first, last->left_end, rate, fit.placement, last->left_to_look_end),
                            !last->has_next ? std::string(", where no further selection fits before the file's end")
                            : plan->passes.size() >= size_t(kMostPasses)
                                ? fmt::format(", past the {} passes planned", kMostPasses)
                                : std::string(", past the audio this plan looks at"));
        warnings.push_back(fmt::format("the tone outlasts one stretch: these settings are the first of {} passes, "
                                       "each applied to the result of the one before (the plan below){}",
                                       plan->passes.size(), after));
    } else if (last && last->goes_on) {
        warnings.push_back(
            fmt::format("the tone goes on past what the stretch cut: it still sounds {}{}; no second "
                        "selection fits before the file's end",
                        span_text(last->left_first, last->left_end, rate, fit.placement, last->left_to_look_end),
                        last->left_to_look_end ? ", where the check stopped looking" : ""));
    } else if (fit.too_long) {
        warnings.push_back(fmt::format("the tone lasts {:.2f} s, to {:.3f} s, past what one stretch of at most {} s "
                                       "cuts in full: the stretch starts at {:.3f} s{}, and its tail's "
                                       "cross-fade back to the source begins at {:.3f} s; process what remains after "
                                       "{:.3f} s as a second selection",
                                       double(tone.end - tone.first) / rate, double(tone.end) / rate,
                                       fit.settings.slider[kSeconds], double(fit.stretch_first) / rate,
                                       fit.stretch_first < tone.first ? ", ahead of the tone" : "",
                                       double(fit.cut_end) / rate, double(fit.cut_end) / rate));
    }
    if (fit.starts_too_early)
        warnings.push_back(fmt::format("the tone starts at {:.3f} s, less than one FFT block ({} samples) after the "
                                       "earliest start; the stretch's start may click{}",
                                       double(tone.first) / rate, fit.notch.n,
                                       fit.fade_may_silence ? ", so the fade was chosen to soften it" : ""));
    const bool weak = plan ? plan->weak : check && check->weak;
    if (weak) {
        const int64_t first = plan ? plan->extent_first : check->extent_first;
        const int64_t end = plan ? plan->extent_end : check->extent_end;
        warnings.push_back(fmt::format("over the tone's whole extent, {:.3f} s to {:.3f} s, {} cut it by only {:.1f} "
                                       "dB, less than {:g} dB: it will still be heard",
                                       double(first) / rate, double(end) / rate,
                                       plan && plan->passes.size() > 1 ? "the passes together" : "these settings",
                                       plan ? plan->cut_db : check->cut_db, kWeakCutDb));
    }
    // The fit takes the narrowest band that covers the tone as it drifts over a stretch
    // that holds it; a low tone's may still be wide, and take its neighbours along.
    if (band_too_wide(fit.notch.low_hz, fit.notch.high_hz))
        warnings.push_back(wide_band_text(fit.notch.low_hz, fit.notch.high_hz));
    return warnings;
}

std::string program_text(const ProgramChange& c)
{
    std::string text = fmt::format("the program outside the notch band changed by {:+.2f} dB over the stretch ({:+.2f} "
                                   "dB over the tenth of a second it changed most)",
                                   c.change_db, c.dip_db);
    if (std::isfinite(c.added_db))
        text +=
            fmt::format("; the program did not get louder: the notch takes what its band holds, the tone above all, "
                        "block by block, and a trace of it {:.1f} dB under it spreads outside the band",
                        -c.added_db);
    return text;
}

std::string plan_text(const PassPlan& plan, int32_t rate, const std::string& in)
{
    std::string text = fmt::format("  plan: {} passes, each applied to the result of the one before; after each, "
                                   "write the processed audio out from the selection's first video frame and load the "
                                   "written file back in its place, then make the next selection\n",
                                   plan.passes.size());
    std::string input = in;
    for (size_t i = 0; i < plan.passes.size(); ++i) {
        const Fit& p = plan.passes[i];
        const Settings& s = p.settings;
        text +=
            fmt::format("    pass {}: select from video frame {} ({:.3f} s); frequency {}, seconds {}, FFT order {}, "
                        "width {}, fade {}, window {}; stretch {:.3f} s to {:.3f} s; {}\n",
                        i + 1, p.placement.start_frame, double(p.stretch_first) / rate, s.slider[kFrequency],
                        s.slider[kSeconds], s.slider[kFftOrder], s.slider[kWidth], s.slider[kFade],
                        s.use_window ? "on" : "off", double(p.stretch_first) / rate,
                        double(p.stretch_first + p.notch.length) / rate, program_text(plan.program[i]));
        text += "      " + render_line(p, input) + "\n";
        input = notched_name(input);
    }
    text +=
        fmt::format("  the passes together: the tone cut by {:.1f} dB over its whole extent, {:.3f} s to {:.3f} s\n",
                    plan.cut_db, double(plan.extent_first) / rate, double(plan.extent_end) / rate);
    return text;
}

std::string check_text(const CutCheck& check, int32_t rate)
{
    return fmt::format("rendered once more and looked at from {:.3f} s to {:.3f} s: the tone cut by {:.1f} dB over "
                       "its whole extent, {:.3f} s to {:.3f} s, counting all that is left of it, the clicks of its "
                       "switching on and off too",
                       double(check.look_first) / rate, double(check.look_end) / rate, check.cut_db,
                       double(check.extent_first) / rate, double(check.extent_end) / rate);
}

std::string render_line(const Fit& fit, const std::string& in)
{
    const Placement& p = fit.placement;
    return fmt::format("tulm render {} {} --start-frame {} --fps {}/{} {}", path_word(in), path_word(notched_name(in)),
                       p.start_frame, p.video_rate_num, p.video_rate_den, settings_line(fit.settings));
}

std::string fit_text(const Fit& fit, const Tone& tone, int32_t rate, const std::string& in, const CutCheck* check,
                     const PassPlan* plan)
{
    const Settings& s = fit.settings;
    const Placement& p = fit.placement;
    std::string text = fmt::format("\nsettings for the tone at {:.2f} Hz:\n", tone.hz);
    text += "  " + render_line(fit, in) + "\n";
    text += fmt::format("  in the host: select from video frame {} ({:.3f} s); frequency {}, seconds {}, FFT order {}, "
                        "width {}, fade {}, window {}\n",
                        p.start_frame, double(fit.stretch_first) / rate, s.slider[kFrequency], s.slider[kSeconds],
                        s.slider[kFftOrder], s.slider[kWidth], s.slider[kFade], s.use_window ? "on" : "off");
    text += fmt::format("  notch: centre {:.1f} Hz ({:+.1f} Hz from the tone), band {}\n", fit.notch.centre_hz,
                        fit.notch.centre_hz - tone.hz, band_text(fit.notch.low_hz, fit.notch.high_hz));
    text += fmt::format("  stretch: {:.3f} s to {:.3f} s, full cut until {:.3f} s; the tone {:.3f} s to {:.3f} s\n",
                        double(fit.stretch_first) / rate, double(fit.stretch_first + fit.notch.length) / rate,
                        double(fit.cut_end) / rate, double(tone.first) / rate, double(tone.end) / rate);
    text += "  rendered and measured:";
    for (const FitTrial& t : fit.trials)
        text += fmt::format(" [fade {} window {}: step {:.4f}{}]", t.fade, t.use_window ? "on" : "off", t.step_start,
                            t.fade == 0 ? fmt::format(", cut {:.1f} dB", t.cut_db) : "");
    text += fmt::format("\n  chosen: fade {} and window {}: step at the start {:.4f} against the input's own {:.4f}, "
                        "tone cut by {:.1f} dB at its own frequency in the stretch\n",
                        fit.chosen.fade, fit.chosen.use_window ? "on" : "off", fit.chosen.step_start,
                        fit.input_step_start, fit.chosen.cut_db);
    if (check) text += "  self-check: " + check_text(*check, rate) + "\n";
    if (plan && plan->passes.size() == 1) text += "  " + program_text(plan->program.front()) + "\n";
    for (const std::string& w : fit_warnings(fit, tone, rate, check, plan)) text += "  warning: " + w + "\n";
    if (plan && plan->passes.size() > 1) text += plan_text(*plan, rate, in);
    if (!tone.harmonics.empty()) {
        text += "  a hum: one notch removes one harmonic. These settings take the fundamental; still there:";
        for (const Harmonic& h : tone.harmonics)
            text += fmt::format(" {:.1f} Hz ({:.1f} dBFS)", h.hz, h.level_dbfs);
        text += fmt::format(". Process those one at a time with --hz, each on the last pass's result: next, "
                            "tulm detect {} --hz {:.1f}\n",
                            path_word(notched_name(in)), tone.harmonics.front().hz);
    }
    return text;
}
