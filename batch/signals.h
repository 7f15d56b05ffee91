// The signals a batch and its tasks take: SIGINT, SIGTERM and SIGHUP stop
// them in order, SIGUSR1 tells a task to start no further job. Each wakes
// whoever waits on WakeDescriptor, so no loop has to sleep to see them. A
// signal the batch was started with ignored stays ignored, for the batch
// and for the programs it runs.
#ifndef KVSOLVER_BATCH_SIGNALS_H_
#define KVSOLVER_BATCH_SIGNALS_H_

#include <csignal>

/// Sets the batch's signals up: no blocked signal, SIGCHLD at its default
/// (an ignored SIGCHLD would leave no child to wait for), SIGPIPE ignored
/// (a failed write is reported instead), and the four signals above caught
/// unless they were ignored when this process started, which it notes.
void CatchSignals();

/// In a task just forked with every signal blocked (see HoldSignals), once
/// it has closed the descriptors it inherited: a wake pipe of its own, SIGTERM and SIGUSR1 caught whatever this process
/// started with (they are the batch's word to its task), a stop the batch
/// had already taken kept, then the signals let in again.
void CatchSignalsInTask();

/// In a program's child just forked with every signal blocked: the default
/// handling of every signal but those ignored at the start, then the
/// signals let in again.
void DefaultSignals();

/// Blocks every signal, so that a fork leaves its child none to take
/// before it has set its own up. Returns the mask to restore.
sigset_t HoldSignals();

/// Restores the mask HoldSignals returned.
void ReleaseSignals(const sigset_t& mask);

/// The first SIGINT, SIGTERM or SIGHUP caught, or 0.
int StopSignal();

/// Whether SIGUSR1 has been caught.
bool HaltAsked();

/// A descriptor that becomes readable when one of the signals is caught.
int WakeDescriptor();

/// Empties WakeDescriptor, once what it woke for has been looked at.
void DrainWake();

/// Waits up to `milliseconds` for a stop or SIGUSR1 to be caught. Returns
/// whether one was. For a signal sent to a whole process tree, which may
/// reach this process a moment after its child.
bool StopCaughtWithin(int milliseconds);

#endif  // KVSOLVER_BATCH_SIGNALS_H_
