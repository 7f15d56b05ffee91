#include "batch/signals.h"

namespace {

/// Set by the handler, read by the batch's loops: the one thing a signal
/// handler may safely do.
volatile std::sig_atomic_t caught = 0;

void Catch(int signal) {
  if (caught == 0) caught = signal;
}

}  // namespace

void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = Catch;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() {
  return caught;
}
