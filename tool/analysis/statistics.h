#pragma once
// Order statistics of a few readings, written once for every analysis that spreads or
// centres them.
#include <cstddef>
#include <cstdint>
#include <vector>

// The value a share q of `v` lies at or below (q = 0.5: the median); the in-place form
// reorders `v` and spares a copy where it is called for every few bins of every frame.
double quantile(std::vector<double> v, double q);
double quantile_in_place(std::vector<double>* v, double q);
// Where that value lies among `size` values in order (size > 0).
size_t quantile_rank(size_t size, double q);
double median(std::vector<double> v);
// The spread of `v` from its 10th to its 90th percentile: how far a steady reading
// wanders, with a stray tenth at each end passed over.
double spread(const std::vector<double>& v);
// From the 25th to the 75th percentile: the middle half.
double middle_spread(const std::vector<double>& v);
// The k-th smallest (counting from 0, k < size) of the `size` values from `v`, none of
// them NaN, walked to from `guess`: quick where the guess lies near it, as a floor taken
// every few bins lies near the one before.
double kth_smallest(const double* v, int32_t size, int32_t k, double guess);
