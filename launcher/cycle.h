// The steps of one cycle that lie between the banner and the stages. Each
// ends the run by raising an integer when it fails.
#ifndef KVSOLVER_LAUNCHER_CYCLE_H_
#define KVSOLVER_LAUNCHER_CYCLE_H_

#include <cstdio>
#include <string>

/// What the console dialogue keeps from one cycle to the next.
struct DialogueState {
  std::string answer;  ///< the first answer of the cycle
  bool input_ended;  ///< end of input was met at the first prompt before
};

/// Creates or empties the command stream file in the working directory:
/// a regular file of this name, never what a symbolic link points at.
/// Holds the run's lock on it in `*lock` (see stream_lock.h); a stream that
/// another run holds ends the run, untouched.
FILE* CreateCommandStream(int* lock);

/// Fills the stream from the source the arguments choose: the console
/// dialogue (none), an auto-command file (one) or a model name and a
/// solver script (two). Sets `mode` to "sta" for the stages. A model name
/// that holds a line end is refused before anything is written.
void ReadCommands(int argc, char** argv, FILE* stream, char* mode,
                  DialogueState* dialogue);

/// Closes the stream and sets `*stream` to nullptr; the stages never run
/// on a stream that was not written whole.
void CloseCommandStream(FILE** stream);

#endif  // KVSOLVER_LAUNCHER_CYCLE_H_
