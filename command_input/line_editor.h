// Reading the console dialogue's answers at a terminal through a line
// editor: editing keys, the answers given earlier at the same prompt on Up
// and Down, and Tab completion of names on disk.
#ifndef KVSOLVER_COMMAND_INPUT_LINE_EDITOR_H_
#define KVSOLVER_COMMAND_INPUT_LINE_EDITOR_H_

#include <string>

#include "command_input/name_completion.h"

/// Whether answers are read through the line editor: standard input and
/// output are both a terminal.
bool AtTerminal();

/// Reads one edited line into `answer`, with its line end; empty at end of
/// input (Ctrl-D on an empty line). Tab completes names of `kind`; Up and
/// Down go through the earlier answers of `kind`. The editor is set up at
/// the first call; it reads no start-up file and keeps no history file.
/// Returns false, having read nothing, when it can't be set up.
bool EditAnswer(NameKind kind, std::string* answer);

#endif  // KVSOLVER_COMMAND_INPUT_LINE_EDITOR_H_
