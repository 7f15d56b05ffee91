// The solver library's operations as the launcher uses them.
//
// The library is a closed shared object, libkvslvcore.so. Four functions are
// bound when the launcher is linked; three entries are looked up by name each
// time a stage runs. Any of the seven may end by throwing a bare int, so none
// of them is declared noexcept.
#ifndef KVSOLVER_SOLVERLIB_KVSLVCORE_H_
#define KVSOLVER_SOLVERLIB_KVSLVCORE_H_

/// File name by which the launcher opens the library at start.
constexpr char kSolverLibraryName[] = "libkvslvcore.so";

extern "C" {

/// Prepares the process for the library's work; called at the start of every
/// cycle, after the command stream file is created.
void SetOSCompatibility();

/// Undoes the set-up; called once, when the run ends.
void CloseOSCompatibility();

/// Tells the library how its entries will be called; always given 0, before
/// every call of the convert entry.
void SetTypeDLLcall(int type);

/// Fills `wide` with `text` (UTF-8) as a terminated wide string; the buffer
/// must hold at least strlen(text) + 1 wide characters.
void GetWcStringFromUTF8(const char* text, wchar_t* wide);

}  // extern "C"

/// Converts the closed command stream; 0 means success.
using KConvertEntry = int();
/// Solves what was converted; `second` is never read back.
using KSolverEntry = void(int first, int* second);
/// Closes the solve, after it ends normally or by an integer.
using KEndSolverEntry = void();

/// Names of the entries looked up in the opened library.
constexpr char kConvertEntryName[] = "k_convert";
constexpr char kSolverEntryName[] = "k_solver";
constexpr char kEndSolverEntryName[] = "k_endsolver";

#endif  // KVSOLVER_SOLVERLIB_KVSLVCORE_H_
