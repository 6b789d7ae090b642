#include "tool/analysis/spectrum.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "fft/real_fft.h"
#include "tool/analysis/audio.h"

BlockSpectrum::BlockSpectrum(int32_t n, SpectrumWindows* windows) : n_(n)
{
    if (windows)
        for (const SpectrumWindows::Kept& k : windows->kept)
            if (k.n == n && !k.values.empty()) {
                window_ = k.values;
                window_energy_ = k.energy;
                return;
            }
    window_.assign(size_t(n), 0.0);
    for (int32_t j = 0; j < n; ++j) {
        window_[j] = hann(j, n);
        window_energy_ += window_[j] * window_[j];
    }
    if (!windows) return;
    windows->kept[windows->oldest] = SpectrumWindows::Kept{n, window_energy_, window_};
    windows->oldest = (windows->oldest + 1) % (sizeof windows->kept / sizeof windows->kept[0]);
}

const std::vector<double>& BlockSpectrum::power(const int16_t* samples, int32_t channels, int64_t first)
{
    powers(samples, channels, &first, 1);
    return power_[0];
}

int32_t BlockSpectrum::blocks_at_once(int32_t channels) { return std::max(1, real_fft_lanes / std::max(1, channels)); }

void BlockSpectrum::powers(const int16_t* samples, int32_t channels, const int64_t* firsts, int32_t count)
{
    // Every channel of every block is a transform of its own, side by side with the
    // others, which gives each the bits it would have alone; a single one goes alone.
    const int32_t transforms = count * channels;
    const int32_t lanes = transforms > 1 ? real_fft_lanes : 1;
    const int32_t groups = (transforms + lanes - 1) / lanes;
    const size_t size = size_t(groups) * size_t(lanes) * size_t(n_);
    // The spare lanes of the last group are zeroed once for a count of transforms: a
    // transform of zeros is zeros, so they need no writing at each block, which took
    // more time than the channels' own.
    if (transforms != transforms_ || block_.size() != size) block_.assign(size, 0.0);
    transforms_ = transforms;
    if (power_.size() < size_t(count)) power_.resize(size_t(count), std::vector<double>(size_t(n_ / 2 + 1)));
    // Each group's lanes are written side by side, sample by sample, and each block's
    // powers are summed over its channels in one pass, not one a channel: every bin's
    // sum is still added in the order of the channels, so it comes out the same to the bit.
    for (int32_t g = 0; g < groups; ++g) {
        const int32_t used = std::min(lanes, transforms - g * lanes);
        const int16_t* x[real_fft_lanes];
        for (int32_t l = 0; l < used; ++l) {
            const int32_t t = g * lanes + l;
            x[l] = samples + firsts[t / channels] * channels + t % channels;
        }
        double* a = block_.data() + size_t(g) * size_t(lanes) * size_t(n_);
        if (used == real_fft_lanes) {
            for (int32_t j = 0; j < n_; ++j)
                for (int32_t l = 0; l < real_fft_lanes; ++l)
                    a[j * real_fft_lanes + l] = x[l][int64_t(j) * channels] / kFullScale * window_[j];
        } else {
            for (int32_t j = 0; j < n_; ++j)
                for (int32_t l = 0; l < used; ++l)
                    a[j * lanes + l] = x[l][int64_t(j) * channels] / kFullScale * window_[j];
        }
    }
    if (transforms > 1) real_fft_batch(n_, 1, transforms, block_.data());
    else real_fft(n_, 1, block_.data());
    // One-sided: every bin but DC and the top one stands for its mirror too.
    // The packed spectrum: DC in a[0], half the rate in a[1], bin b in a[2b], a[2b + 1].
    const double scale = 1.0 / (double(channels) * n_ * window_energy_), twice = 2.0 * scale;
    std::vector<const double*>& lane = lanes_of_block_;
    lane.resize(size_t(channels));
    for (int32_t i = 0; i < count; ++i) {
        std::vector<double>& power = power_[size_t(i)];
        for (int32_t k = 0; k < channels; ++k)
            lane[k] = transforms > 1 ? real_fft_lane(block_.data(), n_, i * channels + k) : block_.data();
        const auto bin = [&](int32_t k, int32_t b) {
            const double re = lane[k][2 * b * lanes], im = lane[k][(2 * b + 1) * lanes];
            return re * re + im * im;
        };
        double dc = lane[0][0] * lane[0][0], top = lane[0][lanes] * lane[0][lanes];
        for (int32_t k = 1; k < channels; ++k) {
            dc += lane[k][0] * lane[k][0];
            top += lane[k][lanes] * lane[k][lanes];
        }
        power[0] = dc * scale;
        power[n_ / 2] = top * scale;
        if (channels == 2) {
            for (int32_t b = 1; b < n_ / 2; ++b) power[b] = (bin(0, b) + bin(1, b)) * twice;
            continue;
        }
        for (int32_t b = 1; b < n_ / 2; ++b) {
            double sum = bin(0, b);
            for (int32_t k = 1; k < channels; ++k) sum += bin(k, b);
            power[b] = sum * twice;
        }
    }
}

BlockSeries::BlockSeries(int32_t n, const int16_t* samples, int32_t channels, std::vector<int64_t> firsts,
                         SpectrumWindows* windows)
    : spectrum_(n, windows), samples_(samples), channels_(channels), firsts_(std::move(firsts))
{
}

const std::vector<double>& BlockSeries::next()
{
    if (next_ == taken_) {
        const size_t count = std::min(firsts_.size() - next_, size_t(BlockSpectrum::blocks_at_once(channels_)));
        spectrum_.powers(samples_, channels_, firsts_.data() + next_, int32_t(count));
        group_ = next_;
        taken_ = next_ + count;
    }
    return spectrum_.power_of(int32_t(next_++ - group_));
}

int32_t segment_length(int64_t count, int32_t limit)
{
    int32_t n = 64;
    while (int64_t(n) * 2 <= count && n * 2 <= limit) n *= 2;
    return n;
}

Spectrum average_spectrum(const int16_t* samples, int32_t channels, int32_t rate, int64_t first, int64_t count,
                          int32_t n, SpectrumWindows* windows)
{
    Spectrum s;
    s.rate = rate;
    s.n = n;
    s.power.assign(size_t(n / 2 + 1), 0.0);
    if (count < n) return s;

    const int64_t step = n / 2;
    const int64_t segments = (count - n) / step + 1;
    std::vector<int64_t> starts(static_cast<size_t>(segments));
    for (int64_t seg = 0; seg < segments; ++seg) starts[size_t(seg)] = first + seg * step;
    BlockSeries blocks(n, samples, channels, std::move(starts), windows);
    for (int64_t seg = 0; seg < segments; ++seg) {
        const std::vector<double>& p = blocks.next();
        for (int32_t b = 0; b <= n / 2; ++b) s.power[b] += p[b];
    }
    for (double& p : s.power) p /= double(segments);
    return s;
}

double refine_peak(const std::vector<double>& power, int32_t k)
{
    if (k <= 0 || k + 1 >= int32_t(power.size())) return k;
    return refine_peak_db(k, to_db(power[k - 1]), to_db(power[k]), to_db(power[k + 1]));
}

double refine_peak_db(int32_t k, double a, double b, double c)
{
    const double denom = a - 2 * b + c;
    if (denom >= 0) return k;
    double offset = 0.5 * (a - c) / denom;
    if (offset > 0.5) offset = 0.5;
    if (offset < -0.5) offset = -0.5;
    return k + offset;
}

double band_power(const Spectrum& s, double low_hz, double high_hz)
{
    double sum = 0;
    for (size_t b = 0; b < s.power.size(); ++b) {
        const double hz = b * s.bin_hz();
        if (hz >= low_hz && hz <= high_hz) sum += s.power[b];
    }
    return sum;
}

double hann(int64_t j, int64_t n) { return 0.5 - 0.5 * std::cos(2 * M_PI * double(j) / double(n)); }

double to_db(double power) { return 10.0 * std::log10(power > 1e-30 ? power : 1e-30); }

namespace {

ToneWave make_tone_wave(int32_t rate, double hz, int64_t count)
{
    ToneWave t;
    t.hz = hz;
    t.count = count;
    std::vector<double> values(size_t(2 * std::max<int64_t>(count, 0)));
    for (int64_t j = 0; j < count; ++j) {
        const double w = hann(j, count) / kFullScale;
        const double phase = 2 * M_PI * hz * double(j) / rate;
        values[size_t(2 * j)] = w * std::cos(phase);
        values[size_t(2 * j + 1)] = w * std::sin(phase);
    }
    t.values = std::make_shared<const std::vector<double>>(std::move(values));
    return t;
}

}  // namespace

ToneWave tone_wave(int32_t rate, double hz, int64_t count, ToneWaves* kept)
{
    if (!kept || count > ToneWaves::kKeptWaveFrames) return make_tone_wave(rate, hz, count);
    for (const ToneWaves::Kept& k : kept->kept)
        if (k.rate == rate && k.wave.hz == hz && k.wave.count == count && k.wave.values) return k.wave;
    ToneWaves::Kept& made = kept->kept[kept->oldest];
    made = ToneWaves::Kept{rate, make_tone_wave(rate, hz, count)};
    kept->oldest = (kept->oldest + 1) % (sizeof kept->kept / sizeof kept->kept[0]);
    return made.wave;
}

double tone_amplitude(const ToneWave& wave, const int16_t* samples, int32_t channels, int64_t first)
{
    const int64_t count = wave.count;
    if (count <= 0) return 0;
    // The Hann window's weights add up to half the count.
    const double gain = count / 2.0;
    double sum = 0;
    const double* w = wave.values->data();
    if (channels == 2) {
        // Both channels in one pass over the frames, as pairs, each lane summed in the
        // order it would be alone: the samples are read once, and the cosine's and the
        // sine's sums do not wait on one another.
        typedef double pair __attribute__((vector_size(16)));
        pair re = {0, 0}, im = {0, 0};
        const int16_t* x = samples + first * 2;
        for (int64_t j = 0; j < count; ++j) {
            const pair v = {double(x[2 * j]), double(x[2 * j + 1])};
            re += v * w[2 * j];
            im += v * w[2 * j + 1];
        }
        sum = re[0] * re[0] + im[0] * im[0];
        sum += re[1] * re[1] + im[1] * im[1];
        return 2 * std::sqrt(sum / channels) / gain;
    }
    for (int32_t k = 0; k < channels; ++k) {
        double re = 0, im = 0;
        for (int64_t j = 0; j < count; ++j) {
            const double x = samples[(first + j) * channels + k];
            re += x * w[2 * j];
            im += x * w[2 * j + 1];
        }
        sum += re * re + im * im;
    }
    return 2 * std::sqrt(sum / channels) / gain;
}

double tone_amplitude(const int16_t* samples, int32_t channels, int32_t rate, double hz, int64_t first, int64_t count)
{
    return tone_amplitude(tone_wave(rate, hz, count), samples, channels, first);
}
