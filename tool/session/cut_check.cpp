#include "tool/session/cut_check.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tool/analysis/measure.h"
#include "tool/analysis/spectrum.h"
#include "tool/analysis/tool_error.h"
#include "tool/session/whole_cut.h"

namespace {

// The plug-in's result over the frames [first, end) of the audio the check was handed,
// read where it lies, through the waves kept by whoever checks the tone.
struct Rendered {
    const Audio* out = nullptr;
    int64_t first = 0, end = 0;
    ToneWaves* waves = nullptr;

    // Through `wave` where the block lies whole in the frames held; a block cut short by
    // their edge is read through a wave of its own length.
    double amplitude(const ToneWave& wave, int64_t from) const
    {
        const Audio& a = *out;
        const int64_t lo = std::max<int64_t>(from, first);
        const int64_t hi = std::min<int64_t>(from + wave.count, end);
        if (hi - lo < 2) return 0;
        if (hi - lo == wave.count) return tone_amplitude(wave, a.samples.data(), a.channels, lo);
        return tone_amplitude(tone_wave(a.rate, wave.hz, hi - lo, waves), a.samples.data(), a.channels, lo);
    }
};

// `after`, the audio with the pass applied, over the frames the check reads: from the
// stretch's start (or the tone's, when earlier) to `look_end` or as far as the plug-in
// reads, whichever is later.
Rendered render_checked(const Audio& audio, const Audio& after, int64_t file_frames, const Tone& tone, const Fit& fit,
                        int64_t look_end, ToneWaves* waves)
{
    Rendered r;
    r.waves = waves;
    r.first = std::min(fit.stretch_first, std::max<int64_t>(0, tone.first));
    const int64_t reads_until =
        plugin_reads_until(audio.rate, file_frames, fit.placement, fit.notch.length) - audio.first_frame;
    if (r.first < 0 || reads_until > audio.frames()) throw ToolError(ErrorCode::kCheckReadShort, {});
    r.end = std::max(look_end, reads_until);
    r.out = &after;
    return r;
}

// Where the tone sounds in the result at its own level (within 6 dB: half to twice its
// own amplitude, as the detector bounds a tone's extent where it crosses half), read
// through the detector's own block once a video frame. Louder readings are other sound
// over its bin; gaps up to kLeftBridgeSeconds are bridged. The first stretch that lasts
// kLeftShortest and whose median reading lies within kLeftHoldDb of the tone's own level
// is taken: speech or music passing through the bin reads at any level in between.
void find_left(const Rendered& r, const Tone& tone, const Fit& fit, int64_t file_end, CutCheck* c)
{
    const int32_t rate = r.out->rate;
    const int64_t block = analysis_length(rate);
    const int64_t hop = std::max<int64_t>(1, std::llround(double(rate) * fit.placement.video_rate_den /
                                                          fit.placement.video_rate_num));
    const double own = std::pow(10.0, tone.level_dbfs / 20);
    const ToneWave wave = tone_wave(rate, tone.hz, block, r.waves);
    const int64_t bridge = std::llround(kLeftBridgeSeconds * rate), shortest = std::llround(kLeftShortest * rate);
    int64_t run_first = -1, run_last = -1;
    std::vector<double> readings;
    const auto holds = [&] {
        if (run_first < 0 || run_last - run_first + hop < shortest) return false;
        std::nth_element(readings.begin(), readings.begin() + readings.size() / 2, readings.end());
        return std::fabs(20 * std::log10(readings[readings.size() / 2] / own)) <= kLeftHoldDb;
    };
    bool found = false;
    for (int64_t at = c->look_first; at < c->look_end && !found; at += hop) {
        const double a = r.amplitude(wave, at - block / 2);
        if (a < own / 2 || a > 2 * own) continue;
        if (run_first >= 0 && at - run_last > bridge) {
            found = holds();
            if (found) break;
            run_first = -1;
            readings.clear();
        }
        if (run_first < 0) run_first = at;
        run_last = at;
        readings.push_back(a);
    }
    if (!found && !holds()) return;
    c->goes_on = true;
    c->left_first = run_first;
    c->left_end = std::min(c->look_end, run_last + hop);
    // Sounding where the looking stopped tells nothing more when that is where the tone
    // was detected to end, or where the file ends.
    c->left_to_look_end = run_last + hop >= c->look_end && c->look_end < file_end &&
                          (c->look_end != tone.end || tone.to_region_end);
}

}  // namespace

bool window_holds(const Audio& audio, int64_t file_frames, const Fit& fit)
{
    return fit.stretch_first >= 0 &&
           plugin_reads_until(audio.rate, file_frames, fit.placement, fit.notch.length) - audio.first_frame <=
               audio.frames();
}

Audio pass_output(FilterTable& table, const Audio& audio, int64_t file_frames, const Fit& fit)
{
    if (!window_holds(audio, file_frames, fit)) throw ToolError(ErrorCode::kCheckReadShort, {});
    Audio after = audio;
    run_plugin_window(table, &after, file_frames, fit.notch.length, fit.settings, fit.placement, false, nullptr);
    return after;
}

CutCheck check_cut(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, const Fit& fit)
{
    return check_pass(table, audio, pass_output(table, audio, file_frames, fit), file_frames, tone, fit);
}

CutCheck check_pass(FilterTable& table, const Audio& audio, const Audio& after, int64_t file_frames, const Tone& tone,
                    const Fit& fit, bool read_cut, ToneWaves* waves)
{
    CutCheck c;
    const int64_t stretch_end = fit.stretch_first + fit.notch.length;
    c.look_first = fit.stretch_first;
    c.look_end = std::min<int64_t>(audio.frames(),
                                   std::max<int64_t>(stretch_end + std::llround(kCheckPastSeconds * audio.rate), tone.end));
    const Rendered r = render_checked(audio, after, file_frames, tone, fit, c.look_end, waves);
    find_left(r, tone, fit, file_frames - audio.first_frame, &c);
    c.extent_first = tone.first;
    c.extent_end = tone.end;
    if (c.goes_on) {
        c.extent_first = std::min(c.extent_first, c.left_first);
        c.extent_end = std::max(c.extent_end, c.left_end);
    }
    if (read_cut) {
        c.cut_db = whole_cut_db(table, audio, file_frames, {{fit.settings, fit.placement}},
                                copy_of(tone, c.extent_first, c.extent_end, fit.switch_frames));
        c.weak = c.cut_db < kWeakCutDb;
    }
    if (c.goes_on) {
        c.rest = tone;
        c.rest.first = c.left_first;
        // Still sounding where the looking stopped, it is taken to go on as far as the
        // audio reaches, so that the next selection is as long as one can be.
        c.rest.end = c.left_to_look_end ? audio.frames() : c.left_end;
        c.rest.from_region_start = false;
        c.rest.to_region_end = c.left_to_look_end;
        c.rest.harmonics.clear();
        // The next pass is applied to this one's result, where the tone is already cut
        // as far as this stretch reached: its trials are rendered on that.
        try {
            c.next = fit_settings(table, after, file_frames, c.rest, fit.placement.video_rate_num,
                                  fit.placement.video_rate_den, fit.switch_frames, waves);
            c.has_next = true;
        } catch (const ToolError&) {
            // No selection fits what remains (it lies too near the file's end or the
            // audio's): where it sounds is still reported.
        }
    }
    return c;
}

double chained_cut_db(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone,
                      const std::vector<Fit>& passes, int64_t extent_first, int64_t extent_end)
{
    std::vector<PassSettings> chain;
    for (const Fit& p : passes) chain.push_back({p.settings, p.placement});
    return whole_cut_db(table, audio, file_frames, chain,
                        copy_of(tone, extent_first, extent_end, passes.front().switch_frames));
}

CutCheck check_in_file(CutCheck c, int64_t offset)
{
    for (int64_t* f : {&c.look_first, &c.look_end, &c.left_first, &c.left_end, &c.extent_first, &c.extent_end,
                       &c.next.stretch_first, &c.next.cut_end, &c.rest.first, &c.rest.end})
        *f += offset;
    return c;
}

FrameRange check_reach(FilterTable& table, int32_t rate, int64_t file_frames, const Placement& region,
                       int64_t region_end)
{
    // The result is looked at up to kCheckPastSeconds past the longest stretch and half
    // a block more; the next selection is fitted to a tone starting as late as that.
    const FrameRange first = fit_reach(table, rate, file_frames, region, region_end);
    return fit_reach(table, rate, file_frames, region,
                     first.end + std::llround(kCheckPastSeconds * rate) + analysis_length(rate));
}
