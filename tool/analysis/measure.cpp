#include "tool/analysis/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "tool/analysis/spectrum.h"
#include "tool/analysis/tool_error.h"

double largest_jump(const Audio& a, int64_t at)
{
    const int64_t lo = std::max<int64_t>(at - kJumpReach, 1);
    const int64_t hi = std::min<int64_t>(at + kJumpReach, a.frames() - 1);
    int32_t jump = 0;
    for (int64_t t = lo; t <= hi; ++t)
        for (int32_t k = 0; k < a.channels; ++k)
            jump = std::max(jump, std::abs(int32_t(a.samples[t * a.channels + k]) -
                                           int32_t(a.samples[(t - 1) * a.channels + k])));
    return jump / kFullScale;
}

namespace {

int64_t count_clipped(const Audio& a, int64_t first, int64_t count)
{
    int64_t n = 0;
    for (int64_t i = first * a.channels; i < (first + count) * a.channels; ++i)
        n += a.samples[i] == 32767 || a.samples[i] == -32768;
    return n;
}

double power_ratio_db(double num, double den) { return to_db(num) - to_db(den); }

// A band's change as a listener hears it: power under the 16-bit floor (-100 dB) is
// silence whichever file it is in, so a band empty in both reads as unchanged.
constexpr double kInaudiblePower = 1e-10;

double band_change_db(const Spectrum& after, const Spectrum& before, double low_hz, double high_hz)
{
    return power_ratio_db(band_power(after, low_hz, high_hz) + kInaudiblePower,
                          band_power(before, low_hz, high_hz) + kInaudiblePower);
}

// The band a notch leaves alone: its edges blur over about two of the plug-in's bins
// (its blocks are short and ramped), so that margin is left out as well.
double outside_power(const Spectrum& s, const NotchGeometry& g)
{
    const double margin = 2.0 * s.rate / g.n + 2 * s.bin_hz();
    return band_power(s, 20, g.low_hz - margin) + band_power(s, g.high_hz + margin, s.rate / 2.0);
}

} // namespace

namespace {

// The spectrum the program's power is read from: frames [first, first + count) of `a`,
// clipped to it; nothing when fewer than 64 are left. Its window is taken from `windows`.
std::optional<Spectrum> span_spectrum(const Audio& a, int64_t first, int64_t count, SpectrumWindows* windows)
{
    first = std::max<int64_t>(0, first);
    count = std::min(count, a.frames() - first);
    if (count < 64) return std::nullopt;
    const int32_t n = segment_length(count / 2, kLongestSegment);
    return average_spectrum(a.samples.data(), a.channels, a.rate, first, count, n, windows);
}

}  // namespace

double program_power(const Audio& a, int64_t first, int64_t count, const NotchGeometry& g, SpectrumWindows* windows)
{
    const std::optional<Spectrum> s = span_spectrum(a, first, count, windows);
    return s ? outside_power(*s, g) : 0;
}

ProgramChange program_change(const Audio& in, const Audio& out, int64_t first, int64_t count, const NotchGeometry& g)
{
    ProgramChange c;
    // The whole and its pieces each take one size of spectrum, before and after alike.
    SpectrumWindows windows;
    const std::optional<Spectrum> before = span_spectrum(in, first, count, &windows),
                                  after = span_spectrum(out, first, count, &windows);
    if (before && after) {
        const double was = outside_power(*before, g), is = outside_power(*after, g);
        c.change_db = power_ratio_db(is + kInaudiblePower, was + kInaudiblePower);
        if (c.change_db >= kProgramRiseDb)
            c.added_db = power_ratio_db(is - was, band_power(*before, g.low_hz, g.high_hz) + kInaudiblePower);
    }
    const int64_t piece = std::llround(kDipSeconds * in.rate);
    for (int64_t at = first; at + piece <= first + count; at += piece / 2) {
        const double before = program_power(in, at, piece, g, &windows);
        // Where the program is silent there is nothing to take.
        if (to_db(2 * before) < kProgramSilentDbfs) continue;
        c.dip_db = std::min(c.dip_db, power_ratio_db(program_power(out, at, piece, g, &windows) + kInaudiblePower,
                                                     before + kInaudiblePower));
    }
    return c;
}

double tone_cut_db(const Audio& with, const Audio& without, const Audio& out_with, const Audio& out_without,
                   int64_t first, int64_t end)
{
    double tone = 0, left = 0;
    for (int64_t i = first * with.channels; i < end * with.channels; ++i) {
        const double t = double(with.samples[i]) - without.samples[i];
        const double r = double(out_with.samples[i]) - out_without.samples[i];
        tone += t * t;
        left += r * r;
    }
    return 10 * std::log10(tone / std::max(left, 1e-9));
}

double tone_cut_over(const Audio& in, const Audio& out, double hz, int64_t first, int64_t end, ToneWaves* waves)
{
    // Both are read through one wave, made once: its sines and cosines, one of each a
    // frame, cost more than the readings (the page's module most of all).
    const ToneWave wave = tone_wave(in.rate, hz, end - first, waves);
    const double before = tone_amplitude(wave, in.samples.data(), in.channels, first);
    const double after = tone_amplitude(wave, out.samples.data(), out.channels, first);
    return 20 * std::log10(before / std::max(after, kSilentAmplitude));
}

namespace {

Tone aimed_tone(const Detection& d, const NotchGeometry& g, double tone_hz, int64_t first, int64_t count)
{
    if (tone_hz > 0) {
        // A frequency named where nothing steady sounds names no tone: a cut read there
        // would be the notch's depth for noise, or for silence no figure at all.
        bool detected = false;
        Tone t = tone_near(d, tone_hz, first, count, &detected);
        t.found = detected;
        return t;
    }
    // A hum's harmonic is a tone of its own to a notch centred on it: the fundamental
    // at the band's edge is not what the notch was aimed at.
    double best = -1;
    const auto consider = [&](double hz) {
        if (hz >= g.low_hz && hz <= g.high_hz &&
            (best < 0 || std::fabs(hz - g.centre_hz) < std::fabs(best - g.centre_hz)))
            best = hz;
    };
    for (const Tone& t : d.tones) {
        consider(t.hz);
        for (const Harmonic& h : t.harmonics) consider(h.hz);
    }
    bool detected = false;
    if (best >= 0) return tone_near(d, best, first, count, &detected);
    if (!d.tones.empty()) return d.tones.front();
    Tone none;
    none.resolution_hz = d.resolution_hz;
    return none;
}

} // namespace

Measurement measure(const Audio& in, const Audio& out, int64_t first, const NotchGeometry& g, double tone_hz)
{
    if (in.rate != out.rate || in.channels != out.channels || in.frames() != out.frames())
        throw ToolError(ErrorCode::kFilesDiffer, {});
    Measurement m;
    m.stretch_first = first;
    m.stretch_count = std::min<int64_t>(g.length, in.frames() - first);
    m.middle_first = first + g.fade;
    m.middle_count = std::min<int64_t>(first + g.length - g.quarter, in.frames()) - m.middle_first;
    if (m.middle_count < 1024)
        throw ToolError(ErrorCode::kMiddleTooShort, {{"samples", double(std::max<int64_t>(m.middle_count, 0))}});
    m.centre_hz = g.centre_hz;
    m.low_hz = g.low_hz;
    m.high_hz = g.high_hz;

    const int32_t n = segment_length(m.middle_count / 2, kLongestSegment);
    const Spectrum before = average_spectrum(in.samples.data(), in.channels, in.rate, m.middle_first,
                                             m.middle_count, n);
    const Spectrum after = average_spectrum(out.samples.data(), out.channels, out.rate, m.middle_first,
                                            m.middle_count, n);
    const double bin = before.bin_hz();
    m.centre_silent = band_power(before, g.centre_hz - 1.5 * bin, g.centre_hz + 1.5 * bin) < kInaudiblePower;
    m.centre_attenuation_db = m.centre_silent
                                  ? NAN
                                  : power_ratio_db(band_power(before, g.centre_hz - 1.5 * bin, g.centre_hz + 1.5 * bin),
                                                   band_power(after, g.centre_hz - 1.5 * bin, g.centre_hz + 1.5 * bin));

    m.named_hz = tone_hz;
    m.tone = aimed_tone(detect_tones(in, m.middle_first, m.middle_count), g, tone_hz, m.middle_first,
                        m.middle_count);
    if (m.tone.found) {
        m.tone_first = std::max(m.tone.first, m.middle_first);
        m.tone_end = std::min(m.tone.end, m.middle_first + m.middle_count);
        if (m.tone_end > m.tone_first)
            m.tone_attenuation_db = tone_cut_over(in, out, m.tone.hz, m.tone_first, m.tone_end);
    }

    const double margin = 2.0 * in.rate / g.n + 2 * bin;
    const double lo = g.low_hz - margin, hi = g.high_hz + margin, top = in.rate / 2.0;
    const double outside_in = outside_power(before, g);
    const double outside_out = outside_power(after, g);
    m.outside_change_db = power_ratio_db(outside_out, outside_in);
    m.below_change_db = band_change_db(after, before, 20, lo);
    m.above_change_db = band_change_db(after, before, hi, top);
    m.speech_change_db = band_change_db(after, before, kSpeechLowHz, kSpeechHighHz);
    m.wide_band = band_too_wide(g.low_hz, g.high_hz);
    m.outside_in_dbfs = to_db(2 * outside_in);
    m.outside_out_dbfs = to_db(2 * outside_out);

    int32_t peak = 0;
    for (int64_t i = first * out.channels; i < (first + m.stretch_count) * out.channels; ++i)
        peak = std::max(peak, std::abs(int32_t(out.samples[i])));
    m.peak_dbfs = peak > 0 ? 20 * std::log10(peak / kFullScale) : -INFINITY;
    m.clipped = count_clipped(out, first, m.stretch_count);
    m.clipped_input = count_clipped(in, first, m.stretch_count);
    m.jump_start = largest_jump(out, first);
    m.input_jump_start = largest_jump(in, first);
    m.jump_end = largest_jump(out, first + m.stretch_count);
    m.input_jump_end = largest_jump(in, first + m.stretch_count);
    return m;
}
