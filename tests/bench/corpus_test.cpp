// The evaluation corpus's tooling: the split into halves, the committed file against
// that rule, and the tones mixed into a clip at the level asked over its band. None of
// these needs the corpus's recordings; the clips here are made in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/corpus.h"

namespace {

Recording rec(const std::string& path, const std::string& kind, bool tuned = false)
{
    Recording r;
    r.package = "p";
    r.path = path;
    r.kind = kind;
    r.seconds = 10;
    r.tuned = tuned;
    return r;
}

// Kinds of several sizes, one with more recordings tuned on than free.
std::vector<Recording> sample_recordings()
{
    std::vector<Recording> v;
    for (int i = 0; i < 7; ++i) v.push_back(rec("/s/speech" + std::to_string(i), "speech", i == 0));
    for (int i = 0; i < 2; ++i) v.push_back(rec("/s/room" + std::to_string(i), "room"));
    for (int i = 0; i < 5; ++i) v.push_back(rec("/s/jingle" + std::to_string(i), "jingle", i < 4));
    for (int i = 0; i < 4; ++i) v.push_back(rec("/s/drone" + std::to_string(i), "drone"));
    return v;
}

std::map<std::string, std::string> halves_by_path(const std::vector<Recording>& v, uint64_t seed)
{
    const std::vector<std::string> h = split_halves(v, seed);
    std::map<std::string, std::string> m;
    for (size_t i = 0; i < v.size(); ++i) m[v[i].path] = h[i];
    return m;
}

// Mono or stereo noise from a fixed seed, about `rms_dbfs` per channel (a full-scale
// sine is 0 dBFS, so white noise of mean square m lies at 10 log10(2 m)).
Audio noise_clip(int32_t rate, int32_t channels, double seconds, double rms_dbfs, uint64_t seed)
{
    Audio a;
    a.rate = rate;
    a.channels = channels;
    a.samples.resize(size_t(seconds * rate) * size_t(channels));
    Draw d{seed};
    const double sigma = std::sqrt(std::pow(10.0, rms_dbfs / 10) / 2) * 32767;
    for (int16_t& s : a.samples) {
        double g = -6;
        for (int k = 0; k < 12; ++k) g += d.uniform();
        s = int16_t(std::lrint(sigma * g));
    }
    return a;
}

// Level (dBFS) of the `hz` component of channel 0 of `a - b` over [first, end), by
// projection onto a sine and a cosine.
double added_level_dbfs(const Audio& a, const Audio& b, double hz, int64_t first, int64_t end)
{
    double c = 0, s = 0;
    for (int64_t t = first; t < end; ++t) {
        const double x = (double(a.samples[size_t(t * a.channels)]) - b.samples[size_t(t * b.channels)]) / 32767;
        c += x * std::cos(2 * M_PI * hz * double(t) / a.rate);
        s += x * std::sin(2 * M_PI * hz * double(t) / a.rate);
    }
    const double amplitude = 2 * std::hypot(c, s) / double(end - first);
    return 20 * std::log10(amplitude);
}

} // namespace

// Whatever order the file lists them in, each recording lands in the same half; each
// kind of two or more lies in both halves; what was tuned on stays in the tuning half.
TEST(CorpusSplit, StableStratifiedAndTunedStayTuning)
{
    const std::vector<Recording> v = sample_recordings();
    for (uint64_t seed : {1ull, 20261209ull, 0xdeadbeefull}) {
        const auto base = halves_by_path(v, seed);
        std::vector<Recording> shuffled = v;
        std::reverse(shuffled.begin(), shuffled.end());
        std::rotate(shuffled.begin(), shuffled.begin() + 5, shuffled.end());
        EXPECT_EQ(halves_by_path(shuffled, seed), base) << seed;

        std::map<std::string, std::map<std::string, int>> count;
        for (const Recording& r : v) {
            ++count[r.kind][base.at(r.path)];
            if (r.tuned) {
                EXPECT_EQ(base.at(r.path), "tuning") << r.path;
            }
        }
        for (const auto& [kind, halves] : count) {
            EXPECT_GE(halves.count("held-out") ? halves.at("held-out") : 0, 1) << kind << " seed " << seed;
            EXPECT_GE(halves.count("tuning") ? halves.at("tuning") : 0, 1) << kind << " seed " << seed;
        }
        // Kinds with nothing tuned on split evenly, the odd one to the held-out half.
        EXPECT_EQ(count["speech"]["held-out"], 4) << seed;
        EXPECT_EQ(count["room"]["held-out"], 1) << seed;
        EXPECT_EQ(count["drone"]["held-out"], 2) << seed;
        EXPECT_EQ(count["jingle"]["held-out"], 1) << seed;
    }
    // The seed decides which recordings go where.
    EXPECT_NE(halves_by_path(v, 1), halves_by_path(v, 2));
}

// The committed corpus: its halves are the rule's for its seed, and it is as broad as
// the evaluation needs.
TEST(CorpusSplit, CommittedFileFollowsTheRule)
{
    const Corpus c = read_corpus(TULM_CORPUS);
    const std::vector<std::string> rule = split_halves(c.recordings, c.seed);
    std::set<std::string> packages, languages, kinds;
    for (size_t i = 0; i < rule.size(); ++i) {
        EXPECT_EQ(c.recordings[i].half, rule[i]) << c.recordings[i].path;
        packages.insert(c.recordings[i].package);
        if (c.recordings[i].language != "-") languages.insert(c.recordings[i].language);
        kinds.insert(c.recordings[i].kind + " " + rule[i]);
    }
    EXPECT_GE(c.recordings.size(), 30u);
    EXPECT_GE(packages.size(), 8u);
    EXPECT_GE(languages.size(), 5u);
    for (const Recording& r : c.recordings) {
        EXPECT_TRUE(kinds.count(r.kind + " tuning")) << r.kind;
        EXPECT_TRUE(kinds.count(r.kind + " held-out")) << r.kind;
    }
}

// A sine lies whole in its band; white noise fills its band in proportion to the band's
// width: each at the level computed from its own numbers.
TEST(CorpusLevels, BandLevelOfSineAndNoise)
{
    struct Case {
        int32_t rate, channels;
        double hz;
    };
    const Case cases[] = {{44100, 1, 60}, {44100, 2, 1000}, {48000, 2, 4700.5}, {48000, 1, 16000}};
    for (const Case& k : cases) {
        Audio sine;
        sine.rate = k.rate;
        sine.channels = k.channels;
        const int64_t n = k.rate * 2;
        for (int64_t t = 0; t < n; ++t)
            for (int32_t c = 0; c < k.channels; ++c)
                sine.samples.push_back(int16_t(std::lrint(0.1 * 32767 * std::sin(2 * M_PI * k.hz * double(t) / k.rate))));
        EXPECT_NEAR(band_level_dbfs(sine, k.hz, 0, n), -20.0, 0.1) << k.hz;

        const Audio noise = noise_clip(k.rate, k.channels, 2.0, -30, 7);
        const double expected = -30 + 10 * std::log10(critical_band_hz(k.hz) / (k.rate / 2.0));
        EXPECT_NEAR(band_level_dbfs(noise, k.hz, 0, n), expected, 0.6) << k.hz;
    }
}

// Every mixed case: its tone at the level asked over the programme in its band, within
// the ranges users meet, the same for the same seed, and clear of the recording's own
// tones.
TEST(CorpusCases, MixedAtTheLevelAskedWithinTheirRanges)
{
    const struct {
        int32_t rate, channels;
        double seconds, rms_dbfs;
    } clips[] = {{44100, 2, 10, -30}, {48000, 1, 4, -45}, {44100, 1, 2.1, -110}};
    for (const auto& k : clips) {
        const Audio clip = noise_clip(k.rate, k.channels, k.seconds, k.rms_dbfs, 3);
        Recording r = rec("/s/clip" + std::to_string(k.rate) + std::to_string(k.seconds), "speech");
        r.own_hz = {1000, 3000};
        const std::vector<MixCase> cases = make_cases(clip, r, 11);
        ASSERT_EQ(cases.size(), 6u);
        const std::vector<MixCase> again = make_cases(clip, r, 11);
        const double frames = double(clip.frames()), rate = clip.rate;
        for (size_t i = 0; i < cases.size(); ++i) {
            const MixCase& c = cases[i];
            const std::string what = c.describe(clip.rate);
            EXPECT_EQ(again[i].describe(clip.rate), what);
            const double band = band_level_dbfs(clip, c.partials[0].hz, c.first, c.end);
            EXPECT_NEAR(c.level_dbfs, band + c.over_band_db, 1e-9) << what;
            const double level = c.level_dbfs;
            // A pair's two tones together, each 3 dB under that or lower.
            const double first_partial = c.kind == CaseKind::pair ? level - 3 : level;
            EXPECT_NEAR(c.partials[0].level_dbfs, first_partial, 1e-9) << what;
            for (const Partial& p : c.partials) EXPECT_LE(p.level_dbfs, first_partial + 1e-9) << what;
            EXPECT_TRUE((c.over_band_db >= kFaintestOverBandDb - 1e-9 && c.over_band_db <= kLoudestOverBandDb + 1e-9) ||
                        std::fabs(level - kQuietestDbfs) < 1e-9 || std::fabs(level - kLoudestDbfs) < 1e-9)
                << what;
            EXPECT_GE(c.partials[0].hz, c.kind == CaseKind::hum ? 50.0 : 60.0) << what;
            EXPECT_LE(c.partials.back().hz, 16000.0) << what;
            for (const Partial& p : c.partials)
                for (double own : r.own_hz) EXPECT_GE(std::fabs(p.hz - own), 15.0) << what;
            EXPECT_GE(c.ramp, 0.005 * rate - 1) << what;
            EXPECT_LE(c.ramp, 0.050 * rate + 1) << what;
            EXPECT_GE(c.end - c.first, 0.6 * rate) << what;
            if (c.kind == CaseKind::hum) {
                EXPECT_GE(c.partials.size(), 2u) << what;
                EXPECT_LE(c.partials.size(), 5u) << what;
                for (size_t h = 0; h < c.partials.size(); ++h)
                    EXPECT_NEAR(c.partials[h].hz, c.partials[0].hz * double(h + 1), 1e-9) << what;
            }
            if (c.kind == CaseKind::pair) {
                EXPECT_GE(c.partials[1].hz - c.partials[0].hz, 0.2) << what;
                EXPECT_LE(c.partials[1].hz - c.partials[0].hz, 1.0) << what;
            }
            if (c.role == "edge") {
                EXPECT_TRUE(c.first <= rate || c.end >= frames - rate) << what;
            }
            if (c.role == "long") {
                EXPECT_GT(c.end - c.first, 3.0 * rate) << what;
            }

            // The tone as mixed, read back from the clip over its steady middle.
            if (c.kind != CaseKind::single) continue;
            const Audio mixed = mix_case(clip, c);
            const int64_t from = c.first + c.ramp, to = c.end - c.ramp;
            EXPECT_NEAR(added_level_dbfs(mixed, clip, c.partials[0].hz, from, to), level, 0.2) << what;
        }
        EXPECT_TRUE(std::any_of(cases.begin(), cases.end(), [](const MixCase& c) { return c.role == "edge"; }));
        EXPECT_EQ(std::any_of(cases.begin(), cases.end(), [](const MixCase& c) { return c.role == "long"; }),
                  k.seconds >= 4.5);
    }
}
