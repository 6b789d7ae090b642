// Screens each clip of the corpus for steady tones of its own (a mains hum, a whine, a
// test tone left in) with a spectrum of its own, not the tool's detector: a long-window
// average picks the peaks that stand over the median of their neighbourhood, and a look
// at each second of the clip tells whether such a peak is there nearly all the time at
// one frequency (a hum or a whine) or only now and then (a note). Run by hand:
//   corpus_screen [--corpus FILE] [--only TEXT]
// It prints, for each recording, its candidates and, for the file's own_hz column, the
// frequencies of those that held their frequency and level. Those that held their
// frequency only (a hum heard only while the words sound, or a note) are marked for
// review: the file's notes say which of them were taken as the recording's own.
#include <fftw3.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tool/analysis/tool_error.h"
#include "corpus.h"

namespace {

constexpr double kAverageWindowS = 0.75;   // about 1.3 Hz bins: a hum's partials stand apart
constexpr double kLookS = 1.0;             // the per-second look
constexpr double kAverageOverFloorDb = 10; // a candidate in the long-window average
constexpr double kSecondOverFloorDb = 6;   // present in one second
constexpr double kFloorReachHz = 40;       // the neighbourhood a floor is the median of
constexpr double kHeldShare = 0.8;         // of the seconds, for a tone of the recording's own
constexpr double kHeldSpreadHz = 1.0;      // its frequency from second to second
constexpr double kHeldLevelDb = 3.0;       // its level from second to second: notes swell and decay
constexpr double kQuietestDbfs = -90;

// Hann-windowed power spectra of `n`-frame blocks of the channels' mean, averaged over
// blocks [first, end) at a hop of n/2; scaled so a full-scale sine's bins sum to 0.5.
std::vector<double> power_spectrum(const Audio& a, int64_t first, int64_t end, int64_t n)
{
    std::vector<double> power(size_t(n / 2 + 1), 0.0);
    std::vector<double> w(static_cast<size_t>(n));
    double energy = 0;
    for (int64_t j = 0; j < n; ++j) {
        w[size_t(j)] = 0.5 - 0.5 * std::cos(2 * M_PI * (j + 0.5) / double(n));
        energy += w[size_t(j)] * w[size_t(j)];
    }
    double* in = fftw_alloc_real(size_t(n));
    fftw_complex* out = fftw_alloc_complex(size_t(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(int(n), in, out, FFTW_ESTIMATE);
    int blocks = 0;
    for (int64_t at = first; at + n <= end; at += n / 2, ++blocks) {
        for (int64_t j = 0; j < n; ++j) {
            double v = 0;
            for (int32_t k = 0; k < a.channels; ++k) v += a.samples[size_t((at + j) * a.channels + k)];
            in[j] = w[size_t(j)] * v / (32767.0 * a.channels);
        }
        fftw_execute(plan);
        for (int64_t b = 0; b <= n / 2; ++b) power[size_t(b)] += out[b][0] * out[b][0] + out[b][1] * out[b][1];
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
    for (double& p : power) p *= 2 / (double(n) * energy * std::max(blocks, 1));
    return power;
}

double db(double p) { return 10 * std::log10(std::max(p, 1e-30)); }

// The median power of the bins within kFloorReachHz of bin k, leaving out its own peak.
double floor_at(const std::vector<double>& p, int64_t k, double bin_hz)
{
    const int64_t reach = std::max<int64_t>(4, int64_t(kFloorReachHz / bin_hz));
    std::vector<double> v;
    for (int64_t j = k - reach; j <= k + reach; ++j)
        if (j > 0 && j < int64_t(p.size()) && std::llabs(j - k) > 2) v.push_back(p[size_t(j)]);
    if (v.empty()) return 1e-30;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

struct Candidate {
    double hz, level_dbfs, over_floor_db;
    int seconds_present = 0, seconds = 0;
    double spread_hz = 0, level_range_db = 0;
    // At one frequency nearly all the time: a hum, a whine, or a note held throughout.
    bool steady() const
    {
        return seconds >= 2 && seconds_present >= kHeldShare * seconds && spread_hz <= kHeldSpreadHz;
    }
    bool held() const { return steady() && level_range_db <= kHeldLevelDb; }
};

std::vector<Candidate> screen(const Audio& clip)
{
    const int64_t frames = clip.frames();
    const int64_t n = int64_t(kAverageWindowS * clip.rate) & ~int64_t(1);
    const double bin_hz = double(clip.rate) / n;
    const std::vector<double> avg = power_spectrum(clip, 0, frames, n);
    std::vector<Candidate> out;
    const int64_t look = int64_t(kLookS * clip.rate);
    std::vector<std::vector<double>> seconds;
    for (int64_t at = 0; at + look <= frames; at += look) seconds.push_back(power_spectrum(clip, at, at + look, look));
    const double look_bin_hz = double(clip.rate) / look;
    for (int64_t k = 2; k + 2 < int64_t(avg.size()); ++k) {
        if (avg[size_t(k)] < avg[size_t(k - 1)] || avg[size_t(k)] < avg[size_t(k + 1)]) continue;
        const double over = db(avg[size_t(k)]) - db(floor_at(avg, k, bin_hz));
        const double level = db(avg[size_t(k - 1)] + avg[size_t(k)] + avg[size_t(k + 1)]) + 3.0103;
        if (over < kAverageOverFloorDb || level < kQuietestDbfs) continue;
        Candidate c{k * bin_hz, level, over};
        std::vector<double> where, levels;
        for (const std::vector<double>& p : seconds) {
            const int64_t centre = std::lround(c.hz / look_bin_hz);
            int64_t best = centre;
            for (int64_t j = centre - 1; j <= centre + 1; ++j)
                if (j > 0 && j < int64_t(p.size()) && p[size_t(j)] > p[size_t(best)]) best = j;
            ++c.seconds;
            if (db(p[size_t(best)]) - db(floor_at(p, best, look_bin_hz)) >= kSecondOverFloorDb) {
                ++c.seconds_present;
                where.push_back(best * look_bin_hz);
                levels.push_back(db(p[size_t(best - 1)] + p[size_t(best)] + p[size_t(best + 1)]));
            }
        }
        if (!where.empty()) {
            c.spread_hz = *std::max_element(where.begin(), where.end()) - *std::min_element(where.begin(), where.end());
            c.level_range_db = *std::max_element(levels.begin(), levels.end()) - *std::min_element(levels.begin(), levels.end());
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    std::string corpus_path = TULM_CORPUS, only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--corpus" && i + 1 < argc) corpus_path = argv[++i];
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else {
            fmt::print(stderr, "corpus_screen: unknown option '{}'\n", a);
            return 2;
        }
    }
    try {
        const Corpus corpus = read_corpus(corpus_path);
        for (const Recording& r : corpus.recordings) {
            if (r.path.find(only) == std::string::npos) continue;
            Audio clip;
            try {
                clip = load_clip(r);
            } catch (const ToolError& e) {
                fmt::print("{}: skipped: {}\n", r.path, e.what());
                continue;
            }
            const std::vector<Candidate> found = screen(clip);
            std::string held;
            fmt::print("{} ({:.1f} s at {} Hz):\n", r.path, double(clip.frames()) / clip.rate, clip.rate);
            for (const Candidate& c : found) {
                fmt::print("  {:8.1f} Hz {:6.1f} dBFS {:5.1f} dB over its floor, in {}/{} s, spread {:.1f} Hz, level range {:.1f} dB{}\n",
                           c.hz, c.level_dbfs, c.over_floor_db, c.seconds_present, c.seconds, c.spread_hz, c.level_range_db,
                           c.held() ? "  HELD" : c.steady() ? "  STEADY (level varies: judge by ear)" : "");
                if (c.held()) held += fmt::format("{}{:.1f}", held.empty() ? "" : ",", c.hz);
            }
            fmt::print("  own_hz: {}\n", held.empty() ? "-" : held);
        }
    } catch (const ToolError& e) {
        fmt::print(stderr, "corpus_screen: {}\n", e.what());
        return 1;
    }
    return 0;
}
