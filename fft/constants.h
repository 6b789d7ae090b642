#pragma once
// The irrational constants of the transform, each the double nearest its value and
// written out here once: the kernels, the stage passes and the split pass read them
// from here, and the tests check the kernels against them.
namespace tulm_fft {
namespace kc {
constexpr double pi = 3.141592653589793;
constexpr double half_pi = 1.5707963267948966;  // pi/2
constexpr double h = 0.7071067811865476;        // sqrt(1/2)
constexpr double c8 = 0.9238795325112867;       // cos(pi/8)
constexpr double s8 = 0.3826834323650898;       // sin(pi/8)
constexpr double c16 = 0.9807852804032304;      // cos(pi/16)
constexpr double s16 = 0.19509032201612828;     // sin(pi/16)
constexpr double c316 = 0.8314696123025452;     // cos(3 pi/16)
constexpr double s316 = 0.5555702330196022;     // sin(3 pi/16)
} // namespace kc
} // namespace tulm_fft
