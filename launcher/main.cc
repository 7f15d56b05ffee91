// kvsolver: the console launcher of the KV solver.
//
// Asked for --help or --version, it answers and ends. Otherwise it opens
// the solver library, then runs cycles: banner, command stream,
// set-up, command input, stream closed, convert and solve. Every end after
// start-up is an integer raised to the one handler below, which reports it
// and returns it as the exit status (its low eight bits, never 0 for a
// value that is not 0).
#include <cstdio>
#include <cstring>

#include "launcher/cycle.h"
#include "launcher/exit_protocol.h"
#include "launcher/information.h"
#include "launcher/library.h"
#include "launcher/logo.h"
#include "launcher/return_values.h"
#include "launcher/stages.h"
#include "launcher/standard_descriptors.h"
#include "console/console.h"
#include "solverlib/kvslvcore.h"

int main(int argc, char** argv) {
  OpenClosedStandardDescriptors();
  if (AnswerInformationRequest(argc, argv)) return 0;
  void* library = OpenSolverLibrary();
  if (library == nullptr) return kNoSolverLibrary;

  FILE* stream = nullptr;
  int stream_lock = -1;  // held, once taken, until the process ends
  char mode[4] = "";
  DialogueState dialogue = {};
  try {
    for (;;) {
      PrintLogo();
      stream = CreateCommandStream(&stream_lock);
      FlushConsole();
      SetOSCompatibility();
      ReadCommands(argc, argv, stream, mode, &dialogue);
      CloseCommandStream(&stream);
      if (std::strncmp(mode, "sta", 3) == 0) {
        if (!RunConvert(library)) throw kConvertFailed;
        if (!RunSolver(1, 1, library)) throw kSolveFailed;
      }
      if (argc > 1) throw kRunEnded;
    }
  } catch (int value) {
    int result = EndRun(value, library);
    // A cycle that ended early leaves its stream open; it keeps what was
    // written so far.
    if (stream != nullptr) std::fclose(stream);
    return ExitStatusOf(result);
  }
}
