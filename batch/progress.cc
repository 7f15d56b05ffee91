#include "batch/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "batch/escape.h"
#include "batch/signals.h"

Progress::Progress(const Study& study, size_t parallel)
    : study_(study),
      parallel_(std::max<size_t>(parallel, 1)),
      terminal_(isatty(STDERR_FILENO) != 0),
      start_(std::chrono::steady_clock::now()) {}

void Progress::JobEnded(size_t i) {
  if (terminal_) return Tick();
  const Row& r = study_.rows[i];
  std::string value = r.return_value ? " " + std::to_string(*r.return_value) : "";
  // A reused job's run time is an earlier batch's.
  char seconds[32] = "";
  if (r.state != State::kReused) std::snprintf(seconds, sizeof seconds, " (%.1f s)", r.seconds);
  std::fprintf(stderr, "kvsolver-batch: %s: %s%s, %s%s\n",
               EscapeControls(study_.jobs[i].path).c_str(), StateName(r.state), value.c_str(),
               EscapeControls(r.meaning).c_str(), seconds);
}

void Progress::Tick() {
  if (!terminal_) return;
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  std::string left;
  size_t remaining = study_.jobs.size() - study_.ended_count;
  if (study_.run_count > 0 && remaining > 0) {
    double each = study_.run_seconds / static_cast<double>(study_.run_count);
    double waves = static_cast<double>(remaining) / static_cast<double>(parallel_);
    char text[48];
    std::snprintf(text, sizeof text, ", about %.0f s left", each * std::max(waves, 1.0));
    left = text;
  }
  std::fprintf(stderr, "\r\033[Kkvsolver-batch: %zu of %zu ended, %zu not finished, %zu running; "
               "%.0f s%s", study_.ended_count, study_.jobs.size(), study_.unsuccessful,
               study_.running, elapsed.count(), left.c_str());
  std::fflush(stderr);
}

void Progress::End() {
  bool stopped = StopSignal() != 0;
  if (!terminal_ && !stopped) return;
  // Jobs that ran to an end, how many of those did not finish, and those
  // a stop or another batch kept from starting.
  size_t ended = 0, unfinished = 0, never = 0;
  for (size_t i = 0; i < study_.jobs.size(); ++i) {
    State state = study_.rows[i].state;
    if (!study_.started[i] && state == State::kNotRun) {
      ++never;
    } else if (study_.ended[i]) {
      ++ended;
      if (!Succeeded(state)) ++unfinished;
    }
  }
  std::fprintf(stderr,
               "%skvsolver-batch: %s%zu of %zu ended, %zu not finished, %zu never started\n",
               terminal_ ? "\r\033[K" : "", stopped ? "stopped: " : "", ended,
               study_.jobs.size(), unfinished, never);
}
