#include <algorithm>
#include <cmath>

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

// Over the program in its band a tone is heard at all; the longer it lasts, the more of
// it is heard: its energy over the program's, 3 dB more for each doubling of its length.
void rank_by_audibility(std::vector<Tone>* tones, int32_t rate)
{
    for (Tone& t : *tones)
        t.audibility_db = t.over_band_db + 10 * std::log10(std::max<double>(t.end - t.first, 1) / rate);
    std::stable_sort(tones->begin(), tones->end(),
                     [](const Tone& a, const Tone& b) { return a.audibility_db > b.audibility_db; });
}
