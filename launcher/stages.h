// The two stages the solver library runs on a closed command stream.
#ifndef KVSOLVER_LAUNCHER_STAGES_H_
#define KVSOLVER_LAUNCHER_STAGES_H_

/// Has the library convert the command stream and shows the outcome.
/// Returns 1 on success, 0 on failure; an integer the library raises passes.
int RunConvert(void* library);

/// Has the library solve and close the solve. Returns 1 when the solve
/// returned, 0 when it ended by an integer (after closing it once more).
int RunSolver(int first, int second, void* library);

#endif  // KVSOLVER_LAUNCHER_STAGES_H_
