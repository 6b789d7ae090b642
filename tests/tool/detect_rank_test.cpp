// The list's order is the ear's: a tone near the edges of hearing, however long and
// clear of the programme in its band, does not outrank a beep in the middle of it, and
// one loud enough there still does. The programme is noise in the band of speech, so
// the beep has more to stand over than the tones at the ends of the range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tool/analysis/detect.h"

namespace {

constexpr int32_t kRate = 44100;
constexpr double kSeconds = 8, kBeepFrom = 3, kBeepTo = 4, kBeepHz = 1000, kBeepDbfs = -30;

// A 1 kHz biquad band-pass (Q 0.5, twice over): white noise shaped like speech's band.
Audio speech_band_noise(double rms_dbfs)
{
    const double w = 2 * M_PI * 1000 / kRate, alpha = std::sin(w) / (2 * 0.5);
    const double b0 = alpha / (1 + alpha), a1 = -2 * std::cos(w) / (1 + alpha), a2 = (1 - alpha) / (1 + alpha);
    std::mt19937 random(9);
    std::normal_distribution<double> white(0, 1);
    std::vector<double> v(size_t(kSeconds * kRate));
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0, u1 = 0, u2 = 0, z1 = 0, z2 = 0, power = 0;
    for (double& s : v) {
        const double x = white(random);
        const double y = b0 * (x - x2) - a1 * y1 - a2 * y2;
        const double z = b0 * (y - u2) - a1 * z1 - a2 * z2;
        x2 = x1, x1 = x, y2 = y1, y1 = y, u2 = u1, u1 = y, z2 = z1, z1 = z;
        s = z;
        power += z * z;
    }
    // A full-scale sine's mean square is 1/2.
    const double gain = std::sqrt(std::pow(10.0, rms_dbfs / 10) / 2 / (power / double(v.size())));
    Audio a;
    a.rate = kRate;
    a.channels = 1;
    for (double s : v) a.samples.push_back(int16_t(std::lrint(32767 * gain * s)));
    return a;
}

void add_tone(Audio* a, double hz, double dbfs, double from, double to)
{
    for (int64_t i = int64_t(from * kRate); i < int64_t(to * kRate); ++i) {
        const double in = std::min(double(i) / kRate - from, to - double(i) / kRate), edge = 0.01;
        const double gate = in < edge ? 0.5 - 0.5 * std::cos(M_PI * in / edge) : 1.0;
        const double v = a->samples[size_t(i)] +
                         32767 * gate * std::pow(10.0, dbfs / 20) * std::sin(2 * M_PI * hz * double(i) / kRate);
        a->samples[size_t(i)] = int16_t(std::lrint(std::clamp(v, -32768.0, 32767.0)));
    }
}

struct Held {
    double hz, dbfs;
};
struct EarCase {
    const char* name;
    std::vector<Held> through;  // sounding through the whole clip, beside the 1 s beep
    double first_hz;
};
void PrintTo(const EarCase& c, std::ostream* os) { *os << c.name; }

class RankedByTheEar : public ::testing::TestWithParam<EarCase> {};
TEST_P(RankedByTheEar, FirstListed)
{
    const EarCase c = GetParam();
    Audio a = speech_band_noise(-45);
    add_tone(&a, kBeepHz, kBeepDbfs, kBeepFrom, kBeepTo);
    for (const Held& t : c.through) add_tone(&a, t.hz, t.dbfs, 0, kSeconds);
    const Detection d = detect_tones(a, 0, a.frames());
    ASSERT_EQ(d.tones.size(), c.through.size() + 1);
    EXPECT_NEAR(d.tones[0].hz, c.first_hz, d.resolution_hz);
    // Over the programme in its band alone, and its length, every tone sounding through
    // outranks the beep: what the ear adds decides.
    const auto by_band = [](const Tone& t) {
        return t.over_band_db + 10 * std::log10(double(t.end - t.first) / kRate);
    };
    const Tone* beep = nullptr;
    for (const Tone& t : d.tones)
        if (std::fabs(t.hz - kBeepHz) <= d.resolution_hz) beep = &t;
    ASSERT_NE(beep, nullptr);
    for (const Tone& t : d.tones) {
        if (&t != beep) {
            EXPECT_GT(by_band(t), by_band(*beep)) << t.hz;
        }
        // The programme's masking bounds the figure; the threshold of hearing only lowers it.
        EXPECT_LE(t.audibility_db, by_band(t) + kCriticalRatioDb + 1e-9) << t.hz;
    }
}
INSTANTIATE_TEST_SUITE_P(Tones, RankedByTheEar,
                         ::testing::Values(EarCase{"whine_at_19_5_khz", {{19500, -30}}, kBeepHz},
                                           EarCase{"hum_at_35_hz", {{35, -45}}, kBeepHz},
                                           EarCase{"both", {{19500, -30}, {35, -45}}, kBeepHz},
                                           EarCase{"hum_at_35_hz_loud", {{35, -20}}, 35},
                                           EarCase{"whine_at_12_khz", {{12000, -30}}, 12000}),
                         [](const ::testing::TestParamInfo<EarCase>& i) { return std::string(i.param.name); });

}  // namespace
