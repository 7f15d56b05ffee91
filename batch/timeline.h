// The study's timeline: a bar for each job's last attempt, from its start
// for its run time, on lanes laid out from those times (by host when the
// jobs ran on several), coloured by state, drawn as inline SVG.
#ifndef KVSOLVER_BATCH_TIMELINE_H_
#define KVSOLVER_BATCH_TIMELINE_H_

#include <cstddef>
#include <string>

#include "batch/study.h"

/// The drawing and what it holds.
struct Timeline {
  std::string svg;     ///< empty when no job has a start
  size_t runs = 0;     ///< jobs drawn
  size_t bars = 0;     ///< bars drawn: runs of one state on a lane closer
                       ///< than a pixel are one bar
  size_t lanes = 0;    ///< lanes drawn
  size_t hosts = 0;    ///< lanes are grouped by host when more than one
  double seconds = 0;  ///< from the first start to the last end, at least 1
};

/// Draws the jobs of `study` that have a start.
Timeline DrawTimeline(const Study& study);

#endif  // KVSOLVER_BATCH_TIMELINE_H_
