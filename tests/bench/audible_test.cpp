// The corpus's own test of audibility, on made signals: a tone over or under white
// noise in its critical band, the noise sounding through all of the tone's frames or
// only part of them.
#include <gtest/gtest.h>

#include <cmath>

#include "bench/audible.h"
#include "bench/corpus.h"

namespace {

constexpr int32_t kRate = 44100;

Audio silent(double seconds)
{
    Audio a;
    a.rate = kRate;
    a.channels = 1;
    a.samples.assign(size_t(seconds * kRate), 0);
    return a;
}

struct Case {
    double hz;
    double over_band_db;  // the tone's level over the noise's in its band
    double noisy_share;   // of the tone's extent, from its start, that the noise sounds through
    bool audible;
};

TEST(Audible, MaskedInFewerThanHalfItsFrames)
{
    const Case cases[] = {
        {1000, 10, 1.0, true},   {1000, -10, 1.0, false}, {4000, 10, 1.0, true},
        {4000, -10, 1.0, false}, {1000, -10, 0.4, true},  {1000, -10, 0.6, false},
    };
    constexpr double kNoiseDbfs = -30, kFirst = 0.5, kEnd = 2.5;
    for (const Case& k : cases) {
        Audio programme = silent(3), tone = silent(3);
        Draw d{17};
        // Uniform noise of mean square m lies at 10 log10(2 m) dBFS; its band holds the
        // band's share of half the rate.
        const double span = std::sqrt(3 * std::pow(10.0, kNoiseDbfs / 10) / 2) * 32767;
        const int64_t noisy_end = int64_t((kFirst + k.noisy_share * (kEnd - kFirst)) * kRate);
        for (int64_t s = 0; s < noisy_end; ++s)
            programme.samples[size_t(s)] = int16_t(std::lrint(d.between(-span, span)));
        const double band_dbfs = kNoiseDbfs + 10 * std::log10(critical_band_hz(k.hz) / (kRate / 2.0));
        const double amplitude = std::pow(10.0, (band_dbfs + k.over_band_db) / 20) * 32767;
        for (int64_t s = int64_t(kFirst * kRate); s < int64_t(kEnd * kRate); ++s)
            tone.samples[size_t(s)] = int16_t(std::lrint(amplitude * std::sin(2 * M_PI * k.hz * double(s) / kRate)));
        const Audibility a = audibility(tone, programme, k.hz, int64_t(kFirst * kRate), int64_t(kEnd * kRate));
        EXPECT_EQ(a.frames, 20) << k.hz;
        EXPECT_EQ(a.audible(), k.audible) << k.hz << " Hz, " << k.over_band_db << " dB, noise through " << k.noisy_share
                                          << " of it: masked in " << a.masked;
    }
}

}  // namespace
