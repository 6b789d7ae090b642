#include "cli/detect.h"

#include <algorithm>
#include <cmath>

#include "cli/spectrum.h"

namespace {

constexpr int kParts = 6;              // parts of the stretch the tone must last through
constexpr double kMinAboveFloor = 10;  // dB a peak must stand out to be a candidate
constexpr double kHarmonicAboveFloor = 15;
constexpr int kMaxCandidates = 12;

double median_floor_db(const Spectrum& s)
{
    std::vector<double> db;
    for (size_t b = 0; b < s.power.size(); ++b) {
        const double hz = b * s.bin_hz();
        if (hz >= 20 && hz <= 0.95 * s.rate / 2) db.push_back(to_db(s.power[b]));
    }
    if (db.empty()) return -300;
    std::nth_element(db.begin(), db.begin() + db.size() / 2, db.end());
    return db[db.size() / 2];
}

// Strongest bin within `radius` bins of `centre`.
int32_t peak_near(const Spectrum& s, double centre_bin, double radius)
{
    const int32_t last = int32_t(s.power.size()) - 1;
    int32_t lo = int32_t(std::floor(centre_bin - radius));
    int32_t hi = int32_t(std::ceil(centre_bin + radius));
    lo = std::max(lo, 1);
    hi = std::min(hi, last - 1);
    int32_t best = std::clamp(int32_t(std::lround(centre_bin)), 1, last - 1);
    for (int32_t b = lo; b <= hi; ++b)
        if (s.power[b] > s.power[best]) best = b;
    return best;
}

// A sine's power spreads over the Hann main lobe; summing it makes the level
// independent of where the tone falls between bins.
double lobe_power(const Spectrum& s, int32_t k)
{
    double sum = 0;
    for (int32_t b = k - 2; b <= k + 2; ++b)
        if (b >= 0 && b < int32_t(s.power.size())) sum += s.power[b];
    return sum;
}

std::vector<int32_t> candidate_peaks(const Spectrum& s, double floor_db)
{
    std::vector<int32_t> peaks;
    const int32_t last = int32_t(s.power.size()) - 3;
    for (int32_t b = 2; b < last; ++b) {
        if (b * s.bin_hz() < 20) continue;
        const double p = s.power[b];
        if (p < s.power[b - 1] || p < s.power[b - 2] || p <= s.power[b + 1] || p <= s.power[b + 2])
            continue;
        if (to_db(p) - floor_db >= kMinAboveFloor) peaks.push_back(b);
    }
    std::sort(peaks.begin(), peaks.end(), [&](int32_t a, int32_t b) { return s.power[a] > s.power[b]; });
    if (peaks.size() > size_t(kMaxCandidates)) peaks.resize(kMaxCandidates);
    return peaks;
}

} // namespace

Tone detect_tone(const Audio& audio, int64_t first, int64_t count)
{
    Tone tone;
    if (count < 1024) return tone;
    const int16_t* x = audio.samples.data();
    const Spectrum whole =
        average_spectrum(x, audio.channels, audio.rate, first, count, segment_length(count / 2, 16384));
    const double floor_db = median_floor_db(whole);

    const int64_t part_len = count / kParts;
    const int32_t part_n = segment_length(part_len, 8192);
    std::vector<Spectrum> parts;
    for (int p = 0; p < kParts; ++p)
        parts.push_back(average_spectrum(x, audio.channels, audio.rate, first + p * part_len, part_len, part_n));

    // Score each candidate by its weakest part: steady tones keep their level throughout.
    double best_score = -1e300;
    int32_t best_bin = -1;
    std::vector<double> best_hz, best_level;
    for (const int32_t b : candidate_peaks(whole, floor_db)) {
        const double hz = b * whole.bin_hz();
        std::vector<double> hzs, levels;
        for (const Spectrum& s : parts) {
            const int32_t k = peak_near(s, hz / s.bin_hz(), 2.0);
            hzs.push_back(refine_peak(s.power, k) * s.bin_hz());
            levels.push_back(to_db(lobe_power(s, k)));
        }
        const double score = *std::min_element(levels.begin(), levels.end());
        if (score > best_score) {
            best_score = score;
            best_bin = b;
            best_hz = hzs;
            best_level = levels;
        }
    }
    if (best_bin < 0) return tone;

    tone.found = true;
    tone.resolution_hz = whole.bin_hz();
    tone.hz = refine_peak(whole.power, best_bin) * whole.bin_hz();
    tone.level_dbfs = to_db(2.0 * lobe_power(whole, best_bin));
    tone.above_floor_db = to_db(whole.power[best_bin]) - floor_db;
    tone.drift_hz = *std::max_element(best_hz.begin(), best_hz.end()) -
                    *std::min_element(best_hz.begin(), best_hz.end());
    tone.level_range_db = *std::max_element(best_level.begin(), best_level.end()) -
                          *std::min_element(best_level.begin(), best_level.end());

    for (int32_t h = 2; h <= 10; ++h) {
        const double hz = tone.hz * h;
        if (hz > 0.95 * audio.rate / 2) break;
        const double radius = std::max(2.0, h * tone.drift_hz / whole.bin_hz());
        const int32_t k = peak_near(whole, hz / whole.bin_hz(), radius);
        if (to_db(whole.power[k]) - floor_db < kHarmonicAboveFloor) continue;
        Harmonic harmonic;
        harmonic.order = h;
        harmonic.hz = refine_peak(whole.power, k) * whole.bin_hz();
        harmonic.relative_db = to_db(lobe_power(whole, k)) - to_db(lobe_power(whole, best_bin));
        tone.harmonics.push_back(harmonic);
    }
    return tone;
}
