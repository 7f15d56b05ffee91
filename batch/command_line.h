// The command line that made a study, as its report shows it.
#ifndef KVSOLVER_BATCH_COMMAND_LINE_H_
#define KVSOLVER_BATCH_COMMAND_LINE_H_

#include <cstddef>
#include <string>

/// `argv` as one line that a shell splits back into the same words: a
/// word with anything but letters, digits and -_./=:,+@% is put in single
/// quotes. Past `most` bytes the line ends with how many words are left
/// out.
std::string CommandLine(int argc, char** argv, size_t most);

#endif  // KVSOLVER_BATCH_COMMAND_LINE_H_
