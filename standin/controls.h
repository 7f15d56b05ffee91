// Test controls of the stand-in library, read from its own environment:
//   KVS_STANDIN_LOG=FILE             one line per call, with its arguments
//   KVS_STANDIN_THROW=OP[.N]=V,...   the Nth call of OP (every call without
//                                    .N) throws the int V; a V that is not
//                                    an integer throws std::runtime_error
//   KVS_STANDIN_CONVERT_RESULT=N     k_convert returns N without checking
//   KVS_STANDIN_STREAM_COPY=FILE     k_convert appends the command stream,
//                                    as it stands then, to FILE
//   KVS_STANDIN_QUIET=1              the stages print nothing (for timing
//                                    the launcher alone)
//   KVS_STANDIN_SOLVE_WAIT=FILE      k_solver waits until FILE exists (at
//                                    most two minutes), so that a test can
//                                    hold a run in its solve stage
//   KVS_STANDIN_SOLVE_MEMORY=MIB     k_solver holds MIB MiB, every page
//                                    touched, while it solves
//   KVS_STANDIN_SOLVE_CPU=SECONDS    k_solver burns SECONDS of CPU time
// The launcher reads none of these.
#ifndef KVSOLVER_STANDIN_CONTROLS_H_
#define KVSOLVER_STANDIN_CONTROLS_H_

#include <optional>
#include <string>

/// Whether calls are logged, so that a caller builds its details only then.
bool LogEnabled();

/// The seven operations of the library.
enum class Operation {
  kSetOSCompatibility,
  kCloseOSCompatibility,
  kSetTypeDLLcall,
  kGetWcStringFromUTF8,
  kConvert,
  kSolver,
  kEndSolver,
};

/// Records a call of `operation` in the log and counts it; then throws when
/// a control asks this call to. `details` are the call's arguments.
void EnterOperation(Operation operation, const std::string& details = "");

/// The result k_convert is told to give, if any.
std::optional<int> ControlledConvertResult();

/// Where k_convert copies the command stream, or empty.
std::string StreamCopyPath();

/// Whether the stages are to print nothing.
bool Quiet();

/// Waits until the file KVS_STANDIN_SOLVE_WAIT names exists, if it names one.
void WaitForSolveRelease();

/// Holds the memory and burns the CPU time that KVS_STANDIN_SOLVE_MEMORY
/// and KVS_STANDIN_SOLVE_CPU ask for, so that a job's cost is known.
void UseSolveResources();

#endif  // KVSOLVER_STANDIN_CONTROLS_H_
