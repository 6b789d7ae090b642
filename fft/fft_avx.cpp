// The batch's group transform compiled for AVX: the same source as the baseline copy in
// real_fft.cpp, built with another target. AVX adds no fused multiply-add, so every
// lane still performs the scalar code's roundings and gives its bits. Everything the
// algorithm headers define has internal linkage, so this copy never replaces the
// baseline one.
#include <cmath>
#include <cstdint>

#include "fft/group.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx")
#endif

#include "fft/transform.h"

static void real_fft_group_on_avx(int32_t n, int32_t direction, double* a)
{
    tulm_fft::real_fft_of(n, direction, reinterpret_cast<tulm_fft::lanes4*>(a));
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

GroupTransform real_fft_group_avx()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") ? real_fft_group_on_avx : nullptr;
}

#else

GroupTransform real_fft_group_avx() { return nullptr; }

#endif
