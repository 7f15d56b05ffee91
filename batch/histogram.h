// Counting figures into bins of one width that reads well (1, 2 or 5 times
// a power of ten), for the report's distributions.
#ifndef KVSOLVER_BATCH_HISTOGRAM_H_
#define KVSOLVER_BATCH_HISTOGRAM_H_

#include <cstddef>
#include <vector>

/// Counts of figures in bins [start + k*width, start + (k+1)*width).
struct Histogram {
  double start = 0;
  double width = 1;
  std::vector<size_t> counts;  ///< empty when there were no figures
};

/// `values` (finite and not negative; others are left out) in at most
/// `most` bins, the first starting at a multiple of the width at or below
/// the least value, the last holding the greatest; figures all alike
/// share one bin, at least 1 wide.
Histogram Bin(const std::vector<double>& values, size_t most);

#endif  // KVSOLVER_BATCH_HISTOGRAM_H_
