#include "batch/histogram.h"

#include <algorithm>
#include <cmath>

namespace {

/// The least of 1, 2 and 5 times a power of ten that is at least `least`.
double NiceWidth(double least) {
  double power = std::pow(10.0, std::floor(std::log10(least)));
  for (double step : {1.0, 2.0, 5.0})
    if (step * power >= least * (1 - 1e-12)) return step * power;
  return 10 * power;
}

/// The next nice width after `width`.
double NextWidth(double width) { return NiceWidth(width * 1.01); }

/// Which bin of `h` holds `value`, guarding against rounding at an edge.
size_t BinOf(const Histogram& h, double value) {
  double k = std::floor((value - h.start) / h.width + 1e-9);
  return std::min(static_cast<size_t>(std::max(k, 0.0)), h.counts.size() - 1);
}

}  // namespace

Histogram Bin(const std::vector<double>& values, size_t most) {
  Histogram h;
  std::vector<double> kept;
  for (double v : values)
    if (std::isfinite(v) && v >= 0) kept.push_back(v);
  if (kept.empty() || most == 0) return h;
  auto [low, high] = std::minmax_element(kept.begin(), kept.end());
  double span = *high - *low;
  h.width = NiceWidth(span > 0 ? span / static_cast<double>(most) : std::max(*high, 1.0));
  for (;;) {
    h.start = std::floor(*low / h.width + 1e-9) * h.width;
    size_t bins = static_cast<size_t>(std::floor((*high - h.start) / h.width + 1e-9)) + 1;
    if (bins <= most) {
      h.counts.assign(bins, 0);
      break;
    }
    h.width = NextWidth(h.width);
  }
  for (double v : kept) ++h.counts[BinOf(h, v)];
  return h;
}
