#include "tool/analysis/statistics.h"

#include <algorithm>

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
