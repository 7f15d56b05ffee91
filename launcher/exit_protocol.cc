#include "launcher/exit_protocol.h"

#include <dlfcn.h>

#include "console/console.h"
#include "console/messages.h"
#include "solverlib/kvslvcore.h"

int EndRun(int value, void* library) {
  FlushConsole();
  try {
    CloseOSCompatibility();
  } catch (int teardown) {
    if (value == 0) value = teardown;
  }
  dlclose(library);
  Print(kReportLine, value);
  FlushConsole();
  return value;
}
