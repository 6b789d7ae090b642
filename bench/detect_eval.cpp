// How far the tool's tone detection and its suggested settings can be trusted on real
// recordings: spoken words and short pieces of music that Debian packages ship, with
// steady tones and hums mixed in at several frequencies, levels and places, and the
// same clips with no tone at all. Run by hand:
//   detect_eval [--plugin PATH] [--verbose] [--detect-only] [--only TEXT]
// (default: the module built beside the tool; --detect-only skips fitting and the cut;
// --only runs the cases whose line holds TEXT, and the tone-free clip named TEXT)
// It prints the share of clips whose strongest reported tone lies within one analysis
// bin of the truth, whose extent lies within two video frames of the truth at both
// ends, of tone-free clips reported as holding no steady tone (whole, and 3 s at a
// time from every half second, as a user looks at part of a file), and the cut that the
// suggested settings achieve on the mixed-in tone. The cut is measured here, not by
// `measure`: the clip is rendered with and without its tone and the difference of the
// two outputs is what is left of the tone.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tool/analysis/detect.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/tool_error.h"
#include "tool/commands/error_words.h"
#include "tool/io/audio_file.h"
#include "tool/report/report.h"
#include "tool/session/cut_check.h"
#include "tool/session/fit.h"
#include "tool/session/plugin_session.h"

namespace {

constexpr int32_t kFps = 30;

const char* const kSpeech[] = {  // alsa-utils
    "/usr/share/sounds/alsa/Front_Center.wav", "/usr/share/sounds/alsa/Front_Left.wav",
    "/usr/share/sounds/alsa/Front_Right.wav",  "/usr/share/sounds/alsa/Rear_Center.wav",
    "/usr/share/sounds/alsa/Rear_Left.wav",    "/usr/share/sounds/alsa/Rear_Right.wav",
    "/usr/share/sounds/alsa/Side_Left.wav",    "/usr/share/sounds/alsa/Side_Right.wav"};
const char* const kMusic[] = {  // gnome-audio, oxygen-sounds
    "/usr/share/sounds/startup3.wav",
    "/usr/share/sounds/logout.wav",
    "/usr/share/sounds/Oxygen-Sys-Log-In.ogg",
    "/usr/share/sounds/Oxygen-Sys-Log-In-Short.ogg",
    "/usr/share/sounds/Oxygen-Sys-Log-Out-Long.ogg",
    "/usr/share/sounds/Oxygen-Im-Phone-Ring.ogg",
    "/usr/share/sounds/Oxygen-K3B-Finish-Success.ogg",
    "/usr/share/sounds/Oxygen-Sys-App-Positive.ogg"};
constexpr double kLongestClipSeconds = 6.0;
constexpr double kRegionSeconds = 3.0, kRegionStep = 0.5;  // the plug-in's longest stretch

struct Clip {
    std::string name;
    Audio audio;
};

struct ToneSpec {
    double hz;
    int32_t harmonics;  // 1: a pure tone; more: a hum with that many partials
};
constexpr ToneSpec kTones[] = {{50, 4}, {60, 5}, {120, 1}, {440, 1}, {1000, 1}, {2500, 1},
                               {5000, 1}, {8000, 1}, {11000, 1}, {16000, 1}};
constexpr double kLevels[] = {-20, -35, -50};
// Where the tone sounds, in shares of the clip; 0 to 1 is the whole clip.
constexpr double kPlaces[][2] = {{0.18, 0.62}, {0.35, 0.93}, {0.0, 1.0}};

// Speech: four of the spoken words in a row, a short pause after each.
Clip speech_clip(const std::vector<Audio>& words, size_t first)
{
    Clip c;
    c.name = "speech" + std::to_string(first);
    c.audio.rate = words[0].rate;
    c.audio.channels = words[0].channels;
    for (size_t i = 0; i < 4; ++i) {
        const Audio& w = words[(first + i) % words.size()];
        c.audio.samples.insert(c.audio.samples.end(), w.samples.begin(), w.samples.end());
        c.audio.samples.insert(c.audio.samples.end(), size_t(0.15 * w.rate) * w.channels, 0);
    }
    return c;
}

Audio add_tone(const Audio& program, const ToneSpec& t, double level_dbfs, int64_t first, int64_t end)
{
    Audio a = program;
    const double amplitude = std::pow(10.0, level_dbfs / 20);
    const double edge = 0.005 * a.rate;  // raised-cosine switching, as a real beep has
    for (int64_t s = first; s < end; ++s) {
        double gate = 1;
        if (first > 0 && s - first < edge) gate = 0.5 - 0.5 * std::cos(M_PI * (s - first) / edge);
        if (end < a.frames() && end - s < edge) gate = 0.5 - 0.5 * std::cos(M_PI * (end - s) / edge);
        double v = 0;
        for (int32_t h = 1; h <= t.harmonics; ++h)
            v += std::pow(0.5, h - 1) * std::sin(2 * M_PI * h * t.hz * s / a.rate + 0.3 * h);
        for (int32_t k = 0; k < a.channels; ++k) {
            int16_t& x = a.samples[size_t(s * a.channels + k)];
            x = int16_t(std::clamp<double>(std::lrint(x + 32767 * amplitude * gate * v), -32768, 32767));
        }
    }
    return a;
}

// What is left of the tone after rendering: the two renderings' difference against
// the tone itself, over the part of its extent the stretch cuts fully.
// `trim` frames are left out at each end: a tone switched on or off spreads part of its
// energy over a band wider than any narrow notch, so the cut over the whole extent and
// over its steady part are both reported.
struct Cut {
    double whole_db, steady_db;
    double extent_db;  // over the tone's whole true extent, the part outside the stretch included
};
Cut cut_db(FilterTable& table, const Audio& program, const Audio& mixed, const Fit& fit, int64_t first, int64_t end,
           int64_t trim)
{
    const Audio a = run_plugin(table, program, fit.settings, fit.placement, false);
    const Audio b = run_plugin(table, mixed, fit.settings, fit.placement, false);
    const int64_t from = std::max(first, fit.stretch_first), to = std::min(end, fit.cut_end);
    return Cut{tone_cut_db(mixed, program, b, a, from, to),
               tone_cut_db(mixed, program, b, a, std::max(first + trim, fit.stretch_first),
                           std::min(end - trim, fit.cut_end)),
               tone_cut_db(mixed, program, b, a, first, end)};
}

std::vector<Clip> load_clips()
{
    std::vector<Clip> clips;
    std::vector<Audio> words;
    for (const char* path : kSpeech) {
        try {
            words.push_back(read_audio(path));
        } catch (const ToolError& e) {
            fmt::print(stderr, "skipped: {}\n", e.what());
        }
    }
    if (!words.empty())
        for (size_t i = 0; i < words.size(); i += 2) clips.push_back(speech_clip(words, i));
    for (const char* path : kMusic) {
        try {
            Clip c;
            c.audio = read_audio(path);
            c.name = std::strrchr(path, '/') + 1;
            c.audio.samples.resize(std::min(c.audio.samples.size(),
                                            size_t(kLongestClipSeconds * c.audio.rate) * c.audio.channels));
            if (c.audio.frames() >= 2 * c.audio.rate) clips.push_back(c);
            else fmt::print(stderr, "skipped: {} lasts under 2 s\n", path);
        } catch (const ToolError& e) {
            fmt::print(stderr, "skipped: {}\n", e.what());
        }
    }
    return clips;
}

double median(std::vector<double> v)
{
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    std::string plugin;
    bool verbose = false, detect_only = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--plugin" && i + 1 < argc) plugin = argv[++i];
        else if (std::string(argv[i]) == "--verbose") verbose = true;
        else if (std::string(argv[i]) == "--detect-only") detect_only = true;
        else if (std::string(argv[i]) == "--only" && i + 1 < argc) only = argv[++i];
    }
    try {
        PluginSession session(plugin.empty() ? TULM_MODULE : plugin);
        const std::vector<Clip> clips = load_clips();
        if (clips.empty()) {
            fmt::print(stderr, "no recordings found: install alsa-utils, gnome-audio and oxygen-sounds\n");
            return 1;
        }
        int tone_clips = 0, found = 0, extent_ok = 0, clean = 0, quiet_clips = 0, covered = 0;
        int quiet_regions = 0, clean_regions = 0;
        std::vector<double> cuts, steady_cuts, checked_cuts, extent_cuts, check_errors;
        int said_goes_on = 0, goes_on_truly = 0, truly_goes_on = 0, said_weak = 0, truly_weak = 0;
        std::vector<std::string> misses;
        // The detector's tuned values, one place to sweep them from.
        const DetectParams params;
        for (size_t ci = 0; ci < clips.size(); ++ci) {
            const Audio& program = clips[ci].audio;
            const int64_t frames = program.frames();
            const double frame_samples = double(program.rate) / kFps;

            const bool tone_free = only.empty() || only == clips[ci].name;
            const Detection none = tone_free ? detect_tones(program, 0, frames, params) : Detection();
            quiet_clips += tone_free;
            if (none.tones.empty()) clean += tone_free;
            else
                misses.push_back(fmt::format("{} (no tone mixed in): reported {:.1f} Hz at {:.1f} dBFS, {:.1f} dB up, "
                                             "drift {:.2f} bin, level range {:.1f} dB, {:.2f} s to {:.2f} s",
                                             clips[ci].name, none.tones[0].hz, none.tones[0].level_dbfs,
                                             none.tones[0].above_floor_db, none.tones[0].drift_hz / none.resolution_hz,
                                             none.tones[0].level_range_db, double(none.tones[0].first) / program.rate,
                                             double(none.tones[0].end) / program.rate));
            // A user rarely gives a whole clip: the same clip, looked at a few seconds at
            // a time from wherever the region starts.
            const int64_t region = int64_t(kRegionSeconds * program.rate);
            for (int64_t at = 0; tone_free && at + region <= frames; at += int64_t(kRegionStep * program.rate)) {
                const Detection d = detect_tones(program, at, region, params);
                ++quiet_regions;
                clean_regions += d.tones.empty();
                if (!d.tones.empty() && verbose)
                    fmt::print("  {} (no tone mixed in) from {:.2f} s for {:g} s: reported {:.1f} Hz, {:.2f} s to {:.2f} s\n",
                               clips[ci].name, double(at) / program.rate, kRegionSeconds, d.tones[0].hz,
                               double(d.tones[0].first) / program.rate, double(d.tones[0].end) / program.rate);
            }

            for (size_t ti = 0; ti < std::size(kTones); ++ti)
                for (int variant = 0; variant < 2; ++variant) {
                    const ToneSpec& spec = kTones[ti];
                    if (spec.hz * spec.harmonics >= program.rate / 2.0 * 0.95) continue;
                    const double level = kLevels[(ci + ti + variant) % std::size(kLevels)];
                    const double* place = kPlaces[(ci + 2 * ti + variant) % std::size(kPlaces)];
                    const int64_t first = int64_t(place[0] * frames), end = int64_t(place[1] * frames);
                    const std::string what = fmt::format("{} + {:g} Hz{} at {:g} dBFS, {:.2f} s to {:.2f} s",
                                                         clips[ci].name, spec.hz, spec.harmonics > 1 ? " hum" : "",
                                                         level, double(first) / program.rate,
                                                         double(end) / program.rate);
                    if (what.find(only) == std::string::npos) continue;
                    const Audio mixed = add_tone(program, spec, level, first, end);
                    const Detection d = detect_tones(mixed, 0, frames, params);
                    ++tone_clips;
                    if (d.tones.empty()) {
                        misses.push_back(what + ": no steady tone reported");
                        continue;
                    }
                    const Tone& t = d.tones[0];
                    if (std::fabs(t.hz - spec.hz) > d.resolution_hz && verbose)
                        for (const Tone& u : d.tones)
                            fmt::print("  {}: {:.2f} Hz {:.1f} dBFS up {:.1f} from {:.3f} to {:.3f} with {} harmonics\n",
                                       what, u.hz, u.level_dbfs, u.above_floor_db, double(u.first) / program.rate,
                                       double(u.end) / program.rate, u.harmonics.size());
                    if (std::fabs(t.hz - spec.hz) > d.resolution_hz) {
                        misses.push_back(fmt::format("{}: strongest reported {:.1f} Hz at {:.1f} dBFS", what, t.hz,
                                                     t.level_dbfs));
                        continue;
                    }
                    ++found;
                    const bool ends_ok = std::fabs(double(t.first - first)) <= 2 * frame_samples &&
                                         std::fabs(double(t.end - end)) <= 2 * frame_samples;
                    if (ends_ok) ++extent_ok;
                    else
                        misses.push_back(fmt::format("{}: extent {:.3f} s to {:.3f} s", what,
                                                     double(t.first) / program.rate, double(t.end) / program.rate));
                    if (detect_only) continue;
                    Fit fit;
                    try {
                        fit = fit_settings(session.table(), mixed, mixed.frames(), t, kFps, 1);
                    } catch (const ToolError& e) {
                        misses.push_back(fmt::format("{}: no settings ({}), tone {:.3f} to {:.3f} s", what,
                                                     error_sentence(e), double(t.first) / program.rate,
                                                     double(t.end) / program.rate));
                        continue;
                    }
                    // A hum's settings take its fundamental only (the tool says which
                    // harmonics remain), so the cut is that of the fundamental.
                    const Audio target = add_tone(program, ToneSpec{spec.hz, 1}, level, first, end);
                    const Cut c = cut_db(session.table(), program, target, fit, first, end,
                                         int64_t(2 * frame_samples));
                    const double cut = c.whole_db;
                    cuts.push_back(cut);
                    steady_cuts.push_back(c.steady_db);
                    covered += !fit.too_long;
                    // The tool's check of its own cut, against the renderings over the
                    // tone's true extent; the tone truly goes on past the stretch when it
                    // sounds a tenth of a second past the full cut.
                    const CutCheck k = check_cut(session.table(), mixed, mixed.frames(), t, fit);
                    const bool goes_on = end - fit.cut_end > program.rate / 10;
                    checked_cuts.push_back(k.cut_db);
                    extent_cuts.push_back(c.extent_db);
                    check_errors.push_back(std::fabs(k.cut_db - c.extent_db));
                    said_goes_on += k.goes_on;
                    goes_on_truly += k.goes_on && goes_on;
                    truly_goes_on += goes_on;
                    said_weak += k.weak;
                    truly_weak += c.extent_db < kWeakCutDb;
                    if (k.goes_on != goes_on)
                        misses.push_back(fmt::format("{}: the check says the tone {} past the stretch (full cut until "
                                                     "{:.3f} s, still sounds {:.3f} s to {:.3f} s)",
                                                     what, k.goes_on ? "goes on" : "does not go on",
                                                     double(fit.cut_end) / program.rate,
                                                     double(k.left_first) / program.rate,
                                                     double(k.left_end) / program.rate));
                    if (verbose)
                        fmt::print("{}: found {:.2f} Hz (drift {:.2f} bin, level range {:.1f} dB, up {:.1f} dB), {:.3f} to {:.3f} s; order {} width {} fade {} window {}; "
                                   "cut {:.1f} dB (trial {:.1f}); {} from {}; check: {:.1f} dB over {:.3f} to {:.3f} s "
                                   "(true {:.1f} dB){}\n",
                                   what, t.hz, t.drift_hz / t.resolution_hz, t.level_range_db, t.above_floor_db, double(t.first) / program.rate, double(t.end) / program.rate,
                                   fit.settings.slider[kFftOrder], fit.settings.slider[kWidth],
                                   fit.settings.slider[kFade], fit.settings.use_window, cut, fit.chosen.cut_db,
                                   settings_line(fit.settings), fit.stretch_first, k.cut_db,
                                   double(k.extent_first) / program.rate, double(k.extent_end) / program.rate,
                                   c.extent_db,
                                   k.goes_on ? fmt::format(", goes on {:.3f} to {:.3f} s", double(k.left_first) / program.rate,
                                                           double(k.left_end) / program.rate)
                                             : "");
                }
        }
        const auto share = [](int a, int b) { return b ? 100.0 * a / b : 0.0; };
        fmt::print("\n{} clips from recordings; {} with a tone mixed in, {} without\n", clips.size(), tone_clips,
                   quiet_clips);
        fmt::print("| measure | result | target |\n|---|---|---|\n");
        fmt::print("| tones found (strongest within one bin) | {:.1f} % ({}/{}) | >= 95 % |\n", share(found, tone_clips),
                   found, tone_clips);
        fmt::print("| extent within two frames, of tones found | {:.1f} % ({}/{}) | >= 90 % |\n",
                   share(extent_ok, found), extent_ok, found);
        fmt::print("| tone-free clips reported clean | {:.1f} % ({}/{}) | >= 95 % |\n", share(clean, quiet_clips),
                   clean, quiet_clips);
        fmt::print("| the same clips in {:g} s regions from every {:g} s, reported clean | {:.1f} % ({}/{}) | |\n",
                   kRegionSeconds, kRegionStep, share(clean_regions, quiet_regions), clean_regions, quiet_regions);
        fmt::print("| median cut with the suggested settings | {:.1f} dB (over {} tones; {} fit one stretch) | >= 40 dB |\n",
                   median(cuts), cuts.size(), covered);
        fmt::print("| the same over the tone's steady part (two frames in from each end) | {:.1f} dB | |\n",
                   median(steady_cuts));
        fmt::print("| the check: tones it says go on past the stretch | {} ({} of them truly do; {} truly do) | |\n",
                   said_goes_on, goes_on_truly, truly_goes_on);
        fmt::print("| median cut over the whole extent, as the check reports it | {:.1f} dB | |\n", median(checked_cuts));
        fmt::print("| the same, from the renderings over the true extent | {:.1f} dB | |\n", median(extent_cuts));
        fmt::print("| median difference of the two | {:.1f} dB | |\n", median(check_errors));
        fmt::print("| reported under {:g} dB over the whole extent | {} (truly under: {}) | |\n", kWeakCutDb, said_weak,
                   truly_weak);
        if (!cuts.empty())
            fmt::print("cuts: lowest {:.1f} dB, highest {:.1f} dB\n", *std::min_element(cuts.begin(), cuts.end()),
                       *std::max_element(cuts.begin(), cuts.end()));
        fmt::print("\nmisses ({}):\n", misses.size());
        for (const std::string& m : misses) fmt::print("- {}\n", m);
    } catch (const ToolError& e) {
        fmt::print(stderr, "detect_eval: {}\n", e.what());
        return 1;
    }
    return 0;
}
