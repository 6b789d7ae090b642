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

// One distinct value at a time from the guess: a floor moves little from one place to
// the next, so the walk is short (most often the guess or its neighbour), and each step
// is one pass of counts and nearest values without a branch that depends on them (a
// search or a selection guesses wrong at every other step, which took most of a frame's
// time). The pass reads the values a pair at a time into two sets of pairs of counts
// and nearest values, so that no step of it waits on the one before and each comparison
// and choice is one vector operation: WebAssembly chooses between two doubles with a
// branch, between two vectors with a bitwise select. The nearest values are minima and
// maxima, which come out the same in any order.
double kth_smallest(const double* v, int32_t size, int32_t k, double guess)
{
    typedef double pair __attribute__((vector_size(16)));
    typedef int64_t pair_mask __attribute__((vector_size(16)));
    constexpr int32_t kSets = 2, kStep = 2 * kSets;
    double t = guess;
    for (;;) {
        const pair at = {t, t}, lowest = {-HUGE_VAL, -HUGE_VAL}, highest = {HUGE_VAL, HUGE_VAL};
        pair_mask under[kSets] = {}, upto[kSets] = {};
        pair below[kSets] = {lowest, lowest}, above[kSets] = {highest, highest};  // the nearest values on either side
        int32_t i = 0;
        for (; i + kStep <= size; i += kStep)
            for (int32_t j = 0; j < kSets; ++j) {
                pair x;
                std::memcpy(&x, v + i + 2 * j, sizeof x);
                const pair_mask less = x<at, more = x> at;
                // A comparison's lanes are all ones where it holds: -1.
                under[j] -= less;
                upto[j] -= x <= at;
                const pair lower = less ? x : lowest, higher = more ? x : highest;
                below[j] = below[j] < lower ? lower : below[j];
                above[j] = higher < above[j] ? higher : above[j];
            }
        int64_t under_all = 0, upto_all = 0;
        double below_all = -HUGE_VAL, above_all = HUGE_VAL;
        for (int32_t j = 0; j < kSets; ++j)
            for (int32_t l = 0; l < 2; ++l) {
                under_all += under[j][l];
                upto_all += upto[j][l];
                below_all = std::max(below_all, below[j][l]);
                above_all = std::min(above_all, above[j][l]);
            }
        for (; i < size; ++i) {
            const double x = v[i];
            under_all += x < t;
            upto_all += x <= t;
            if (x < t) below_all = std::max(below_all, x);
            if (x > t) above_all = std::min(above_all, x);
        }
        if (k >= under_all && k < upto_all) return t;
        if (k == under_all - 1) return below_all;
        if (k == upto_all) return above_all;
        t = k < under_all ? below_all : above_all;
    }
}
