#include "launcher/stages.h"

#include <dlfcn.h>

#include "console/console.h"
#include "console/messages.h"
#include "solverlib/kvslvcore.h"

namespace {

/// Looks entry `name` up again in the library: each stage does so each
/// time it runs.
template <typename Entry>
Entry* LookUp(void* library, const char* name) {
  return reinterpret_cast<Entry*>(dlsym(library, name));
}

}  // namespace

int RunConvert(void* library) {
  FlushConsole();
  SetTypeDLLcall(0);
  KConvertEntry* convert = LookUp<KConvertEntry>(library, kConvertEntryName);
  if (convert == nullptr || convert() != 0) {
    Print(kConvertFailureBanner);
    return 0;
  }
  Print(kConvertSuccessBanner);
  return 1;
}

int RunSolver(int first, int second, void* library) {
  KSolverEntry* solve = LookUp<KSolverEntry>(library, kSolverEntryName);
  KEndSolverEntry* end_solve =
      LookUp<KEndSolverEntry>(library, kEndSolverEntryName);
  if (solve == nullptr || end_solve == nullptr) return 0;
  FlushConsole();
  try {
    solve(first, &second);
    end_solve();
    return 1;
  } catch (int) {
    // The solve is closed all the same. A value other than 0 raised now is
    // the run's; a 0 would report the failed solve as a success, so the
    // solve's failure stands.
    try {
      end_solve();
    } catch (int value) {
      if (value != 0) throw;
    }
    return 0;
  }
}
