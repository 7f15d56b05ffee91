// ReadFromConsol: the console dialogue's writer.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "command_input/line_editor.h"
#include "command_input/writers.h"
#include "console/console.h"
#include "console/messages.h"

namespace {

/// Shows `prompt` and reads one whole answer from standard input into
/// `answer`: up to and including its line end, or to the end of input. At
/// a terminal the line is edited first (Tab completes names of `kind`).
/// Otherwise standard input is read a byte at a time and never past the
/// line end, so the next prompt, or whatever reads the input after the
/// launcher, gets the next line.
void Ask(const wchar_t* prompt, NameKind kind, std::string* answer) {
  Print(prompt);
  FlushConsole();
  if (AtTerminal() && EditAnswer(kind, answer)) return;
  answer->clear();
  char c;
  for (;;) {
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    answer->push_back(c);
    if (c == '\n') return;
  }
}

/// Whether an answer ends the dialogue: it begins with one of `words`.
bool EndsDialogue(const std::string& answer,
                  std::initializer_list<const char*> words) {
  for (const char* word : words)
    if (answer.compare(0, 4, word) == 0) return true;
  return false;
}

}  // namespace

int ReadFromConsol(FILE* stream, std::string* answer, char* mode) {
  std::strcpy(mode, "sta");
  Ask(kPromptCommandFile, NameKind::kCommandFileBase, answer);
  if (EndsDialogue(*answer, {"exit", "EXIT", "stop", "STOP"})) return 0;
  if (*answer != "\n") return 1;

  std::string model;
  do {
    Ask(kPromptModelName, NameKind::kFile, &model);
    // End of input leaves no name to use: the dialogue ends.
    if (model.empty()) return 0;
  } while (model[0] == '\n');
  if (EndsDialogue(model, {"stop", "STOP"})) return 0;

  if (model.back() == '\n') model.pop_back();
  std::fputs(model.c_str(), stream);
  std::fputs("\n0\n", stream);
  return 1;
}
