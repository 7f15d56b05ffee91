// A distribution drawn as an inline SVG bar chart: one bar per bin, its
// edges on the axis and its count on hover.
#ifndef KVSOLVER_BATCH_HISTOGRAM_CHART_H_
#define KVSOLVER_BATCH_HISTOGRAM_CHART_H_

#include <string>

#include "batch/histogram.h"

/// `histogram` drawn, its figures in `unit` ("s", "MiB"); empty when it
/// has no bins.
std::string DrawHistogram(const Histogram& histogram, const std::string& unit);

#endif  // KVSOLVER_BATCH_HISTOGRAM_CHART_H_
