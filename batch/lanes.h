// Laying a study's runs out on the timeline's lanes, as many lanes as ran
// at once: each run on the first lane free when it started, and the runs
// of each host on lanes of their own.
#ifndef KVSOLVER_BATCH_LANES_H_
#define KVSOLVER_BATCH_LANES_H_

#include <cstddef>
#include <vector>

/// One run: when it started and ended, in seconds, and its host's number.
struct Span {
  double start = 0;
  double end = 0;
  size_t group = 0;
};

/// Where the runs went.
struct Lanes {
  std::vector<size_t> lane;   ///< each span's lane, from 0
  std::vector<double> start;  ///< each span's start as drawn
  std::vector<size_t> first;  ///< each group's first lane; its last is the next's first - 1
  size_t count = 0;           ///< lanes in all
};

/// Lays `spans` out, group after group in the order of their numbers
/// (0 to the greatest): within a group each span, in the order of their
/// starts, goes on its first lane whose last span ended at most `slack`
/// seconds after the span's start, or on a new lane. A start may be up to
/// `slack` early (the records' starts are whole seconds), so a span that
/// starts before its lane's last end is drawn from that end, for as long.
/// A group without spans has no lane.
Lanes LayOutLanes(const std::vector<Span>& spans, double slack);

#endif  // KVSOLVER_BATCH_LANES_H_
