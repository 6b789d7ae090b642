// Speed of one forward plus one inverse real transform, real_fft beside FFTW
// (r2c/c2r, double, FFTW_MEASURE, planned outside the timing) and KissFFT
// (kiss_fftr/kiss_fftri; Debian ships it for float only, so its column is float).
// FFTW runs twice: out of place, its fastest form and the one the ratio is taken to,
// and in place in an array of n + 2 doubles, which is the job real_fft does (one
// array, overwritten).
// Every iteration ends by scaling the block back by the library's own inverse factor
// (2/n here, 1/n for the others), so that the values stay bounded; the "scale" rows time
// that loop alone. (A memcpy would do too, but on some virtual machines glibc's large
// copies cost microseconds and would swamp the small sizes.) A table of
// the per-pair times and the ratios to FFTW follows the run: for each, the least CPU
// time per pair over the repetitions (5 by default, interleaved at random, so that
// other load on the machine weighs on all libraries alike).
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fftr.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fft/real_fft.h"

namespace {

constexpr int min_n = 512, max_n = 16384;

std::vector<double> input(int n)
{
    std::vector<double> x(static_cast<size_t>(n));
    for (int t = 0; t < n; ++t) x[t] = std::sin(0.37 * t) + 0.25 * std::cos(1.91 * t);
    return x;
}

template <class T>
inline void scale(T* a, int n, T factor)
{
    for (int t = 0; t < n; ++t) a[t] *= factor;
}

void BM_scale(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<double> a = input(n);
    volatile double one = 1.0;  // a factor the compiler cannot fold away
    for (auto _ : state) {
        scale(a.data(), n, static_cast<double>(one));
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

void BM_tulm(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> x = input(n);
    std::vector<double> a = x;
    for (auto _ : state) {
        real_fft(n, 1, a.data());
        real_fft(n, -1, a.data());
        scale(a.data(), n, 2.0 / n);
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

// FFTW's pair on samples at a and the half spectrum at spec (the same memory when
// in place), planned before the timing.
void time_fftw(benchmark::State& state, int n, double* a, fftw_complex* spec)
{
    const std::vector<double> x = input(n);
    fftw_plan fwd = fftw_plan_dft_r2c_1d(n, a, spec, FFTW_MEASURE);
    fftw_plan inv = fftw_plan_dft_c2r_1d(n, spec, a, FFTW_MEASURE);
    std::memcpy(a, x.data(), sizeof(double) * x.size());
    for (auto _ : state) {
        fftw_execute(fwd);
        fftw_execute(inv);
        scale(a, n, 1.0 / n);
        benchmark::DoNotOptimize(a);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
}

void BM_fftw(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    double* a = fftw_alloc_real(static_cast<size_t>(n));
    fftw_complex* spec = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
    time_fftw(state, n, a, spec);
    fftw_free(a);
    fftw_free(spec);
}

void BM_fftw_in_place(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    // The half spectrum takes n + 2 doubles; the samples sit in the first n.
    fftw_complex* spec = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
    time_fftw(state, n, reinterpret_cast<double*>(spec), spec);
    fftw_free(spec);
}

void BM_kiss_float(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> xd = input(n);
    const std::vector<kiss_fft_scalar> x(xd.begin(), xd.end());
    std::vector<kiss_fft_scalar> a = x;
    std::vector<kiss_fft_cpx> spec(static_cast<size_t>(n / 2 + 1));
    kiss_fftr_cfg fwd = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    kiss_fftr_cfg inv = kiss_fftr_alloc(n, 1, nullptr, nullptr);
    for (auto _ : state) {
        kiss_fftr(fwd, a.data(), spec.data());
        kiss_fftri(inv, spec.data(), a.data());
        scale(a.data(), n, 1.0f / n);
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
    kiss_fftr_free(fwd);
    kiss_fftr_free(inv);
}

BENCHMARK(BM_scale)->RangeMultiplier(2)->Range(min_n, max_n);
BENCHMARK(BM_tulm)->RangeMultiplier(2)->Range(min_n, max_n);
BENCHMARK(BM_fftw)->RangeMultiplier(2)->Range(min_n, max_n);
BENCHMARK(BM_fftw_in_place)->RangeMultiplier(2)->Range(min_n, max_n);
BENCHMARK(BM_kiss_float)->RangeMultiplier(2)->Range(min_n, max_n);

// Prints as usual and keeps each run's time per iteration for the summary table.
class Collecting : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;  // "BM_tulm/512" -> least CPU nanoseconds per pair
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            const double t = r.GetAdjustedCPUTime() * unit_to_ns(r.time_unit);
            const std::string name = r.run_name.str();
            auto it = ns.find(name);
            if (it == ns.end() || t < it->second) ns[name] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    static double unit_to_ns(benchmark::TimeUnit u)
    {
        switch (u) {
        case benchmark::kSecond: return 1e9;
        case benchmark::kMillisecond: return 1e6;
        case benchmark::kMicrosecond: return 1e3;
        default: return 1;
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args(argv, argv + argc);
    // Repetitions and random interleaving unless the command line sets them: the
    // interleaving is what lets the machine's load weigh on every library alike.
    bool repetitions_given = false, interleaving_given = false;
    for (int i = 1; i < argc; ++i) {
        repetitions_given |= std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
        interleaving_given |= std::strncmp(argv[i], "--benchmark_enable_random_interleaving", 38) == 0;
    }
    char reps[] = "--benchmark_repetitions=5";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (!repetitions_given) args.push_back(reps);
    if (!interleaving_given) args.push_back(interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    Collecting rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    std::printf("\nOne forward + one inverse transform, microseconds per pair (scaling "
                "included, shown alone in 'scale'):\n");
    std::printf("%6s %9s %9s %9s %10s %12s %10s %10s %10s\n", "n", "scale", "real_fft",
                "FFTW", "FFTW(in)", "Kiss(float)", "ours/FFTW", "ours/(in)", "Kiss/FFTW");
    for (int n = min_n; n <= max_n; n *= 2) {
        auto at = [&](const char* name) {
            auto it = rep.ns.find(std::string(name) + "/" + std::to_string(n));
            return it == rep.ns.end() ? NAN : it->second / 1000.0;
        };
        const double c = at("BM_scale"), t = at("BM_tulm"), f = at("BM_fftw"),
                     fi = at("BM_fftw_in_place"), k = at("BM_kiss_float");
        if (std::isnan(c) && std::isnan(t) && std::isnan(f) && std::isnan(fi) && std::isnan(k))
            continue;  // filtered out
        std::printf("%6d %9.2f %9.2f %9.2f %10.2f %12.2f %10.2f %10.2f %10.2f\n", n, c, t, f, fi,
                    k, t / f, t / fi, k / f);
    }
    return 0;
}
