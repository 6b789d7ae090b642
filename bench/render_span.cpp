// Renders a 3 s stereo 48 kHz span at every FFT order, and times beside it the bare work
// of that span's transforms (one forward and one inverse per channel per hop) done by
// FFTW (one plan_many per direction, in place, FFTW_MEASURE), by real_fft_batch on the
// same batch, and by real_fft one pair at a time, so the table shows what the renderer
// adds to its FFTs and how its FFTs compare with FFTW's. Then one processing call that
// only delivers (the span already rendered) beside a memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fft/real_fft.h"
#include "render/render_plan.h"
#include "render/render_span.h"
#include "shell/callbacks.h"
#include "shell/host_interface.h"
#include "shell/host_key.h"

namespace {

constexpr int32_t kRate = 48000, kChannels = 2, kFps = 30, kFrame = kRate / kFps;

// A host with 5 s of a stereo tone at 30 fps and the sliders of the run.
struct BenchHost {
    std::vector<int16_t> media;
    int32_t sliders[5] = {100, 3, 11, 30, 25};
    int32_t check = 0;
    int32_t writing = 0;
    HostServices services = {};
    FilterTable* table = nullptr;
};
BenchHost g_host;

int32_t TULM_CDECL bench_writing(EditHandle)
{
    return g_host.writing;
}

int32_t TULM_CDECL bench_media_info(EditHandle, MediaInfo* info)
{
    info->video_rate_num = kFps, info->video_rate_den = 1;
    info->audio_rate = kRate, info->audio_channels = kChannels;
    return 1;
}

int32_t TULM_CDECL bench_selection(EditHandle, int32_t* first, int32_t* last)
{
    *first = 0, *last = 150;
    return 1;
}

int32_t TULM_CDECL bench_source(FilterTable*, EditHandle, int32_t frame, int16_t* buffer)
{
    const size_t from = size_t(frame) * kFrame * kChannels, count = size_t(kFrame) * kChannels;
    if (frame < 0 || from + count > g_host.media.size()) return 0;
    std::memcpy(buffer, g_host.media.data() + from, count * sizeof(int16_t));
    return kFrame;
}

void set_up_host()
{
    g_host.media.resize(size_t(5) * kRate * kChannels);
    for (size_t i = 0; i < g_host.media.size(); ++i)
        g_host.media[i] = int16_t(12000 * std::sin(0.0523 * double(i / kChannels)));
    g_host.services.is_output_in_progress = bench_writing;
    g_host.services.get_media_info = bench_media_info;
    g_host.services.get_selection = bench_selection;
    g_host.services.get_source_audio = bench_source;
    g_host.table = GetFilterTable();
    g_host.table->slider_values = g_host.sliders;
    g_host.table->check_values = &g_host.check;
    g_host.table->services = &g_host.services;
}

ProcessRequest request_for(int16_t* audio)
{
    ProcessRequest r;
    std::memset(&r, 0, sizeof r);
    r.audio = audio, r.samples = kFrame, r.channels = kChannels;
    return r;
}

// The forward + inverse pairs of the span at this order, rendering it once to learn it.
int32_t span_pairs(int32_t order)
{
    g_host.sliders[2] = order;
    ProcessRequest none = request_for(nullptr);
    clear_key();
    process_audio(g_host.table, &none);
    return (g_plan.span_length - g_plan.q + g_plan.h - 1) / g_plan.h * kChannels;
}

// The whole re-render a settings change causes: key capture, plan, capture, blocks.
void BM_render_span(benchmark::State& state)
{
    g_host.sliders[2] = int32_t(state.range(0));
    ProcessRequest none = request_for(nullptr);
    for (auto _ : state) {
        clear_key();
        process_audio(g_host.table, &none);
        benchmark::DoNotOptimize(g_span.samples);
        benchmark::ClobberMemory();
    }
    if (g_span.length != g_plan.span_length || g_plan.n != 1 << state.range(0))
        state.SkipWithError("the span was not rendered");
}

// The FFT pairs of the same span. Each pair scales the block by n/2, a power of two;
// scaling back by an exact power of two now and then keeps the values normal.
void BM_span_ffts(benchmark::State& state)
{
    const int32_t order = int32_t(state.range(0)), n = 1 << order;
    const int32_t pairs = span_pairs(order);
    std::vector<double> x(n);
    for (int32_t j = 0; j < n; ++j) x[j] = g_host.media[size_t(j) * kChannels];
    int32_t since_rescale = 0;
    for (auto _ : state) {
        for (int32_t p = 0; p < pairs; ++p) {
            real_fft(n, 1, x.data());
            real_fft(n, -1, x.data());
            if (++since_rescale == 32) {
                for (double& v : x) v = std::ldexp(v, -32 * (order - 1));
                since_rescale = 0;
            }
        }
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    state.counters["pairs"] = pairs;
}

// The span's source blocks, one after another, n doubles each.
std::vector<double> span_blocks(int32_t n, int32_t pairs)
{
    std::vector<double> x(size_t(n) * pairs);
    for (size_t j = 0; j < x.size(); ++j) x[j] = g_host.media[j % g_host.media.size()];
    return x;
}

// Each pair scales by n/2 or n; a multiplication by an exact power of two brings the
// values back now and then.
void rescale(double* x, size_t count, int32_t order)
{
    const double s = std::ldexp(1.0, -8 * order);
    for (size_t j = 0; j < count; ++j) x[j] *= s;
}

// FFTW doing only the span's transforms: all blocks forward, then all back, in place
// (n + 2 doubles per block). The plans are measured once per order, before the timing.
void BM_fftw_span(benchmark::State& state)
{
    const int32_t order = int32_t(state.range(0)), n = 1 << order, pairs = span_pairs(order);
    const int32_t dist = n + 2;
    // Measured once per order: the repetitions share the plans and their buffer.
    struct Plans {
        double* a = nullptr;
        fftw_plan fwd = nullptr, inv = nullptr;
    };
    static Plans plans[15];
    Plans& p = plans[order];
    if (!p.a) {
        p.a = fftw_alloc_real(size_t(dist) * pairs);
        fftw_complex* spec = reinterpret_cast<fftw_complex*>(p.a);
        p.fwd = fftw_plan_many_dft_r2c(1, &n, pairs, p.a, nullptr, 1, dist, spec, nullptr, 1,
                                       dist / 2, FFTW_MEASURE);
        p.inv = fftw_plan_many_dft_c2r(1, &n, pairs, spec, nullptr, 1, dist / 2, p.a, nullptr, 1,
                                       dist, FFTW_MEASURE);
    }
    double* a = p.a;
    const std::vector<double> x = span_blocks(n, pairs);
    for (int32_t k = 0; k < pairs; ++k)
        std::memcpy(a + size_t(k) * dist, x.data() + size_t(k) * n, sizeof(double) * n);
    int32_t runs = 0;
    for (auto _ : state) {
        fftw_execute(p.fwd);
        fftw_execute(p.inv);
        if (++runs % 8 == 0) rescale(a, size_t(dist) * pairs, order);
        benchmark::ClobberMemory();
    }
}

// real_fft_batch on the same blocks in the batch layout: all forward, then all back,
// in a buffer aligned as FFTW's is (the renderer aligns its own).
void BM_batch_span(benchmark::State& state)
{
    const int32_t order = int32_t(state.range(0)), n = 1 << order, pairs = span_pairs(order);
    const size_t doubles = size_t(n) * ((pairs + real_fft_lanes - 1) / real_fft_lanes) * real_fft_lanes;
    double* a = fftw_alloc_real(doubles);
    real_fft_interleave(n, pairs, span_blocks(n, pairs).data(), a);
    int32_t runs = 0;
    for (auto _ : state) {
        real_fft_batch(n, 1, pairs, a);
        real_fft_batch(n, -1, pairs, a);
        if (++runs % 8 == 0) rescale(a, doubles, order);
        benchmark::DoNotOptimize(a);
        benchmark::ClobberMemory();
    }
    fftw_free(a);
}

// One processing call per frame with the span rendered and the key unchanged:
// writing mode from the cursor (restarted at the span's end), and preview by frame.
void BM_deliver(benchmark::State& state)
{
    g_host.sliders[2] = 11;
    g_host.writing = int32_t(state.range(0));
    std::vector<int16_t> audio(size_t(kFrame) * kChannels);
    ProcessRequest request = request_for(audio.data());
    request.frame = 7;
    process_audio(g_host.table, &request);
    for (auto _ : state) {
        if (g_span.cursor == g_span.length) g_span.cursor = 0;
        process_audio(g_host.table, &request);
        benchmark::DoNotOptimize(audio.data());
        benchmark::ClobberMemory();
    }
    g_host.writing = 0;
}

void BM_memcpy_frame(benchmark::State& state)
{
    std::vector<int16_t> from(size_t(kFrame) * kChannels * 60, 3), to(size_t(kFrame) * kChannels);
    size_t at = 0;
    for (auto _ : state) {
        std::memcpy(to.data(), from.data() + at, to.size() * sizeof(int16_t));
        at = (at + to.size()) % from.size();
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

// The machine is shared: each benchmark runs 5 times, interleaved at random with its
// peers (see main), and the table takes the least CPU time of each, the run the other
// load disturbed least.
double least(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

BENCHMARK(BM_render_span)->DenseRange(9, 14)->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK(BM_span_ffts)->DenseRange(9, 14)->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK(BM_fftw_span)->DenseRange(9, 14)->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK(BM_batch_span)->DenseRange(9, 14)->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK(BM_deliver)->Arg(1)->Arg(0)->Unit(benchmark::kNanosecond)
    ->Repetitions(5)->ComputeStatistics("min", least);
BENCHMARK(BM_memcpy_frame)->Unit(benchmark::kNanosecond)
    ->Repetitions(5)->ComputeStatistics("min", least);

// Keeps each benchmark's least CPU time per iteration, in nanoseconds, for the table:
// CPU time is what one single-threaded call costs, whatever else the machine runs.
class Collecting : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Aggregate && r.aggregate_name == "min")
                ns[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/") +
                   r.run_name.args] = r.GetAdjustedCPUTime() * to_ns(r.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }

private:
    static double to_ns(benchmark::TimeUnit u)
    {
        switch (u) {
        case benchmark::kSecond: return 1e9;
        case benchmark::kMillisecond: return 1e6;
        case benchmark::kMicrosecond: return 1e3;
        default: return 1;
        }
    }
};

double get(const Collecting& c, const std::string& name)
{
    const auto it = c.ns.find(name);
    return it == c.ns.end() ? NAN : it->second;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    argc = int(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    set_up_host();
    Collecting collect;
    benchmark::RunSpecifiedBenchmarks(&collect);

    std::printf("\n3 s stereo 48 kHz span, microseconds: the render through process_audio, and its\n"
                "FFT pairs alone by FFTW (plan_many, in place), by real_fft_batch and by real_fft\n"
                "one pair at a time; ratios to FFTW (targets: render <= 1.2, batch <= 1.0)\n");
    std::printf("%5s %6s %6s %10s %10s %10s %10s %8s %8s %8s\n", "order", "N", "pairs", "render",
                "FFTW", "batch", "single", "render/F", "batch/F", "single/F");
    for (int order = 9; order <= 14; ++order) {
        const std::string arg = "/" + std::to_string(order);
        const double r = get(collect, "BM_render_span" + arg), f = get(collect, "BM_fftw_span" + arg);
        const double b = get(collect, "BM_batch_span" + arg), s = get(collect, "BM_span_ffts" + arg);
        std::printf("%5d %6d %6d %10.1f %10.1f %10.1f %10.1f %8.3f %8.3f %8.3f\n", order, 1 << order,
                    int(span_pairs(order)), r / 1e3, f / 1e3, b / 1e3, s / 1e3, r / f, b / f, s / f);
    }
    const double copy = get(collect, "BM_memcpy_frame");
    std::printf("\nOne frame (%d stereo sample frames, %d bytes): delivery beside memcpy (target ratio <= 2)\n",
                kFrame, int(kFrame * kChannels * sizeof(int16_t)));
    std::printf("%-22s %10s %7s\n", "call", "ns", "ratio");
    std::printf("%-22s %10.1f %7.3f\n", "process_audio writing", get(collect, "BM_deliver/1"),
                get(collect, "BM_deliver/1") / copy);
    std::printf("%-22s %10.1f %7.3f\n", "process_audio preview", get(collect, "BM_deliver/0"),
                get(collect, "BM_deliver/0") / copy);
    std::printf("%-22s %10.1f %7.3f\n", "memcpy", copy, 1.0);
    return 0;
}
