#include "tool/analysis/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

size_t quantile_rank(size_t size, double q) { return std::min(size - 1, size_t(q * double(size - 1) + 0.5)); }

double quantile_in_place(std::vector<double>* v, double q)
{
    if (v->empty()) return 0;
    const size_t k = quantile_rank(v->size(), q);
    std::nth_element(v->begin(), v->begin() + k, v->end());
    return (*v)[k];
}

double quantile(std::vector<double> v, double q) { return quantile_in_place(&v, q); }

double median(std::vector<double> v) { return quantile_in_place(&v, 0.5); }

double spread(const std::vector<double>& v) { return quantile(v, 0.9) - quantile(v, 0.1); }

double middle_spread(const std::vector<double>& v) { return quantile(v, 0.75) - quantile(v, 0.25); }

namespace {

typedef double pair __attribute__((vector_size(16)));
typedef int64_t pair_mask __attribute__((vector_size(16)));
constexpr int32_t kSets = 2, kStep = 2 * kSets;

// How many of the `size` values from `v` lie under `t`, and how many at or under it.
void count_around(const double* v, int32_t size, double t, int64_t* under, int64_t* upto)
{
    const pair at = {t, t};
    pair_mask less[kSets] = {}, most[kSets] = {};
    int32_t i = 0;
    for (; i + kStep <= size; i += kStep)
        for (int32_t j = 0; j < kSets; ++j) {
            pair x;
            std::memcpy(&x, v + i + 2 * j, sizeof x);
            // A comparison's lanes are all ones where it holds: -1.
            less[j] -= x < at;
            most[j] -= x <= at;
        }
    int64_t u = 0, w = 0;
    for (int32_t j = 0; j < kSets; ++j)
        for (int32_t l = 0; l < 2; ++l) u += less[j][l], w += most[j][l];
    for (; i < size; ++i) u += v[i] < t, w += v[i] <= t;
    *under = u;
    *upto = w;
}

// The nearest of the values to `t` under it (`below`), or over it; -inf or inf for none.
// The nearest values are maxima or minima, which come out the same in any order.
double nearest_beside(const double* v, int32_t size, double t, bool below)
{
    const double none = below ? -HUGE_VAL : HUGE_VAL;
    const pair at = {t, t}, nothing = {none, none};
    pair best[kSets] = {nothing, nothing};
    int32_t i = 0;
    for (; i + kStep <= size; i += kStep)
        for (int32_t j = 0; j < kSets; ++j) {
            pair x;
            std::memcpy(&x, v + i + 2 * j, sizeof x);
            if (below) {
                const pair lower = x < at ? x : nothing;
                best[j] = best[j] < lower ? lower : best[j];
            } else {
                const pair higher = x > at ? x : nothing;
                best[j] = higher < best[j] ? higher : best[j];
            }
        }
    double b = none;
    for (int32_t j = 0; j < kSets; ++j)
        for (int32_t l = 0; l < 2; ++l) b = below ? std::max(b, best[j][l]) : std::min(b, best[j][l]);
    for (; i < size; ++i) {
        if (below && v[i] < t) b = std::max(b, v[i]);
        if (!below && v[i] > t) b = std::min(b, v[i]);
    }
    return b;
}

}  // namespace

// One distinct value at a time from the guess: a floor moves little from one place to
// the next, so the walk is short (most often the guess or its neighbour). Each step
// counts the values under the guess and at or under it, and only where the rank lies
// elsewhere looks for the nearest value on that side: a pass without a branch that
// depends on the values (a search or a selection guesses wrong at every other step,
// which took most of a frame's time), reading them a pair at a time into two sets of
// pairs, so that no step of it waits on the one before and each comparison and choice
// is one vector operation: WebAssembly chooses between two doubles with a branch,
// between two vectors with a bitwise select.
double kth_smallest(const double* v, int32_t size, int32_t k, double guess)
{
    double t = guess;
    for (;;) {
        int64_t under = 0, upto = 0;
        count_around(v, size, t, &under, &upto);
        if (k >= under && k < upto) return t;
        const bool below = k < under;
        const double next = nearest_beside(v, size, t, below);
        if (below ? k == under - 1 : k == upto) return next;
        t = next;
    }
}
