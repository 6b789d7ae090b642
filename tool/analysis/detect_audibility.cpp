#include <algorithm>
#include <cmath>
#include <iterator>

#include "tool/analysis/detect.h"
#include "tool/analysis/detect_types.h"
#include "tool/analysis/spectrum.h"

double critical_band_hz(double hz)
{
    const double khz = hz / 1000;
    return 25 + 75 * std::pow(1 + 1.4 * khz * khz, 0.69);
}

// The program's power in the band is read from the average spectrum over the tone's
// extent, the analysis block's Hann-windowed segments, in the band's bins outside the
// tone's own: its main lobe and first side lobes (four bins each side), scaled up to the
// whole band. Taking the tone's power out of the band's instead would leave, for a tone
// 40 dB over the program, an error of a tenth of a dB in its level 20 dB over the program.
// A program under the 16-bit floor counts as that floor.
void measure_over_band(const Audio& audio, std::vector<Tone>* tones)
{
    constexpr double kFloorPower = 0.5e-10;  // a sine at -100 dBFS
    constexpr int32_t kOwnBins = 4;
    for (Tone& t : *tones) {
        const int64_t first = std::max<int64_t>(0, t.first), end = std::min(audio.frames(), t.end);
        if (end - first < detection::kSmallestBlock) continue;
        const int32_t n = segment_length(end - first, analysis_length(audio.rate));
        const Spectrum s = average_spectrum(audio.samples.data(), audio.channels, audio.rate, first, end - first, n);
        const double half = critical_band_hz(t.hz) / 2, bin = s.bin_hz();
        const int32_t lo = std::max<int32_t>(1, int32_t(std::ceil((t.hz - half) / bin)));
        const int32_t hi = std::min<int32_t>(n / 2 - 1, int32_t(std::floor((t.hz + half) / bin)));
        double power = 0;
        int32_t used = 0;
        for (int32_t k = lo; k <= hi; ++k)
            if (std::fabs(k * bin - t.hz) > kOwnBins * bin) power += s.power[size_t(k)], ++used;
        const double program = used > 0 ? std::max(power * (hi - lo + 1) / used, kFloorPower) : kFloorPower;
        t.over_band_db = t.level_dbfs - to_db(2 * program);
    }
}

namespace {

// The threshold of hearing in quiet, dB SPL, for a tone heard in a free field by
// young listeners: ISO 226:2003, Table 1 (the threshold, T_f) from 20 Hz to 12.5 kHz,
// and ISO 389-7:2005 (its reference threshold, the same values there) from 14 to 18
// kHz. Between the points it is read linearly in log frequency, and beyond the ends
// along the nearest segment: 19.5 kHz at 96 dB SPL, 24 kHz far over any playback.
struct ThresholdPoint {
    double hz, db_spl;
};
constexpr ThresholdPoint kThresholdInQuiet[] = {
    {20, 78.5},   {25, 68.7},  {31.5, 59.5}, {40, 51.1},    {50, 44.0},    {63, 37.5},    {80, 31.5},    {100, 26.5},
    {125, 22.1},  {160, 17.9}, {200, 14.4},  {250, 11.4},   {315, 8.6},    {400, 6.2},    {500, 4.4},    {630, 3.0},
    {800, 2.2},   {1000, 2.4}, {1250, 3.5},  {1600, 1.7},   {2000, -1.3},  {2500, -4.2},  {3150, -6.0},  {4000, -5.4},
    {5000, -1.5}, {6300, 6.0}, {8000, 12.6}, {10000, 13.9}, {12500, 12.3}, {14000, 18.4}, {16000, 40.2}, {18000, 73.2},
};

}  // namespace

double threshold_in_quiet_db_spl(double hz)
{
    const size_t n = std::size(kThresholdInQuiet);
    size_t i = 1;
    while (i + 1 < n && kThresholdInQuiet[i].hz < hz) ++i;
    const ThresholdPoint a = kThresholdInQuiet[i - 1], b = kThresholdInQuiet[i];
    const double along = std::log(std::max(hz, 1.0) / a.hz) / std::log(b.hz / a.hz);
    return a.db_spl + along * (b.db_spl - a.db_spl);
}

// A tone is heard over the larger of two thresholds: the ear's own in quiet, and the
// program's masking in its critical band, which a tone must reach to within the
// critical ratio. The two add as powers (the ear's own noise and the program's),
// so the figure is the tone's level over their sum: the margin over whichever
// dominates, up to 3 dB less where they are equal. The longer it lasts, the more of it
// is heard: 3 dB more for each doubling of its length.
void rank_by_audibility(std::vector<Tone>* tones, int32_t rate)
{
    for (Tone& t : *tones) {
        const double spl = t.level_dbfs + kFullScaleDbSpl;
        const double quiet = threshold_in_quiet_db_spl(t.hz);
        const double masked = spl - t.over_band_db - kCriticalRatioDb;
        const double threshold = 10 * std::log10(std::pow(10.0, quiet / 10) + std::pow(10.0, masked / 10));
        t.audibility_db = spl - threshold + 10 * std::log10(std::max<double>(t.end - t.first, 1) / rate);
    }
    std::stable_sort(tones->begin(), tones->end(),
                     [](const Tone& a, const Tone& b) { return a.audibility_db > b.audibility_db; });
}
