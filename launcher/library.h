// Opening the solver library at start.
#ifndef KVSOLVER_LAUNCHER_LIBRARY_H_
#define KVSOLVER_LAUNCHER_LIBRARY_H_

/// Opens the solver library by name and proves that its three entries can
/// be looked up. Returns the handle, or nullptr after printing the loader's
/// error text.
void* OpenSolverLibrary();

#endif  // KVSOLVER_LAUNCHER_LIBRARY_H_
