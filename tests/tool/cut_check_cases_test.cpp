// The cut detect's self-check reports against one measured without it, on the signals a
// user meets: a telephone key's two tones, ringback and busy, three tones at once, a beep
// that starts with a note of music, a whine drifting through ten minutes, a square and a
// sawtooth buzz, a clipped sine, a float file over full scale, a beep longer than one
// stretch, a beep under speech, a faint low hum and a high whine beside a beep, and two
// tones beating. Each file is made here with the tone checked in whole samples, so the
// file less the tone is its tone-free programme; the file is run through detect as
// `--hz` at the tone runs it, and what the suggested settings leave of the tone is
// measured from the plug-in's renderings alone (tests/support/independent_cut.h). Where
// detect does not list the tone, it is fitted and checked as the tone it is (its
// frequency, level and extent, as made), so that the check is tested, not the detector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "case_table.h"
#include "independent_cut.h"
#include "test_programmes.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/sample_source.h"
#include "tool/io/audio_file.h"
#include "tool/session/cut_check.h"
#include "tool/session/detect_use_case.h"
#include "tool/session/fit.h"
#include "tool/session/plugin_session.h"

namespace {

constexpr int32_t kRate = 48000;
constexpr double kFrom = 1.013;  // where most tones start: off the video frames' grid

double amplitude_of(double dbfs) { return 32767 * std::pow(10.0, dbfs / 20); }

// A clip: the file, and the tone checked in whole samples (a clipped wave's fundamental
// reaches over full scale), its extent as made.
struct Clip {
    int32_t rate = kRate;
    std::vector<int16_t> file;
    std::vector<int32_t> tone;
    double from = 0, to = 0;  // seconds
    double drift_hz = 0;      // how far its frequency moves over the extent
};

struct Case {
    std::string name;
    double hz;  // the tone checked, as `--hz` names it
    std::function<Clip()> make;
};

std::vector<int32_t> whole(const std::vector<double>& x)
{
    std::vector<int32_t> s(x.size());
    for (size_t t = 0; t < x.size(); ++t) s[t] = int32_t(std::lrint(x[t]));
    return s;
}

// Frames [first, end) of a clip's seconds [from, to): a tone switched on at the first
// sample at or after `from` and off before `to`.
int64_t first_frame(double from, int32_t rate) { return int64_t(std::ceil(from * rate)); }
int64_t end_frame(double to, int32_t rate) { return int64_t(std::ceil(to * rate)); }

// A sine of `hz` at `dbfs` from `from` to `to` seconds, switched abruptly, added to `x`.
void add_sine(std::vector<double>* x, int32_t rate, double hz, double dbfs, double from, double to, double phase)
{
    const double a = amplitude_of(dbfs);
    const int64_t end = std::min<int64_t>(int64_t(x->size()), end_frame(to, rate));
    for (int64_t t = first_frame(from, rate); t < end; ++t)
        (*x)[size_t(t)] += a * std::sin(2 * M_PI * hz * double(t) / rate + phase);
}

// Tones over a programme, the first of them the one checked; each {hz, dBFS}.
Clip tones_over(std::vector<double> programme, const std::vector<std::pair<double, double>>& tones, double from,
                double to)
{
    Clip c;
    c.from = from;
    c.to = to;
    std::vector<double> tone(programme.size(), 0.0);
    add_sine(&tone, kRate, tones[0].first, tones[0].second, from, to, 0.3);
    c.tone = whole(tone);
    for (size_t i = 1; i < tones.size(); ++i)
        add_sine(&programme, kRate, tones[i].first, tones[i].second, from, to, 1.1 * double(i));
    c.file = to_samples(programme);
    for (size_t t = 0; t < c.file.size(); ++t) c.file[t] = int16_t(c.file[t] + c.tone[t]);
    return c;
}

std::vector<double> quiet_noise(double seconds, double dbfs)
{
    return pink_noise(int64_t(seconds * kRate), amplitude_of(dbfs) / M_SQRT2, 7);
}

// The component at `hz` of a waveform that repeats every rate / wave_hz frames (a whole
// number) over [from, to) of `file`, in whole samples: the projection over whole periods.
Clip component_of(std::vector<int16_t> file, double wave_hz, double hz, double from, double to)
{
    Clip c;
    c.from = from;
    c.to = to;
    const int64_t first = first_frame(from, kRate), period = std::llround(kRate / wave_hz);
    const int64_t periods = (end_frame(to, kRate) - first) / period;
    std::complex<double> z = 0;
    for (int64_t t = first; t < first + periods * period; ++t)
        z += double(file[size_t(t)]) * std::polar(1.0, -2 * M_PI * hz * double(t) / kRate);
    z *= 2.0 / double(periods * period);
    std::vector<double> tone(file.size(), 0.0);
    for (int64_t t = first; t < end_frame(to, kRate); ++t)
        tone[size_t(t)] = (z * std::polar(1.0, 2 * M_PI * hz * double(t) / kRate)).real();
    c.tone = whole(tone);
    c.file = std::move(file);
    return c;
}

// A periodic wave at `dbfs` peak (a clipped sine clipped there) from `from` to `to` over quiet noise, whose component at
// `check_hz` is checked; `shape` gives the wave at a phase in [0, 1).
Clip wave_over_noise(double hz, double dbfs, const std::function<double(double)>& shape, double check_hz)
{
    constexpr double kSeconds = 5, kTo = kFrom + 3;
    std::vector<double> x = quiet_noise(kSeconds, -50);
    const double a = amplitude_of(dbfs);
    for (int64_t t = first_frame(kFrom, kRate); t < end_frame(kTo, kRate); ++t) {
        const double cycles = hz * double(t) / kRate;
        x[size_t(t)] += a * shape(cycles - std::floor(cycles));
    }
    return component_of(to_samples(x), hz, check_hz, kFrom, kTo);
}

Clip key_pair(double low, double high, bool check_low)
{
    const std::pair<double, double> l{low, -14}, h{high, -14};
    return tones_over(quiet_noise(5, -60), {check_low ? l : h, check_low ? h : l}, kFrom, kFrom + 1.5);
}

// A note of 20 partials on `hz`, each 1/k as loud, struck at `at` and decaying.
void add_note(std::vector<double>* x, double hz, double dbfs, double at)
{
    const double a = amplitude_of(dbfs);
    for (int64_t t = first_frame(at, kRate); t < int64_t(x->size()); ++t) {
        const double since = double(t) / kRate - at;
        const double envelope = std::min(1.0, since / 0.002) * std::exp(-since / 0.5);
        double v = 0;
        for (int k = 1; k <= 20; ++k) v += std::sin(2 * M_PI * k * hz * since + k) / k;
        (*x)[size_t(t)] += a * envelope * v;
    }
}

// A 3.1 kHz beep switched on `apart` seconds after a note, over a drone of 90 partials
// on 55 Hz.
Clip beep_with_note(double apart)
{
    std::vector<double> x = quiet_noise(5, -60);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> phase(0, 2 * M_PI);
    for (int k = 1; k <= 90; ++k) add_sine(&x, kRate, 55.0 * k, -34 - 20 * std::log10(k), 0, 5, phase(random));
    add_note(&x, 200.1, -26, kFrom);
    return tones_over(std::move(x), {{3100, -20}}, kFrom + apart, kFrom + apart + 1.5);
}

// A whine at -32 dBFS drifting 0.05 Hz a second through ten minutes, over quiet noise,
// at 16 kHz so that the ten minutes are held in memory twice over without weight.
Clip drifting_whine()
{
    Clip c;
    c.rate = 16000;
    constexpr double kSeconds = 600, kHz = 2000, kRise = 0.05;
    const int64_t frames = int64_t(kSeconds * c.rate);
    std::vector<double> tone(static_cast<size_t>(frames));
    for (int64_t t = 0; t < frames; ++t) {
        const double s = double(t) / c.rate;
        tone[size_t(t)] = amplitude_of(-32) * std::sin(2 * M_PI * (kHz * s + kRise / 2 * s * s));
    }
    c.tone = whole(tone);
    c.file = to_samples(pink_noise(frames, amplitude_of(-56), 8));
    for (size_t t = 0; t < c.file.size(); ++t) c.file[t] = int16_t(c.file[t] + c.tone[t]);
    c.to = kSeconds;
    c.drift_hz = kRise * kSeconds;
    return c;
}

// A 1 kHz sine at +12 dBFS in a floating-point file, as the tool converts it to 16 bits.
Clip float_over_full_scale()
{
    constexpr double kSeconds = 5, kTo = kFrom + 2;
    SampleBlock block;
    block.integer = false;
    block.channels = 1;
    block.resize(int64_t(kSeconds * kRate));
    const std::vector<double> noise = quiet_noise(kSeconds, -50);
    for (int64_t t = 0; t < block.frames; ++t) {
        const bool on = t >= first_frame(kFrom, kRate) && t < end_frame(kTo, kRate);
        block.reals[size_t(t)] =
            (noise[size_t(t)] + (on ? amplitude_of(12) * std::sin(2 * M_PI * 1000 * t / kRate) : 0)) / 32768;
    }
    std::vector<int16_t> file(size_t(block.frames));
    Narrowing narrowing;
    to_16bit(block, 0, block.frames, file.data(), &narrowing);
    return component_of(std::move(file), 1000, 1000, kFrom, kTo);
}

double square(double phase) { return phase < 0.5 ? 1.0 : -1.0; }
double sawtooth(double phase) { return 2 * phase - 1; }
double clipped_sine(double phase) { return std::clamp(2 * std::sin(2 * M_PI * phase), -1.0, 1.0); }

std::vector<Case> cases()
{
    std::vector<Case> v;
    for (const double low : {697.0, 770.0, 852.0, 941.0})
        for (const double high : {1209.0, 1336.0, 1477.0, 1633.0})
            for (const bool check_low : {true, false}) {
                const std::string pair = "key_" + std::to_string(int(low)) + "_" + std::to_string(int(high));
                v.push_back({pair + "_at_" + std::to_string(int(check_low ? low : high)), check_low ? low : high,
                             [=] { return key_pair(low, high, check_low); }});
            }
    for (const auto& [name, a, b] : {std::tuple<const char*, double, double>{"ringback", 440, 480}, {"busy", 480, 620}})
        for (const bool first : {true, false})
            v.push_back({std::string(name) + "_at_" + std::to_string(int(first ? a : b)), first ? a : b, [=] {
                             return tones_over(quiet_noise(5, -50), {{first ? a : b, -19}, {first ? b : a, -19}}, kFrom,
                                               kFrom + 2);
                         }});
    const double sit[] = {913.8, 1370.6, 1776.7};
    for (int i = 0; i < 3; ++i)
        v.push_back({"three_tones_at_" + std::to_string(int(sit[i])), sit[i], [=] {
                         return tones_over(quiet_noise(5, -50),
                                           {{sit[i], -20}, {sit[(i + 1) % 3], -20}, {sit[(i + 2) % 3], -20}}, kFrom,
                                           kFrom + 1.5);
                     }});
    for (const int apart_ms : {0, 10, 30})
        v.push_back({"beep_" + std::to_string(apart_ms) + "ms_after_a_note", 3100,
                     [=] { return beep_with_note(apart_ms / 1000.0); }});
    v.push_back({"whine_drifting_ten_minutes", 2000 + 0.05 * 300, drifting_whine});
    v.push_back({"square_buzz_50", 50, [] { return wave_over_noise(50, -18, square, 50); }});
    v.push_back({"sawtooth_buzz_50", 50, [] { return wave_over_noise(50, -18, sawtooth, 50); }});
    v.push_back({"clipped_sine_1000", 1000, [] { return wave_over_noise(1000, -4, clipped_sine, 1000); }});
    v.push_back({"clipped_sine_its_3000", 3000, [] { return wave_over_noise(1000, -4, clipped_sine, 3000); }});
    v.push_back({"float_over_full_scale_1000", 1000, float_over_full_scale});
    v.push_back({"beep_6s_past_one_stretch", 1000, [] {
                     return tones_over(quiet_noise(10, -40), {{1000, -20}}, kFrom, kFrom + 6);
                 }});
    v.push_back({"beep_under_speech_4300", 4300, [] {
                     return tones_over(speech_like_noise(5 * kRate, kRate, 200, 6000, amplitude_of(-26) / M_SQRT2, 9),
                                       {{4300, -26}}, kFrom, kFrom + 1.5);
                 }});
    // 35 Hz at -45 dBFS and 19.5 kHz at -30 dBFS throughout, a 1 kHz beep at -30 dBFS.
    const std::pair<double, double> low{35, -45}, high{19500, -30}, beep{1000, -30};
    v.push_back({"low_hum_beside_a_beep_35", 35, [=] {
                     std::vector<double> x = quiet_noise(5, -60);
                     add_sine(&x, kRate, 1000, -30, kFrom, kFrom + 1.5, 0.5);
                     add_sine(&x, kRate, 19500, -30, 0, 5, 0.9);
                     return tones_over(std::move(x), {low}, 0, 5);
                 }});
    v.push_back({"high_whine_beside_a_beep_19500", 19500, [=] {
                     std::vector<double> x = quiet_noise(5, -60);
                     add_sine(&x, kRate, 1000, -30, kFrom, kFrom + 1.5, 0.5);
                     add_sine(&x, kRate, 35, -45, 0, 5, 0.9);
                     return tones_over(std::move(x), {high}, 0, 5);
                 }});
    v.push_back({"beep_beside_hum_and_whine_1000", 1000, [=] {
                     std::vector<double> x = quiet_noise(5, -60);
                     add_sine(&x, kRate, 35, -45, 0, 5, 0.9);
                     add_sine(&x, kRate, 19500, -30, 0, 5, 0.5);
                     return tones_over(std::move(x), {beep}, kFrom, kFrom + 1.5);
                 }});
    // Two whines 0.5 Hz apart, checked as one tone at their mean, as both together.
    v.push_back({"two_tones_beating_1000_1000.5", 1000.25, [] {
                     Clip c = tones_over(quiet_noise(9, -50), {{1000, -30}}, kFrom, kFrom + 6);
                     std::vector<double> other(c.file.size(), 0.0);
                     add_sine(&other, kRate, 1000.5, -30, kFrom, kFrom + 6, 2.0);
                     const std::vector<int16_t> o = to_samples(other);
                     for (size_t t = 0; t < c.file.size(); ++t) {
                         c.file[t] = int16_t(c.file[t] + o[t]);
                         c.tone[t] += o[t];
                     }
                     return c;
                 }});
    for (Case& c : v) std::replace(c.name.begin(), c.name.end(), '.', '_');
    return v;
}

Audio mono(int32_t rate, std::vector<int16_t> samples)
{
    Audio a;
    a.rate = rate;
    a.channels = 1;
    a.samples = std::move(samples);
    return a;
}

// `detect --hz` over the whole file, as the tool runs it; nothing chosen and checked
// where no tone is listed near `hz`.
ChosenTone detect_at(FilterTable& table, const Audio& file, double hz)
{
    DetectFile f;
    f.rate = file.rate;
    f.channels = file.channels;
    f.frames = file.frames();
    const SampleSource whole = source_of(file);
    f.from = [&whole](int64_t origin) {
        SampleSource s = whole;
        s.frames = whole.frames - origin;
        s.fill = [&whole, origin](int64_t from, int64_t end, int16_t* to) {
            whole.fill(origin + from, origin + end, to);
        };
        return s;
    };
    DetectRequest rq;
    rq.name = "clip.wav";
    rq.hz_given = true;
    rq.hz = hz;
    const DetectAnswer a = detect_use_case(table, f, rq, nullptr);
    return a.chosen_given ? a.chosen : ChosenTone{};
}

// The tone as it was made, for a fit and check where detect did not list it.
Tone made_tone(const Clip& clip, double hz)
{
    Tone t;
    t.found = true;
    t.hz = hz;
    t.first = first_frame(clip.from, clip.rate);
    t.end = std::min<int64_t>(int64_t(clip.file.size()), end_frame(clip.to, clip.rate));
    double power = 0;
    for (int64_t i = t.first; i < t.end; ++i) power += double(clip.tone[size_t(i)]) * clip.tone[size_t(i)];
    t.level_dbfs = 10 * std::log10(2 * power / double(t.end - t.first)) - 20 * std::log10(32767.0);
    t.drift_hz = clip.drift_hz;
    t.from_region_start = t.first == 0;
    t.to_region_end = t.end == int64_t(clip.file.size());
    return t;
}

}  // namespace

class CheckAgainstIndependent : public ::testing::TestWithParam<Case> {};
TEST_P(CheckAgainstIndependent, TheSelfCheckReadsTheCutAsTheRenderingsDo)
{
    const Case& c = GetParam();
    Clip clip = c.make();
    std::vector<int16_t> without(clip.file.size());
    for (size_t t = 0; t < without.size(); ++t) {
        const int32_t v = int32_t(clip.file[t]) - clip.tone[t];
        ASSERT_TRUE(v >= -32768 && v <= 32767) << "the tone-free programme does not fit 16 bits at " << t;
        without[t] = int16_t(v);
    }
    const Audio file = mono(clip.rate, std::move(clip.file)), tone_free = mono(clip.rate, std::move(without));
    PluginSession plugin(TULM_MODULE);

    ChosenTone chosen = detect_at(plugin.table(), file, c.hz);
    const bool listed = chosen.checked;
    if (!listed) {
        chosen.tone = made_tone(clip, c.hz);
        chosen.fit = fit_settings(plugin.table(), file, file.frames(), chosen.tone, 30, 1);
        chosen.check = check_cut(plugin.table(), file, file.frames(), chosen.tone, chosen.fit);
    }
    const double independent =
        independent_cut_db(plugin.table(), file, tone_free, chosen.fit.settings, chosen.fit.placement);
    RecordProperty("listed", listed ? "yes" : "no");
    RecordProperty("check_db", std::to_string(chosen.check.cut_db));
    RecordProperty("independent_db", std::to_string(independent));
    EXPECT_NEAR(chosen.check.cut_db, independent, 3.0)
        << (listed ? "listed" : "not listed") << " at " << chosen.tone.hz << " Hz, "
        << double(chosen.tone.first) / file.rate << " s to " << double(chosen.tone.end) / file.rate
        << " s; checked over " << double(chosen.check.extent_first) / file.rate << " s to "
        << double(chosen.check.extent_end) / file.rate << " s; stretch from "
        << double(chosen.fit.stretch_first) / file.rate << " s, FFT " << chosen.fit.notch.n << ", width "
        << chosen.fit.settings.slider[kWidth] << ", switching read as " << 1000 * chosen.fit.switch_frames / file.rate
        << " ms";
}
INSTANTIATE_TEST_SUITE_P(Signals, CheckAgainstIndependent, ::testing::ValuesIn(cases()), CaseName());
