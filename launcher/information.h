// The two arguments that ask about the launcher rather than run it.
#ifndef KVSOLVER_LAUNCHER_INFORMATION_H_
#define KVSOLVER_LAUNCHER_INFORMATION_H_

/// Whether the one argument is "--help" or "--version"; if so, prints the
/// usage text or the version. Nothing else is done for such a call: no
/// banner, no command stream, no call of the library. Any other argument,
/// one that begins with "-" included, is a base name.
bool AnswerInformationRequest(int argc, char** argv);

#endif  // KVSOLVER_LAUNCHER_INFORMATION_H_
