#include "launcher/library.h"

#include <dlfcn.h>

#include <initializer_list>

#include "console/console.h"
#include "console/messages.h"
#include "solverlib/kvslvcore.h"

namespace {

/// Prints the loader's pending error text, as narrow text converted by the
/// console's own formatting.
void PrintLoaderError() {
  const char* error = dlerror();
  Print(kLoaderErrorText, error != nullptr ? error : "");
}

}  // namespace

void* OpenSolverLibrary() {
  void* library = dlopen(kSolverLibraryName, RTLD_LAZY);
  if (library == nullptr) {
    Print(kLoaderErrorHead);
    PrintLoaderError();
    FlushConsole();
    return nullptr;
  }
  dlerror();
  for (const char* entry :
       {kConvertEntryName, kSolverEntryName, kEndSolverEntryName}) {
    if (dlsym(library, entry) == nullptr) {
      PrintLoaderError();
      FlushConsole();
      return nullptr;
    }
  }
  return library;
}
