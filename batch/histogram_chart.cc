#include "batch/histogram_chart.h"

#include <algorithm>
#include <cmath>

#include "batch/job_figures.h"

namespace {

constexpr double kWidth = 620;
constexpr double kHeight = 210;
constexpr double kLeft = 46;
constexpr double kRight = 10;
constexpr double kTop = 10;
constexpr double kBottom = 34;

/// The decimals that tell bins of `width` apart.
int Digits(double width) {
  return std::max(0, static_cast<int>(-std::floor(std::log10(width) + 1e-9)));
}

/// The bins' edges under the bars: at most about seven of them labelled.
std::string EdgeLabels(const Histogram& h, double bar, const std::string& unit) {
  size_t bins = h.counts.size();
  size_t every = std::max<size_t>(1, (bins + 6) / 7);
  std::string svg;
  for (size_t k = 0; k <= bins; k += every) {
    std::string x = Fixed(kLeft + static_cast<double>(k) * bar, 1);
    svg += "<text class=\"tick\" x=\"" + x + "\" y=\"" + Fixed(kHeight - kBottom + 16, 0) + "\">" +
           Fixed(h.start + static_cast<double>(k) * h.width, Digits(h.width)) + "</text>";
  }
  return svg + "<text class=\"unit\" x=\"" + Fixed(kWidth - kRight, 0) + "\" y=\"" +
         Fixed(kHeight - 2, 0) + "\">" + unit + "</text>";
}

/// The baseline, and the counts at its ends: 0 and the greatest, `most`.
std::string Frame(size_t most) {
  std::string base = Fixed(kHeight - kBottom, 0), left = Fixed(kLeft - 6, 0);
  return "<line class=\"axis\" x1=\"" + Fixed(kLeft, 0) + "\" x2=\"" + Fixed(kWidth - kRight, 0) +
         "\" y1=\"" + base + "\" y2=\"" + base + "\"/><text class=\"count\" x=\"" + left +
         "\" y=\"" + Fixed(kTop + 8, 0) + "\">" + std::to_string(most) +
         "</text><text class=\"count\" x=\"" + left + "\" y=\"" + base + "\">0</text>";
}

/// Bin `k`'s bar, `bar` wide, scaled to `most`, with its range and count.
std::string BinBar(const Histogram& h, size_t k, double bar, size_t most,
                   const std::string& unit) {
  double plot = kHeight - kTop - kBottom;
  double tall = std::max(1.0, plot * static_cast<double>(h.counts[k]) / static_cast<double>(most));
  double from = h.start + static_cast<double>(k) * h.width;
  int digits = Digits(h.width);
  return "<rect x=\"" + Fixed(kLeft + static_cast<double>(k) * bar + 1, 1) + "\" y=\"" +
         Fixed(kTop + plot - tall, 1) + "\" width=\"" + Fixed(std::max(bar - 2, 1.0), 1) +
         "\" height=\"" + Fixed(tall, 1) + "\"><title>" + Fixed(from, digits) + " to " +
         Fixed(from + h.width, digits) + " " + unit + ": " + std::to_string(h.counts[k]) +
         (h.counts[k] == 1 ? " job" : " jobs") + "</title></rect>";
}

}  // namespace

std::string DrawHistogram(const Histogram& h, const std::string& unit) {
  if (h.counts.empty()) return "";
  size_t most = *std::max_element(h.counts.begin(), h.counts.end());
  double bar = (kWidth - kLeft - kRight) / static_cast<double>(h.counts.size());
  std::string svg = "<svg class=\"histogram\" viewBox=\"0 0 " + Fixed(kWidth, 0) + " " +
                    Fixed(kHeight, 0) + "\" role=\"img\">" + Frame(most);
  for (size_t k = 0; k < h.counts.size(); ++k)
    if (h.counts[k] > 0) svg += BinBar(h, k, bar, most, unit);
  return svg + EdgeLabels(h, bar, unit) + "</svg>";
}
