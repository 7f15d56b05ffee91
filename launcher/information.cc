#include "launcher/information.h"

#include <cstring>

#include "console/console.h"
#include "console/messages.h"
#include "launcher/logo.h"

bool AnswerInformationRequest(int argc, char** argv) {
  if (argc != 2) return false;
  if (std::strcmp(argv[1], "--help") == 0) {
    Print(kHelp);
  } else if (std::strcmp(argv[1], "--version") == 0) {
    PrintVersion();
  } else {
    return false;
  }
  FlushConsole();
  return true;
}
