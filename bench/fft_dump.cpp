// Writes the bytes every FFT routine leaves, at every size it takes, to standard output,
// for bench/fft_same_bits.sh to compare between two revisions. Each routine runs on
// lanes of different inputs (random, and one with zeros of both signs and extreme
// magnitudes). Built against a tree with the batch layout, the same lanes also run side
// by side (the routines' lane copies and real_fft_batch) and must write the same bytes
// as the one-transform runs of any tree.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "fft/fft_internal.h"
#include "fft/real_fft.h"

#if __has_include("fft/transform.h")
#include "fft/transform.h"
#define TULM_DUMP_LANES 1
using tulm_fft::lanes4;
#endif

namespace {

using One = std::function<void(int32_t, double*)>;

std::vector<double> input(int32_t n, int lane)
{
    std::vector<double> x(n);
    std::mt19937_64 rng(uint64_t(n) * 977 + lane);
    std::uniform_real_distribution<double> u(-1, 1);
    for (double& v : x) v = u(rng);
    if (lane == 1) {
        const double odd[] = {0.0, -0.0, 1e300, -1e-300, 4.9e-324, -1.0, 0.0, -0.0};
        for (int32_t i = 0; i < n; ++i) x[i] = i % 3 == 0 ? odd[(i / 3) % 8] : x[i];
    }
    return x;
}

void emit(const std::vector<double>& x) { std::fwrite(x.data(), sizeof(double), x.size(), stdout); }

// The lanes' inputs one at a time through `one`, or side by side through `lanes`.
void dump(const char* name, int32_t lo, int32_t hi, const One& one,
          const std::function<void(int32_t, double*)>& lanes)
{
    for (int32_t n = lo; n <= hi; n *= 2) {
        std::fprintf(stderr, "%s %d\n", name, int(n));
        if (!lanes) {
            for (int k = 0; k < 4; ++k) {
                std::vector<double> x = input(n, k);
                one(n, x.data());
                emit(x);
            }
            continue;
        }
#if TULM_DUMP_LANES
        std::vector<double> all, a(size_t(n) * 4), out(size_t(n) * 4);
        for (int k = 0; k < 4; ++k) {
            const std::vector<double> x = input(n, k);
            all.insert(all.end(), x.begin(), x.end());
        }
        real_fft_interleave(n, 4, all.data(), a.data());
        lanes(n, a.data());
        real_fft_deinterleave(n, 4, a.data(), out.data());
        emit(out);
#endif
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool side_by_side = argc > 1 && std::strcmp(argv[1], "--lanes") == 0;
    const int32_t top = 65536;
#if TULM_DUMP_LANES
#define ROUTINE(name, lo, hi, call)                                                         \
    dump(name, lo, hi, [](int32_t n, double* a) { call; },                                  \
         side_by_side ? std::function<void(int32_t, double*)>([](int32_t n, double* d) {    \
             lanes4* a = reinterpret_cast<lanes4*>(d);                                      \
             (void)n;                                                                       \
             using namespace tulm_fft;                                                      \
             call##_LANES;                                                                  \
         })                                                                                 \
                      : nullptr)
#else
    if (side_by_side) return 2;
#define ROUTINE(name, lo, hi, call) dump(name, lo, hi, [](int32_t n, double* a) { call; }, nullptr)
#endif
#define real_fwd real_fft(n, 1, a)
#define real_fwd_LANES real_fft_of(n, 1, a)
#define real_inv real_fft(n, -1, a)
#define real_inv_LANES real_fft_of(n, -1, a)
#define split_f rfft_split_forward(n, a)
#define split_f_LANES split_pass<true>(n, a)
#define split_i rfft_split_inverse(n, a)
#define split_i_LANES split_pass<false>(n, a)
#define cfft_f cfft_forward(n, a)
#define cfft_f_LANES cfft<true>(n, a)
#define cfft_i cfft_inverse(n, a)
#define cfft_i_LANES cfft<false>(n, a)
#define stage cfft_stage(n, a)
#define stage_LANES tulm_fft::cfft_stage(n, a)
#define stage_c cfft_stage_conj(n, a)
#define stage_c_LANES tulm_fft::cfft_stage_conj(n, a)
#define stage_s cfft_stage_shifted(n, a)
#define stage_s_LANES tulm_fft::cfft_stage_shifted(n, a)
#define rec cfft_recursive(n, a)
#define rec_LANES tulm_fft::cfft_recursive<false>(n, a)
#define rec_s cfft_recursive_shifted(n, a)
#define rec_s_LANES tulm_fft::cfft_recursive<true>(n, a)
#define mid cfft_middle(n, a)
#define mid_LANES complete<false>(n, a)
#define mid_s cfft_middle_shifted(n, a)
#define mid_s_LANES complete<true>(n, a)
#define leaf cfft_leaf(n, a)
#define leaf_LANES tulm_fft::cfft_leaf<false>(n, a)
#define leaf_s cfft_leaf_shifted(n, a)
#define leaf_s_LANES tulm_fft::cfft_leaf<true>(n, a)
#define k2 cfft2_kernel(a)
#define k2_LANES kernel2(a)
#define k4f cfft4_kernel_forward(a)
#define k4f_LANES kernel4<true>(a)
#define k4i cfft4_kernel_inverse(a)
#define k4i_LANES kernel4<false>(a)
#define k8 cfft8_kernel(a)
#define k8_LANES kernel8(a)
#define k8s cfft8_kernel_shifted(a)
#define k8s_LANES kernel8_shifted(a)
#define k16 cfft16_kernel(a)
#define k16_LANES kernel16(a)
#define k16s cfft16_kernel_shifted(a)
#define k16s_LANES kernel16_shifted(a)
#define b8 bitrev8(a)
#define b8_LANES tulm_fft::bitrev8(a)
#define b16 bitrev16(a)
#define b16_LANES tulm_fft::bitrev16(a)
#define b8m bitrev8_mirror(a)
#define b8m_LANES tulm_fft::bitrev8_mirror(a)
#define b16m bitrev16_mirror(a)
#define b16m_LANES tulm_fft::bitrev16_mirror(a)
#define perm bitrev_permute(n, a)
#define perm_LANES tulm_fft::bitrev_permute<false>(n, a)
#define perm_c bitrev_permute_conj(n, a)
#define perm_c_LANES tulm_fft::bitrev_permute<true>(n, a)
    ROUTINE("real_fft forward", 2, top, real_fwd);
    ROUTINE("real_fft inverse", 2, top, real_inv);
    ROUTINE("rfft_split_forward", 8, top, split_f);
    ROUTINE("rfft_split_inverse", 8, top, split_i);
    ROUTINE("cfft_forward", 4, top, cfft_f);
    ROUTINE("cfft_inverse", 4, top, cfft_i);
    ROUTINE("cfft_stage", 64, top, stage);
    ROUTINE("cfft_stage_conj", 64, top, stage_c);
    ROUTINE("cfft_stage_shifted", 64, top, stage_s);
    ROUTINE("cfft_recursive", 256, top, rec);
    ROUTINE("cfft_recursive_shifted", 256, top, rec_s);
    ROUTINE("cfft_middle", 256, 512, mid);
    ROUTINE("cfft_middle_shifted", 256, 512, mid_s);
    ROUTINE("cfft_leaf", 64, 128, leaf);
    ROUTINE("cfft_leaf_shifted", 64, 128, leaf_s);
    ROUTINE("cfft2_kernel", 4, 4, k2);
    ROUTINE("cfft4_kernel_forward", 8, 8, k4f);
    ROUTINE("cfft4_kernel_inverse", 8, 8, k4i);
    ROUTINE("cfft8_kernel", 16, 16, k8);
    ROUTINE("cfft8_kernel_shifted", 16, 16, k8s);
    ROUTINE("cfft16_kernel", 32, 32, k16);
    ROUTINE("cfft16_kernel_shifted", 32, 32, k16s);
    ROUTINE("bitrev8", 16, 16, b8);
    ROUTINE("bitrev16", 32, 32, b16);
    ROUTINE("bitrev8_mirror", 16, 16, b8m);
    ROUTINE("bitrev16_mirror", 32, 32, b16m);
    ROUTINE("bitrev_permute", 4, top, perm);
    ROUTINE("bitrev_permute_conj", 4, top, perm_c);
    // The batch entry: every count from 1 to 9, the last group part-filled or whole.
    for (int32_t n = 2; n <= top; n *= 2) {
        for (int direction : {1, -1}) {
            for (int32_t count = 1; count <= 9; ++count) {
                std::vector<double> all;
                for (int k = 0; k < count; ++k) {
                    const std::vector<double> x = input(n, 100 + k);
                    all.insert(all.end(), x.begin(), x.end());
                }
#if TULM_DUMP_LANES
                if (side_by_side) {
                    std::vector<double> a(size_t(n) * ((count + 3) / 4) * 4);
                    real_fft_interleave(n, count, all.data(), a.data());
                    real_fft_batch(n, direction, count, a.data());
                    real_fft_deinterleave(n, count, a.data(), all.data());
                    emit(all);
                    continue;
                }
#endif
                for (int k = 0; k < count; ++k) real_fft(n, direction, all.data() + size_t(k) * n);
                emit(all);
            }
        }
    }
    return 0;
}
