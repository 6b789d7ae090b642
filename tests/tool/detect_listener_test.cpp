// What a listener hears, listed as one entry each: steady tones switched on together (a
// telephone key's pair, ringback, busy, the three-tone information signal, a beep that
// starts with a note of music) are each a tone; a buzz is one family; the harmonics a
// clipped tone leaves once its fundamental is cut are still tones; a hum that louder
// sound broke into pieces is one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tool/analysis/conversion_clipping.h"
#include "tool/analysis/detect.h"

namespace {

constexpr int32_t kRate = 48000;
constexpr double kFrom = 1.0, kTo = 3.0, kSeconds = 4.0;

double amplitude(double dbfs) { return std::pow(10.0, dbfs / 20); }

// 1 inside [from, to), with 5 ms raised-cosine edges.
double gate(double t, double from, double to)
{
    const double edge = 0.005, in = std::min(t - from, to - t);
    if (in <= 0) return 0;
    return in < edge ? 0.5 - 0.5 * std::cos(M_PI * in / edge) : 1.0;
}

double sine(double hz, double dbfs, double t) { return amplitude(dbfs) * std::sin(2 * M_PI * hz * t); }

// Steady tones at once, each at its level, from kFrom to kTo.
template <int N>
double steady(const double (&hz)[N], const double (&dbfs)[N], double t)
{
    double v = 0;
    for (int i = 0; i < N; ++i) v += sine(hz[i], dbfs[i], t);
    return gate(t, kFrom, kTo) * v;
}

double key_1(double t) { return steady({697.0, 1209.0}, {-14.0, -12.0}, t); }
double key_9(double t) { return steady({852.0, 1477.0}, {-14.0, -12.0}, t); }
double key_d(double t) { return steady({941.0, 1633.0}, {-14.0, -12.0}, t); }
// Key 4 loud enough that the two tones' sum clips on the way to 16 bits.
double key_4_clipping(double t) { return steady({770.0, 1209.0}, {-6.2, -4.2}, t); }
double ringback(double t) { return steady({440.0, 480.0}, {-19.0, -19.0}, t); }
double busy(double t) { return steady({480.0, 620.0}, {-24.0, -24.0}, t); }
double information(double t) { return steady({913.8, 1370.6, 1776.7}, {-24.0, -24.0, -24.0}, t); }

// Busy, its 620 Hz tone switched on as a note 1.5 Hz off it dies away into it: the note
// at -14 dBFS from 0.2 s, falling 20 dB a second, 6 dB under the tone when it starts,
// and damped 0.1 s later.
double busy_after_a_note(double t)
{
    return busy(t) + gate(t, 0.2, 1.1) * std::pow(10.0, -(t - 0.2)) * sine(621.5, -14, t);
}

// A 3.1 kHz beep and a note of six partials on 200 Hz, each decaying the faster the
// higher, switched on `delay` seconds after the beep.
double beep_with_note(double t, double delay)
{
    double note = 0;
    for (int h = 1; h <= 6; ++h) {
        const double s = t - kFrom - delay;
        if (s > 0) note += std::exp(-s * h / 1.0) * sine(200.0 * h, -14 - 4.0 * (h - 1), t);
    }
    return gate(t, kFrom, kTo) * sine(3100, -20, t) + gate(t, kFrom + delay, kTo) * note;
}
double beep_note_0(double t) { return beep_with_note(t, 0); }
double beep_note_15(double t) { return beep_with_note(t, 0.015); }
double beep_note_30(double t) { return beep_with_note(t, 0.030); }

// A 50 Hz square wave at -18 dBFS (its fundamental's level), band-limited: every odd
// harmonic to 21.6 kHz at 1/n of it, buzzing through the whole file.
double square_buzz(double t)
{
    double v = 0;
    for (int n = 1; n * 50 < 21600; n += 2) v += sine(50.0 * n, -18, t) / n;
    return v;
}

// A 1 kHz sine at -6 dBFS cut flat 9 dB under its peak, then its fundamental taken out
// (as a notch at 1 kHz leaves it): the odd harmonics, steady, switched on together.
double clipped_without_fundamental(double t)
{
    const double a = amplitude(-6), flat = a * amplitude(-9);
    const auto clipped = [&](double x) { return std::clamp(a * std::sin(2 * M_PI * 1000 * x), -flat, flat); };
    // The fundamental's share, over one whole period (48 samples at 48 kHz).
    static const double share = [&] {
        double s = 0;
        for (int i = 0; i < 48; ++i) s += clipped(i / 48000.0) * std::sin(2 * M_PI * i / 48);
        return s / 24;
    }();
    return gate(t, kFrom, kTo) * (clipped(t) - share * std::sin(2 * M_PI * 1000 * t));
}

// A sawtooth buzz on 100 Hz at -18 dBFS whose harmonics `from` to `to` a band-stop took
// out: the series goes on past the gap, short or as long as speech over a faint buzz
// makes it.
double buzz_with_a_gap(double t, int from, int to)
{
    double v = 0;
    for (int n = 1; n * 100 < 21600; ++n)
        if (n < from || n > to) v += sine(100.0 * n, -18, t) / n;
    return gate(t, kFrom, kTo) * v;
}
double buzz_with_a_short_gap(double t) { return buzz_with_a_gap(t, 20, 29); }
double buzz_with_a_long_gap(double t) { return buzz_with_a_gap(t, 4, 40); }

// A sawtooth buzz on 129 Hz switched on over a partial at 129 Hz that wavers through
// the whole file (full tremolo at 3 Hz, -40 dBFS): its track goes on around the buzz.
double buzz_over_a_wavering_partial(double t)
{
    double v = 0;
    for (int n = 1; n * 129 < 21600; ++n) v += sine(129.0 * n, -18, t) / n;
    return gate(t, kFrom, kTo) * v + (0.5 + 0.5 * std::sin(2 * M_PI * 3 * t)) * sine(129.0, -40, t);
}

// A sine at +12 dBFS, as a floating-point file holds it: the conversion to 16 bits
// clips it, making harmonics and, beyond half the rate, their aliases.
double over_full_scale(double t) { return gate(t, kFrom, kTo) * sine(515, 12, t); }

// A 1 kHz sine at +12 dBFS, clipped: as the conversion of a floating-point file makes it,
// or as an integer file recorded clipped holds it.
double clipped_1k(double t) { return gate(t, kFrom, kTo) * sine(1000, 12, t); }

// A 1 kHz sine at -26 dBFS cut flat 12 dB under its peak (an integer file recorded
// clipped), and from 1.3 s to 2.7 s a band of noise around 1 kHz, 0.1 kHz wide (a voice
// over it), that buries its fundamental: only its odd harmonics stand clear throughout.
double clipped_under_a_voice(double t)
{
    static const std::vector<double> voice = [] {
        const double w = 2 * M_PI * 1000 / kRate, alpha = std::sin(w) / (2 * 10.0);
        const double b0 = alpha / (1 + alpha), a1 = -2 * std::cos(w) / (1 + alpha), a2 = (1 - alpha) / (1 + alpha);
        std::mt19937 random(5);
        std::normal_distribution<double> white(0, 1);
        std::vector<double> v(size_t(kSeconds * kRate) + 1);
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0, power = 0;
        for (double& y : v) {
            const double x = white(random);
            y = b0 * (x - x2) - a1 * y1 - a2 * y2;
            x2 = x1, x1 = x, y2 = y1, y1 = y;
            power += y * y;
        }
        const double scale = amplitude(-18) / std::sqrt(power / double(v.size()));
        for (double& y : v) y *= scale;
        return v;
    }();
    const double a = amplitude(-26), flat = a * amplitude(-12);
    const size_t i = std::min(voice.size() - 1, size_t(std::lround(t * kRate)));
    return gate(t, kFrom, kTo) * std::clamp(a * std::sin(2 * M_PI * 1000 * t), -flat, flat) +
           gate(t, 1.3, 2.7) * voice[i];
}

// A sine just over full scale (+3 dBFS) swelling by 1 dB: the harmonics its clipping
// makes swell by far more, with it.
double swelling_over_full_scale(double t) { return gate(t, kFrom, kTo) * sine(515, 2.5 + 0.5 * (t - kFrom), t); }

// A 50 Hz hum at -52 dBFS through the whole file and two kicks of a drum over it (a sweep
// from 120 Hz down to 35 Hz at -13 dBFS, dying away over 0.7 s): each kick breaks the
// hum's run, which goes on under it.
double hum_under_kicks(double t)
{
    double v = sine(50, -52, t);
    for (const double at : {1.3, 2.5}) {
        const double s = t - at, fall = 35.0 / 120.0, length = 0.7;
        if (s <= 0 || s >= length) continue;
        const double phase = 2 * M_PI * 120 * length / std::log(fall) * (std::pow(fall, s / length) - 1);
        const double envelope = std::min(1.0, std::min(s / 0.005, std::sin(M_PI / 2 * (length - s) / 0.6)));
        v += amplitude(-13) * envelope * std::sin(phase);
    }
    return v;
}

struct ListenerCase {
    const char* name;
    double (*signal)(double t);
    std::vector<double> listed;  // each a listed tone of its own, once
    double series_hz;            // > 0: listed[0] is the one entry on this harmonic series
    double near_hz;              // > 0: --hz finds a tone there
    double from = kFrom;         // where the listed tones start, s
    bool alone = false;          // nothing else is listed
    // The clipping is the conversion's (a floating-point file over full scale): none of
    // the harmonics it made are listed. Otherwise the file holds them: `harmonics` > 0
    // says listed[0] lists at least that many.
    bool conversion_clips = false;
    size_t harmonics = 0;
};
void PrintTo(const ListenerCase& c, std::ostream* os) { *os << c.name; }

Audio render(double (*signal)(double t))
{
    Audio a;
    a.rate = kRate;
    a.channels = 1;
    a.samples.resize(size_t(kSeconds * kRate));
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-0.001, 0.001);
    for (size_t i = 0; i < a.samples.size(); ++i)
        a.samples[i] = int16_t(std::lrint(32767 * std::clamp(signal(double(i) / kRate) + noise(random), -1.0, 1.0)));
    return a;
}

std::string listing(const Detection& d)
{
    std::string s;
    for (const Tone& t : d.tones)
        s += std::to_string(t.hz) + " Hz (" + std::to_string(t.harmonics.size()) + " harmonics) ";
    return s.empty() ? "nothing" : s;
}

class ListenerTable : public ::testing::TestWithParam<ListenerCase> {};
TEST_P(ListenerTable, EachListedOnceAsItsOwnEntry)
{
    const ListenerCase c = GetParam();
    const Audio a = render(c.signal);
    Detection d = detect_tones(a, 0, a.frames());
    if (c.conversion_clips) leave_out_conversion_harmonics(&d, source_of(a));
    SCOPED_TRACE(listing(d));
    for (const double hz : c.listed) {
        int entries = 0;
        for (const Tone& t : d.tones) {
            if (std::fabs(t.hz - hz) > d.resolution_hz) continue;
            ++entries;
            EXPECT_NEAR(double(t.first) / kRate, c.from, 1.0 / 15) << hz;
            if (c.conversion_clips) {
                EXPECT_TRUE(t.harmonics.empty()) << hz;
                // What it left out is said to be the conversion's, not the tone's family.
                int conversions = 0;
                for (const Dropped& x : d.dropped) {
                    if (std::fabs(x.other_hz - t.hz) > d.resolution_hz) continue;
                    EXPECT_NE(x.reason, DropReason::kHarmonic) << x.hz << " Hz";
                    conversions += x.reason == DropReason::kConversionClip;
                }
                EXPECT_GT(conversions, 0) << hz;
            }
            if (hz == c.listed[0]) {
                EXPECT_GE(t.harmonics.size(), c.harmonics) << hz;
            }
        }
        EXPECT_EQ(entries, 1) << hz << " Hz";
    }
    if (c.series_hz > 0) {
        int on_series = 0;
        for (const Tone& t : d.tones) {
            const double order = std::round(t.hz / c.series_hz);
            on_series += order >= 1 && std::fabs(t.hz - order * c.series_hz) <= d.resolution_hz;
        }
        EXPECT_EQ(on_series, 1);
    }
    if (c.alone) {
        EXPECT_EQ(d.tones.size(), c.listed.size());
    }
    if (c.near_hz > 0) {
        bool detected = false;
        const Tone t = tone_near(d, c.near_hz, 0, a.frames(), &detected);
        EXPECT_TRUE(detected) << c.near_hz;
        EXPECT_NEAR(t.hz, c.near_hz, d.resolution_hz);
    }
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ListenerTable,
    ::testing::Values(
        ListenerCase{"telephone_key_1", key_1, {697, 1209}, 0, 0},
        ListenerCase{"telephone_key_9", key_9, {852, 1477}, 0, 0},
        ListenerCase{"telephone_key_d", key_d, {941, 1633}, 0, 0},
        ListenerCase{"telephone_key_4_clipping", key_4_clipping, {770, 1209}, 0, 0},
        ListenerCase{"ringback", ringback, {440, 480}, 0, 0}, ListenerCase{"busy", busy, {480, 620}, 0, 0},
        ListenerCase{"information_signal", information, {913.8, 1370.6, 1776.7}, 0, 0},
        ListenerCase{"busy_after_a_note_at_its_loudness", busy_after_a_note, {480, 620}, 0, 0},
        ListenerCase{"beep_with_a_note", beep_note_0, {3100}, 0, 0},
        ListenerCase{"beep_15_ms_before_a_note", beep_note_15, {3100}, 0, 0},
        ListenerCase{"beep_30_ms_before_a_note", beep_note_30, {3100}, 0, 0},
        ListenerCase{"square_buzz", square_buzz, {50}, 50, 0, 0},
        ListenerCase{"clipped_sine_without_its_fundamental", clipped_without_fundamental, {}, 0, 3000},
        ListenerCase{"buzz_with_a_gap_in_its_series", buzz_with_a_short_gap, {100}, 100, 0},
        ListenerCase{"buzz_with_a_long_gap_in_its_series", buzz_with_a_long_gap, {100}, 100, 0},
        ListenerCase{"buzz_over_a_wavering_partial", buzz_over_a_wavering_partial, {129}, 129, 0},
        ListenerCase{"sine_over_full_scale", over_full_scale, {515}, 515, 0, kFrom, true},
        ListenerCase{"sine_over_full_scale_swelling", swelling_over_full_scale, {515}, 515, 0},
        ListenerCase{"float_sine_over_full_scale", clipped_1k, {1000}, 1000, 0, kFrom, true, true},
        ListenerCase{
            "float_sine_swelling_over_full_scale", swelling_over_full_scale, {515}, 515, 0, kFrom, false, true},
        ListenerCase{"integer_sine_recorded_clipped", clipped_1k, {1000}, 1000, 0, kFrom, true, false, 5},
        ListenerCase{"clipped_sine_under_a_voice", clipped_under_a_voice, {1000}, 1000, 0, kFrom, false, false, 2},
        ListenerCase{"hum_under_kicks", hum_under_kicks, {50}, 0, 0, 0}),
    [](const ::testing::TestParamInfo<ListenerCase>& i) { return std::string(i.param.name); });

// Two beeps at one frequency with a quiet gap between them, shorter than either: two
// entries, since nothing at their frequency filled the gap.
TEST(BeepsApart, AQuietGapKeepsThemTwo)
{
    const Audio a = render([](double t) { return (gate(t, 0.6, 1.6) + gate(t, 2.0, 3.4)) * sine(1000, -20, t); });
    const Detection d = detect_tones(a, 0, a.frames());
    SCOPED_TRACE(listing(d));
    ASSERT_EQ(d.tones.size(), 2u);
    for (const Tone& t : d.tones) EXPECT_NEAR(double(t.end - t.first) / kRate, t.first < kRate ? 1.0 : 1.4, 1.0 / 15);
}

}  // namespace
