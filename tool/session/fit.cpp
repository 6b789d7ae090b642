#include "tool/session/fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/plan_arithmetic.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/spectrum.h"
#include "tool/analysis/suggest.h"
#include "tool/analysis/tool_error.h"
#include "tool/session/cut_check.h"
#include "tool/session/switching.h"
#include "tool/session/whole_cut.h"
#include "tool/session/pass_plan.h"

namespace {

constexpr int32_t kFades[] = {0, 1, 2, 3, 5, 10, 25};
constexpr double kLeadInSeconds = 0.25;   // of audio before the stretch in each trial
constexpr double kTrailSeconds = 0.1;     // and after it
constexpr double kWholeCutDb = 40;        // the cut over the tone's whole extent to reach

// The FFT order whose notch covers the tone most narrowly in Hz. Blocks longer than a
// quarter second are passed over while a shorter one fits: the stretch must start a
// whole block ahead of the tone, and long blocks smear its start and end.
const Suggestion* narrowest(const std::vector<Suggestion>& suggestions, int32_t rate)
{
    const Suggestion* best = nullptr;
    for (const bool short_only : {true, false}) {
        for (const Suggestion& s : suggestions) {
            if (!s.placed || s.cover_width == 0 || (short_only && s.cover.n > rate / 4)) continue;
            if (!best || s.cover.high_hz - s.cover.low_hz < best->cover.high_hz - best->cover.low_hz) best = &s;
        }
        if (best) return best;
    }
    return nullptr;
}

// The audio around the stretch, starting on a video frame so that the host splits it
// as it splits the file, with the selection moved to match.
struct Excerpt {
    Audio audio;
    Placement placement;
    int64_t offset = 0;        // the excerpt's first frame in the file
    int64_t stretch_first = 0; // in the excerpt
};

// Video frames of audio each trial reads before its stretch.
int32_t lead_in_frames(const Placement& p)
{
    return int32_t(std::ceil(kLeadInSeconds * p.video_rate_num / p.video_rate_den));
}

Excerpt excerpt_around(const Audio& audio, int64_t file_frames, const Fit& fit)
{
    Excerpt e;
    const Placement& p = fit.placement;
    const int32_t back = std::min<int32_t>(p.start_frame, lead_in_frames(p));
    Placement from = p;
    from.start_frame = p.start_frame - back;
    e.offset = stretch_first_frame(audio.rate, file_frames, from) - audio.first_frame;
    if (e.offset < 0) throw ToolError(ErrorCode::kFitReadLate, {});
    const int64_t end = std::min<int64_t>(audio.frames(), fit.stretch_first + fit.notch.length +
                                                              int64_t(kTrailSeconds * audio.rate));
    e.audio.rate = audio.rate;
    e.audio.channels = audio.channels;
    e.audio.samples.assign(audio.samples.begin() + e.offset * audio.channels,
                           audio.samples.begin() + end * audio.channels);
    e.placement = p;
    e.placement.start_frame = back;
    e.stretch_first = stretch_first_frame(e.audio, e.placement);
    return e;
}

FitTrial try_settings(FilterTable& table, const Excerpt& e, const Fit& fit, const Tone& tone, int32_t fade,
                      int32_t use_window, ToneWaves* waves)
{
    FitTrial t;
    t.fade = fade;
    t.use_window = use_window;
    Settings s = fit.settings;
    s.slider[kFade] = fade;
    s.use_window = use_window;
    const Audio out = run_plugin(table, e.audio, s, e.placement, false);
    t.step_start = largest_jump(out, e.stretch_first);
    // Read where measure reads it: the fade-in lowers the tone with everything else, so
    // counting it would flatter the notch.
    const int64_t from = std::max(tone.first, fit.stretch_first + notch_geometry(s, out.rate).fade) - e.offset;
    const int64_t to = std::min(tone.end, fit.cut_end) - e.offset;
    if (to - from >= e.audio.rate / 20) t.cut_db = tone_cut_over(e.audio, out, tone.hz, from, to, waves);
    return t;
}

} // namespace

Fit fit_settings(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, int32_t video_rate_num,
                 int32_t video_rate_den, double switch_frames, ToneWaves* waves)
{
    const SliderRanges ranges = slider_ranges(table);
    const std::vector<Suggestion> suggestions = suggest_settings(tone, default_settings(table), ranges, audio.rate);
    const Suggestion* pick = narrowest(suggestions, audio.rate);
    if (!pick) throw ToolError(ErrorCode::kNoOrderForTone, {{"hz", tone.hz}});
    Fit fit;
    fit.settings = pick->settings;
    fit.settings.slider[kWidth] = pick->cover_width;

    // Start a block and two video frames ahead of the tone: the first block has no
    // rising ramp, so a tone inside it would change the stretch's very first sample.
    fit.placement.video_rate_num = video_rate_num;
    fit.placement.video_rate_den = video_rate_den;
    const double frame_samples = double(audio.rate) * video_rate_den / video_rate_num;
    const int32_t n = pick->cover.n;
    const double lead = double(audio.first_frame + tone.first) - n - kGuardFrames * frame_samples;
    fit.placement.start_frame =
        lead > 0 ? int32_t(plan_frame_of(int64_t(lead), audio.rate, video_rate_num, video_rate_den)) : 0;
    fit.stretch_first = stretch_first_frame(audio.rate, file_frames, fit.placement) - audio.first_frame;
    fit.starts_too_early = tone.first - fit.stretch_first < n;

    fit.too_long = true;
    for (int32_t seconds = ranges.minimum[kSeconds]; seconds <= ranges.maximum[kSeconds]; ++seconds) {
        fit.settings.slider[kSeconds] = seconds;
        const NotchGeometry g = notch_geometry(fit.settings, audio.rate);
        if (fit.stretch_first + g.length - g.quarter >= tone.end + kGuardFrames * frame_samples) {
            fit.too_long = false;
            break;
        }
    }
    fit.settings.slider[kFade] = 0;
    fit.notch = notch_geometry(fit.settings, audio.rate);
    fit.cut_end = fit.stretch_first + fit.notch.length - fit.notch.quarter;

    const Excerpt e = excerpt_around(audio, file_frames, fit);
    fit.input_step_start = largest_jump(e.audio, e.stretch_first);
    // The window shapes the notch the whole stretch long: judged by the cut. The fade
    // only shapes the start: judged by the step there.
    for (const int32_t w : {0, 1}) fit.trials.push_back(try_settings(table, e, fit, tone, 0, w, waves));
    fit.chosen = fit.trials[0].cut_db >= fit.trials[1].cut_db ? fit.trials[0] : fit.trials[1];
    fit.settings.use_window = fit.chosen.use_window;
    // The narrowest width covers the steady tone; its switching on and off spreads
    // wider. Widen, up to twice, while the cut over the tone's whole extent stays short of
    // kWholeCutDb, and keep the narrowest width that does best. A tone that outlasts the
    // stretch is judged where the stretch cuts it in full: the rest no width changes.
    fit.switch_frames = switch_frames >= 0 ? switch_frames : switching_frames(audio, tone, tone.first, tone.end);
    const ToneCopy copy = copy_of(tone, tone.first, tone.end, fit.switch_frames);
    const int64_t counted_end = fit.too_long ? fit.cut_end : std::numeric_limits<int64_t>::max();
    const int32_t widest = std::min(2 * pick->cover_width, ranges.maximum[kWidth]);
    const int32_t width_step = std::max(1, pick->cover_width / 4);
    double best_cut = -1;
    CopyValues kept;
    for (int32_t width = pick->cover_width; width <= widest; width += width_step) {
        Settings s = fit.settings;
        s.slider[kWidth] = width;
        const double cut = whole_cut_db(table, audio, file_frames, {{s, fit.placement}}, copy, &kept, counted_end);
        if (cut > best_cut + 0.5) {
            best_cut = cut;
            fit.settings.slider[kWidth] = width;
        }
        if (cut >= kWholeCutDb) break;
    }
    // A fade silences everything at the stretch's start, the program with the tone. It
    // is tried only where the tone already sounds at the stretch's first sample and
    // nothing else sounds over the longest fade: all it softens then is the tone's own
    // onset. A stretch starting inside the program starts at full level.
    Settings longest_fade = fit.settings;
    longest_fade.slider[kFade] = std::min(kFades[sizeof kFades / sizeof kFades[0] - 1], ranges.maximum[kFade]);
    const NotchGeometry faded = notch_geometry(longest_fade, audio.rate);
    fit.fade_may_silence = tone.first <= fit.stretch_first &&
                           to_db(2 * program_power(e.audio, e.stretch_first, faded.fade, faded)) < kProgramSilentDbfs;
    for (const int32_t fade : kFades) {
        if (!fit.fade_may_silence) break;
        if (fade == 0 || fade < ranges.minimum[kFade] || fade > ranges.maximum[kFade]) continue;
        fit.trials.push_back(try_settings(table, e, fit, tone, fade, fit.chosen.use_window, waves));
        if (fit.trials.back().step_start < fit.chosen.step_start) fit.chosen = fit.trials.back();
    }
    fit.settings.slider[kFade] = fit.chosen.fade;
    fit.settings.use_window = fit.chosen.use_window;
    fit.notch = notch_geometry(fit.settings, audio.rate);
    // The window was judged before the width was widened: what is reported is rendered
    // once more with the settings as they stand, so measure reads the same cut from them.
    if (fit.settings.slider[kWidth] != pick->cover_width) {
        fit.chosen = try_settings(table, e, fit, tone, fit.chosen.fade, fit.chosen.use_window, waves);
        if (fit.chosen.fade == 0) fit.trials.push_back(fit.chosen);
    }
    check_ranges(fit.settings, ranges);
    return fit;
}

FrameRange fit_reach(FilterTable& table, int32_t rate, int64_t file_frames, const Placement& region,
                     int64_t region_end)
{
    const SliderRanges ranges = slider_ranges(table);
    Settings longest = default_settings(table);
    longest.slider[kFftOrder] = ranges.maximum[kFftOrder];
    longest.slider[kSeconds] = ranges.maximum[kSeconds];
    const NotchGeometry g = notch_geometry(longest, rate);
    const double frame_samples = double(rate) * region.video_rate_den / region.video_rate_num;
    // fit_settings starts the stretch on the frame before a block and two frames ahead
    // of the tone, which starts inside the region; the excerpt goes lead_in_frames back.
    // One frame more for the rounding of frame starts to whole samples.
    const int64_t back = int64_t(std::ceil((double(g.n) + kGuardFrames * frame_samples) / frame_samples)) + 2 +
                         lead_in_frames(region);
    Placement from = region;
    from.start_frame = int32_t(std::max<int64_t>(0, region.start_frame - back));
    FrameRange r;
    r.first = stretch_first_frame(rate, file_frames, from);
    r.end = std::min<int64_t>(file_frames, region_end + g.length + int64_t(std::ceil(kTrailSeconds * rate)) +
                                               int64_t(std::ceil(frame_samples)));
    return r;
}

Audio fit_audio(FilterTable& table, const SampleSource& source, int64_t origin, int64_t file_frames,
                const Placement& region, const Tone& tone)
{
    const int32_t rate = source.rate;
    const int64_t tone_first = origin + tone.first;
    Placement from = region;
    from.start_frame =
        int32_t(plan_frame_of(std::max<int64_t>(0, tone_first), rate, region.video_rate_num, region.video_rate_den));
    // As far as the passes that cut it reach: to its end, or as far as the most passes
    // planned cover.
    Settings longest = default_settings(table);
    longest.slider[kFftOrder] = slider_ranges(table).maximum[kFftOrder];
    longest.slider[kSeconds] = slider_ranges(table).maximum[kSeconds];
    const int64_t planned = int64_t(kMostPasses) * notch_geometry(longest, rate).length;
    const FrameRange r = check_reach(table, rate, file_frames, from,
                                     std::min(origin + std::max(tone.first, tone.end), tone_first + planned));
    Audio a = read_frames(source, std::max(origin, r.first) - origin, std::min(file_frames, r.end) - origin);
    a.first_frame += origin;
    return a;
}
