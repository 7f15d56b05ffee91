// ReadFromConsol: the console dialogue's writer.
#include <cstring>
#include <initializer_list>

#include "command_input/line_reader.h"
#include "command_input/writers.h"
#include "console/console.h"
#include "console/messages.h"

namespace {

/// Shows `prompt` and reads one answer piece from standard input.
size_t Ask(const wchar_t* prompt, char* answer) {
  Print(prompt);
  FlushConsole();
  LineSource console;
  InitLineSource(&console, stdin, FileCodePlain, false);
  return ReadPiece(&console, answer, kPieceSize);
}

/// Whether an answer piece ends the dialogue: it begins with one of `words`.
bool EndsDialogue(const char* answer, size_t length,
                  std::initializer_list<const char*> words) {
  for (const char* word : words)
    if (BeginsWithWord(answer, length, word)) return true;
  return false;
}

}  // namespace

int ReadFromConsol(FILE* stream, char* answer, char* mode) {
  std::strcpy(mode, "sta");
  answer[0] = '\0';
  size_t length = Ask(kPromptCommandFile, answer);
  if (EndsDialogue(answer, length, {"exit", "EXIT", "stop", "STOP"})) return 0;
  if (!(length == 1 && answer[0] == '\n')) return 1;

  char model[kPieceSize];
  do {
    length = Ask(kPromptModelName, model);
    // End of input leaves no name to use: the dialogue ends.
    if (length == 0) return 0;
  } while (model[0] == '\n');
  if (EndsDialogue(model, length, {"stop", "STOP"})) return 0;

  model[std::strcspn(model, "\n")] = '\0';
  std::fputs(model, stream);
  std::fputs("\n0\n", stream);
  return 1;
}
