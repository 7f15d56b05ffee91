// The signals a batch and its tasks take: SIGINT, SIGTERM and SIGHUP stop
// them in order, SIGUSR1 tells a task to start no further job. Each wakes
// whoever waits on WakeDescriptor, so no loop has to sleep to see them.
#ifndef KVSOLVER_BATCH_SIGNALS_H_
#define KVSOLVER_BATCH_SIGNALS_H_

#include <csignal>

/// Sets the signals up from scratch, whatever this process inherited: no
/// blocked signal, SIGCHLD at its default (an ignored SIGCHLD would leave
/// no child to wait for), SIGPIPE ignored (a failed write is reported
/// instead), and the four signals above caught. Forgets any caught before.
void CatchSignals();

/// The first SIGINT, SIGTERM or SIGHUP caught, or 0.
int StopSignal();

/// Whether SIGUSR1 has been caught.
bool HaltAsked();

/// A descriptor that becomes readable when one of the signals is caught.
int WakeDescriptor();

/// Empties WakeDescriptor, once what it woke for has been looked at.
void DrainWake();

#endif  // KVSOLVER_BATCH_SIGNALS_H_
