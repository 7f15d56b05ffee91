// Standard input, output and error as the launcher needs them at start.
#ifndef KVSOLVER_LAUNCHER_STANDARD_DESCRIPTORS_H_
#define KVSOLVER_LAUNCHER_STANDARD_DESCRIPTORS_H_

/// Opens /dev/null on each of descriptors 0, 1 and 2 that was closed when
/// the process started, so that no file the launcher opens later takes one
/// of them and console text or the converter's messages never land in it.
void OpenClosedStandardDescriptors();

#endif  // KVSOLVER_LAUNCHER_STANDARD_DESCRIPTORS_H_
