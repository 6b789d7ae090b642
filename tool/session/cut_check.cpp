#include "tool/session/cut_check.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "tool/analysis/measure.h"
#include "tool/analysis/spectrum.h"
#include "tool/analysis/tool_error.h"

namespace {

// The tone alone is rendered at -6 dBFS, where the 16-bit samples carry what the notch
// leaves of it some 90 dB down.
constexpr double kAloneAmplitude = 16384;

// The source and the plug-in's result over the same frames, [first, first + frames) of
// the audio the check was handed.
struct Rendered {
    Audio in, out;
    int64_t first = 0;

    double amplitude(const Audio& a, double hz, int64_t from, int64_t count) const
    {
        const int64_t lo = std::max<int64_t>(from, first);
        const int64_t hi = std::min<int64_t>(from + count, first + a.frames());
        if (hi - lo < 2) return 0;
        return tone_amplitude(a.samples.data(), a.channels, a.rate, hz, lo - first, hi - lo);
    }
};

Rendered render_checked(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, const Fit& fit,
                        int64_t look_end)
{
    Rendered r;
    r.first = std::min(fit.stretch_first, std::max<int64_t>(0, tone.first));
    const int64_t reads_until =
        plugin_reads_until(audio.rate, file_frames, fit.placement, fit.notch.length) - audio.first_frame;
    if (r.first < 0 || reads_until > audio.frames()) throw ToolError(ErrorCode::kCheckReadShort, {});
    const int64_t end = std::max(look_end, reads_until);
    r.in.rate = audio.rate;
    r.in.channels = audio.channels;
    r.in.first_frame = audio.first_frame + r.first;
    r.in.samples.assign(audio.samples.begin() + r.first * audio.channels, audio.samples.begin() + end * audio.channels);
    r.out = r.in;
    run_plugin_window(table, &r.out, file_frames, fit.notch.length, fit.settings, fit.placement, false, nullptr);
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
    const int32_t rate = r.in.rate;
    const int64_t block = analysis_length(rate);
    const int64_t hop = std::max<int64_t>(1, std::llround(double(rate) * fit.placement.video_rate_den /
                                                          fit.placement.video_rate_num));
    const double own = std::pow(10.0, tone.level_dbfs / 20);
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
        const double a = r.amplitude(r.out, tone.hz, at - block / 2, block);
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

// A raised-cosine switch of `ramp` frames centred on 0, from 0 to 1.
double gate(double into, double ramp)
{
    return into >= ramp / 2 ? 1.0 : into <= -ramp / 2 ? 0.0 : 0.5 - 0.5 * std::cos(M_PI * (into + ramp / 2) / ramp);
}

// The probe that reads a beep's edges lasts about 1 / kProbesPerSecond of a second
// (2.7 ms at 48 kHz): a step read through it rises over a quarter of that, so the ramps
// whose length decides most what the notch leaves (none to a few milliseconds) change
// what it reads the most; a longer probe's narrower bin holds less of the program's
// sound, but sees those ramps all alike.
constexpr int32_t kProbesPerSecond = 400;

// The switches a beep's edges are fitted with: raised-cosine ramps of these lengths.
constexpr double kRampsMs[] = {0, 0.25, 0.5, 0.75, 1, 1.5, 2, 2.5, 3, 4, 5, 6, 7, 8, 10, 12, 15, 20, 25, 30, 40};
constexpr size_t kRamps = sizeof kRampsMs / sizeof kRampsMs[0];

// How well the tone's switching on at `at` (off, with `rising` false) is fitted by each
// of kRampsMs: the tone read through a short probe stepped finely across the edge,
// against what the same probe reads of that switch wherever it lies near `at`, as the
// mean squared misfit over the tone's own amplitude squared (empty where the edge cannot
// be read). Each reading is the part of the probe's phasor in step with
// the tone's own, read by the same probe just inside the tone past the slowest ramp's
// reach: a steady tone keeps its phase, so the program's sound in the probe's bin adds
// to that part as much as it takes away, where its power would lift every reading
// (most of all at the foot of the edge, where a ramp reaching into it would fit best).
// The whole edge is fitted, not two crossings read: a step read through the probe
// already rises over a quarter of it, so a few frames' error in placing where the rise
// starts or ends reads as a ramp of milliseconds.
std::vector<double> switching_misfits(const Audio& a, const Tone& tone, int64_t at, bool rising)
{
    int64_t n = 64;
    while (n < a.rate / kProbesPerSecond) n *= 2;
    const int64_t step = std::max<int64_t>(1, n / 64);
    // Far enough either side for the slowest ramp fitted, and its own level read past it.
    const int64_t reach_out = std::max<int64_t>(2 * n, std::llround(kRampsMs[kRamps - 1] * a.rate / 2000) + n);
    std::vector<double> hann(static_cast<size_t>(n), 0.0);
    double hann_sum = 0;
    for (int64_t k = 0; k < n; ++k)
        hann_sum += hann[size_t(k)] = 0.5 - 0.5 * std::cos(2 * M_PI * (double(k) + 0.5) / double(n));
    // The probe's phasor at `from`, its phase counted from the audio's first frame so
    // that a steady tone reads the same phase wherever it is read.
    const auto probe = [&](int64_t from) {
        std::complex<double> z = 0;
        for (int64_t k = 0; k < n; ++k) {
            double x = 0;
            for (int32_t ch = 0; ch < a.channels; ++ch) x += a.samples[size_t((from + k) * a.channels + ch)];
            z += hann[size_t(k)] * x * std::polar(1.0, -2 * M_PI * tone.hz * double(from + k) / a.rate);
        }
        return 2.0 * z / (hann_sum * a.channels);
    };
    std::vector<std::complex<double>> readings;
    std::vector<int64_t> intos;
    std::complex<double> inside = 0;
    int64_t insides = 0;
    // Walked from outside the tone inwards, in the direction it rises.
    for (int64_t into = -reach_out; into <= reach_out + n; into += step) {
        const int64_t centre = rising ? at + into : at - into;
        const int64_t from = centre - n / 2;
        if (from < 0 || from + n > a.frames()) continue;
        if (into >= reach_out) {
            inside += probe(from);
            ++insides;
        } else {
            readings.push_back(probe(from));
            intos.push_back(into);
        }
    }
    if (insides == 0 || readings.size() < 8 || std::abs(inside) == 0) return {};
    const double own = std::abs(inside) / double(insides);
    const std::complex<double> in_step = std::conj(inside) / std::abs(inside);

    // The probe's reading of each switch centred `shift` frames from its middle, on the
    // readings' grid; a switch centred up to n either side of `at` is tried.
    const int64_t reach = reach_out + 2 * n;
    const int64_t shifts = 2 * reach / step + 1;
    std::vector<double> misfits(kRamps, INFINITY);
    for (size_t r = 0; r < kRamps; ++r) {
        const double ramp = kRampsMs[r] * a.rate / 1000;
        std::vector<double> seen(static_cast<size_t>(shifts));
        for (int64_t j = 0; j < shifts; ++j) {
            const double middle = double(j * step - reach);
            double sum = 0;
            for (int64_t k = 0; k < n; ++k) sum += hann[size_t(k)] * gate(middle + double(k - n / 2), ramp);
            seen[size_t(j)] = sum / hann_sum;
        }
        for (int64_t c = -n; c <= n; c += step) {
            double misfit = 0;
            for (size_t i = 0; i < readings.size(); ++i) {
                const int64_t j = (intos[i] - c + reach) / step;
                const double e =
                    (readings[i] * in_step).real() - own * seen[size_t(std::clamp<int64_t>(j, 0, shifts - 1))];
                misfit += e * e;
            }
            misfits[r] = std::min(misfits[r], misfit / (double(readings.size()) * own * own));
        }
    }
    return misfits;
}

// How long the tone takes to switch on and off, in frames: a beep is switched alike at
// both ends, so one ramp is fitted to both edges at once, and the program's sound over
// one edge weighs against the other's readings rather than deciding alone. An edge that
// cannot be read (it lies at the audio's edge) says nothing. What the notch leaves of a
// switched tone is its switching, and a steeper ramp spreads further.
double switching_frames(const Audio& a, const Tone& tone, int64_t first, int64_t end)
{
    std::vector<double> total(kRamps, 0.0);
    bool read = false;
    for (const std::vector<double>& m :
         {switching_misfits(a, tone, first, true), switching_misfits(a, tone, end, false)}) {
        if (m.empty()) continue;
        read = true;
        for (size_t r = 0; r < kRamps; ++r) total[r] += m[r];
    }
    if (!read) return 0;
    const size_t best = size_t(std::min_element(total.begin(), total.end()) - total.begin());
    return kRampsMs[best] * a.rate / 1000;
}

// The tone alone over [first, end) of the rendered frames, switched on and off as the
// source's was, at a level that the 16-bit samples carry finely: the plug-in's notch is
// linear, so what it leaves of this copy is what it left of the tone, whatever sounded
// with it (its switching, spread past the notch; the stretch's edges; what no stretch
// covers).
Rendered tone_alone(FilterTable& table, const Rendered& source, int64_t file_frames, const Tone& tone, const Fit& fit,
                    int64_t first, int64_t end)
{
    const int64_t min_ramp = std::max<int64_t>(1, source.in.rate / 1000);
    const double ramp =
        std::max<double>(min_ramp, switching_frames(source.in, tone, first - source.first, end - source.first));
    Rendered r;
    r.first = source.first;
    r.in = source.in;
    std::fill(r.in.samples.begin(), r.in.samples.end(), int16_t(0));
    const int32_t channels = r.in.channels;
    const bool from_start = tone.from_region_start, to_end = tone.to_region_end;
    for (int64_t s = 0; s < r.in.frames(); ++s) {
        const double at = double(r.first + s);
        const double g = (from_start ? (at >= first ? 1.0 : 0.0) : gate(at - double(first), ramp)) *
                         (to_end ? (at < end ? 1.0 : 0.0) : gate(double(end) - at, ramp));
        if (g == 0) continue;
        const int16_t v = int16_t(std::lrint(kAloneAmplitude * g * std::sin(2 * M_PI * tone.hz * at / r.in.rate)));
        for (int32_t k = 0; k < channels; ++k) r.in.samples[size_t(s * channels + k)] = v;
    }
    r.out = r.in;
    run_plugin_window(table, &r.out, file_frames, fit.notch.length, fit.settings, fit.placement, false, nullptr);
    return r;
}

// The tone's power over its extent [first, end) against all that the plug-in left of
// it, sample by sample, so that everything it leaves counts, not only what a probe at
// its frequency reads: a block's filtering spreads the switching of a tone on and off a
// block either way, before its onset and past its end, as far as the rendering reaches.
// Where the tone sounds from the region's start (or to its end) the copy's switch there
// is not the tone's, and what it spreads past that edge is left out. Past the audio
// rendered the plug-in changed nothing: the tone counts there uncut.
double whole_cut_db(const Rendered& alone, const Tone& tone, int64_t first, int64_t end)
{
    const int64_t held_end = alone.first + alone.in.frames();
    const int64_t from = tone.from_region_start ? std::max(first, alone.first) : alone.first;
    const int64_t to = tone.to_region_end ? std::min(end, held_end) : held_end;
    double in = 0, left = 0;
    for (int64_t at = from; at < to; ++at)
        for (int32_t k = 0; k < alone.in.channels; ++k) {
            const size_t i = size_t((at - alone.first) * alone.in.channels + k);
            in += double(alone.in.samples[i]) * alone.in.samples[i];
            left += double(alone.out.samples[i]) * alone.out.samples[i];
        }
    if (end > held_end) {
        // At its own level, as the copy holds it: half its amplitude squared a channel.
        const double uncut = double(end - std::max(first, held_end)) * alone.in.channels * kAloneAmplitude * kAloneAmplitude / 2;
        in += uncut;
        left += uncut;
    }
    return in > 0 ? 10 * std::log10(in / std::max(left, 1.0)) : 0;
}

} // namespace

CutCheck check_cut(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, const Fit& fit)
{
    CutCheck c;
    const int64_t stretch_end = fit.stretch_first + fit.notch.length;
    c.look_first = fit.stretch_first;
    c.look_end = std::min<int64_t>(audio.frames(),
                                   std::max<int64_t>(stretch_end + std::llround(kCheckPastSeconds * audio.rate), tone.end));
    const Rendered r = render_checked(table, audio, file_frames, tone, fit, c.look_end);
    find_left(r, tone, fit, file_frames - audio.first_frame, &c);
    c.extent_first = tone.first;
    c.extent_end = tone.end;
    if (c.goes_on) {
        c.extent_first = std::min(c.extent_first, c.left_first);
        c.extent_end = std::max(c.extent_end, c.left_end);
    }
    c.cut_db = whole_cut_db(tone_alone(table, r, file_frames, tone, fit, c.extent_first, c.extent_end), tone,
                            c.extent_first, c.extent_end);
    c.weak = c.cut_db < kWeakCutDb;
    if (c.goes_on) {
        Tone rest = tone;
        rest.first = c.left_first;
        // Still sounding where the looking stopped, it is taken to go on as far as the
        // audio reaches, so that the next selection is as long as one can be.
        rest.end = c.left_to_look_end ? audio.frames() : c.left_end;
        rest.from_region_start = false;
        rest.to_region_end = c.left_to_look_end;
        rest.harmonics.clear();
        try {
            c.next = fit_settings(table, audio, file_frames, rest, fit.placement.video_rate_num,
                                  fit.placement.video_rate_den);
            c.has_next = true;
        } catch (const ToolError&) {
            // No selection fits what remains (it lies too near the file's end): where it
            // sounds is still reported.
        }
    }
    return c;
}

CutCheck check_in_file(CutCheck c, int64_t offset)
{
    for (int64_t* f : {&c.look_first, &c.look_end, &c.left_first, &c.left_end, &c.extent_first, &c.extent_end,
                       &c.next.stretch_first, &c.next.cut_end})
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
