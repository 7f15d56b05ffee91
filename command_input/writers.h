// The three writers that fill the command stream.
//
// The command stream is the narrow text file the solver library converts:
//   line 1  the model (KMD) file name
//   line 2  "1" when command lines follow (from a command file), "0" when
//           none do (from the console)
//   then    every command line of the file as read, "!" comment lines left
//           out, up to and including the first line that begins with
//           "stop" or "STOP".
// Each writer returns 1 when the stream was written and 0 when its file
// can't be opened or the user asked to end.
#ifndef KVSOLVER_COMMAND_INPUT_WRITERS_H_
#define KVSOLVER_COMMAND_INPUT_WRITERS_H_

#include <cstdio>
#include <string>

/// The command stream's fixed name in the working directory.
constexpr char kCommandStreamName[] = "z_z_z_z_.___";

/// Asks on the console for an auto-command file or, after a bare ENTER, for
/// a model name. Sets `mode` to "sta" and sets `answer` to the first
/// answer, whole. A lone line end as the answer means the model
/// name was written to `stream`; any other answer names an auto-command
/// file for the caller to hand to ReadFromKcf, and nothing was written.
int ReadFromConsol(FILE* stream, std::string* answer, char* mode);

/// Copies `base`.kcf, or `base`.acf when that can't be opened: its first
/// line is the model name, the rest are commands.
int ReadFromKcf(FILE* stream, const char* base);

/// Writes `model` and copies the commands of `base`.kss.
int ReadFromKss(FILE* stream, const char* model, const char* base);

#endif  // KVSOLVER_COMMAND_INPUT_WRITERS_H_
