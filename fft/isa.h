#pragma once
// Where the processor offers AVX (x86 builds with GCC or Clang), the hot loops run on a
// copy of their code compiled for it, chosen at run time; elsewhere on the baseline
// (SSE2 on x86). The two copies come from the same source and perform the same IEEE
// operations on every value, so they give the same bits; only the instruction
// encoding and the vector width differ. Nothing is cached: the choice reads the
// processor description the compiler's runtime keeps.
#include <atomic>
#include <cstdint>
#include <type_traits>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(TULM_FFT_SCALAR)
#define TULM_FFT_HAVE_AVX_PATH 1
#else
#define TULM_FFT_HAVE_AVX_PATH 0
#endif

// Force-inlined, so that a body takes the instruction set of the function it lands in.
#define TULM_FFT_INLINE inline __attribute__((always_inline))

namespace tulm_fft {

// Set only by the tests, to run the baseline copies on a processor with AVX and
// compare their bits with the AVX ones. The module never sets it.
inline std::atomic<bool> baseline_forced{false};

inline bool avx_available()
{
#if TULM_FFT_HAVE_AVX_PATH
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") && !baseline_forced.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

#if TULM_FFT_HAVE_AVX_PATH
template <class F>
__attribute__((target("avx"))) void run_avx(const F& body)
{
    body();
}
#endif

// Runs body (a force-inlined lambda) in its AVX copy where the processor has AVX.
template <class F>
inline void run_best(const F& body)
{
#if TULM_FFT_HAVE_AVX_PATH
    if (avx_available()) {
        run_avx(body);
        return;
    }
#endif
    body();
}

// The same for a body that takes its width as a std::bool_constant: true in the AVX
// copy, where 4-double vectors are single registers and two blocks can share them;
// false on the baseline, where they would be pairs of registers and one value per
// register serves better.
template <class F>
inline void run_best_wide(const F& body)
{
#if TULM_FFT_HAVE_AVX_PATH
    if (avx_available()) {
        run_avx([&]() __attribute__((always_inline)) { body(std::true_type{}); });
        return;
    }
#endif
    body(std::false_type{});
}

} // namespace tulm_fft
