// SIGINT and SIGTERM as a batch takes them: they end the batch in order
// rather than the process at once.
#ifndef KVSOLVER_BATCH_SIGNALS_H_
#define KVSOLVER_BATCH_SIGNALS_H_

#include <csignal>

/// Catches SIGINT and SIGTERM from now on; StopSignal tells which came.
void CatchStopSignals();

/// The first SIGINT or SIGTERM caught, or 0.
int StopSignal();

#endif  // KVSOLVER_BATCH_SIGNALS_H_
