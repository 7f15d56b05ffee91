#include "batch/lanes.h"

#include <algorithm>
#include <numeric>

Lanes LayOutLanes(const std::vector<Span>& spans, double slack) {
  Lanes lanes;
  lanes.lane.assign(spans.size(), 0);
  lanes.start.assign(spans.size(), 0);
  std::vector<size_t> order(spans.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (spans[a].group != spans[b].group) return spans[a].group < spans[b].group;
    return spans[a].start < spans[b].start;
  });
  size_t groups = 0;
  for (const Span& span : spans) groups = std::max(groups, span.group + 1);
  lanes.first.assign(groups, 0);
  std::vector<double> ends;  // the current group's lanes: where each is taken up to
  size_t group = 0;
  for (size_t i : order) {
    for (; group < spans[i].group; ++group) {
      lanes.count += ends.size();
      ends.clear();
      lanes.first[group + 1] = lanes.count;
    }
    size_t free = 0;
    while (free < ends.size() && ends[free] > spans[i].start + slack) ++free;
    double start = free < ends.size() ? std::max(spans[i].start, ends[free]) : spans[i].start;
    if (free == ends.size()) ends.push_back(0);
    ends[free] = start + (spans[i].end - spans[i].start);
    lanes.lane[i] = lanes.first[group] + free;
    lanes.start[i] = start;
  }
  lanes.count += ends.size();
  for (++group; group < groups; ++group) lanes.first[group] = lanes.count;
  return lanes;
}
