#include "test_programmes.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

void scale_to(std::vector<double>* x, double rms)
{
    double power = 0;
    for (const double v : *x) power += v * v;
    const double scale = rms / std::sqrt(power / double(x->size()));
    for (double& v : *x) v *= scale;
}

// One biquad section (high- or low-pass, Q 0.707) run over `x`.
void biquad(std::vector<double>* x, int32_t rate, double hz, bool high)
{
    const double w = 2 * M_PI * hz / rate, alpha = std::sin(w) / (2 * M_SQRT1_2), c = std::cos(w);
    const double b1 = high ? -(1 + c) : 1 - c, b0 = std::fabs(b1) / 2, b2 = b0;
    const double a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (double& v : *x) {
        const double y = (b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = y;
    }
}

}  // namespace

std::vector<double> pink_noise(int64_t frames, double rms, uint32_t seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> white(0, 1);
    std::vector<double> x(static_cast<size_t>(frames));
    double b0 = 0, b1 = 0, b2 = 0;
    for (double& v : x) {
        const double w = white(random);
        b0 = 0.99765 * b0 + 0.0990460 * w;
        b1 = 0.96300 * b1 + 0.2965164 * w;
        b2 = 0.57000 * b2 + 1.0526913 * w;
        v = b0 + b1 + b2 + 0.1848 * w;
    }
    scale_to(&x, rms);
    return x;
}

std::vector<double> speech_like_noise(int64_t frames, int32_t rate, double low_hz, double high_hz, double rms,
                                      uint32_t seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> white(0, 1);
    std::vector<double> x(static_cast<size_t>(frames));
    for (double& v : x) v = white(random);
    for (int i = 0; i < 2; ++i) {
        biquad(&x, rate, low_hz, true);
        biquad(&x, rate, high_hz, false);
    }
    for (size_t t = 0; t < x.size(); ++t) x[t] *= 0.3 + std::fabs(std::sin(M_PI * 4.1 * double(t) / rate));
    scale_to(&x, rms);
    return x;
}

std::vector<int16_t> to_samples(const std::vector<double>& x)
{
    std::vector<int16_t> s(x.size());
    for (size_t t = 0; t < x.size(); ++t) s[t] = int16_t(std::lrint(std::clamp(x[t], -32768.0, 32767.0)));
    return s;
}
