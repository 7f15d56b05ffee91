// The values a run ends with. The exit status is the low eight bits (1 for
// a value whose low eight bits are 0 but which is not 0); an integer
// raised by the solver library passes through unchanged.
#ifndef KVSOLVER_LAUNCHER_RETURN_VALUES_H_
#define KVSOLVER_LAUNCHER_RETURN_VALUES_H_

constexpr int kRunEnded = 0;            ///< a run finished, or the dialogue ended
constexpr int kUsageError = -1;         ///< arguments of no known form, or a
                                        ///< model name that holds a line end
constexpr int kStreamFailed = -2;       ///< the command stream can't be created or written
constexpr int kNoAutoCommandFile = -3;  ///< neither .kcf nor .acf can be read
constexpr int kNoSolverScript = -4;     ///< the .kss file can't be read
constexpr int kStreamInUseByAnotherRun = -5;  ///< another run holds the stream
constexpr int kNoSolverLibrary = -6;    ///< the library or one of its entries is missing
constexpr int kConvertFailed = -10;     ///< the convert stage failed
constexpr int kSolveFailed = -20;       ///< the solve stage ended by an integer

/// The exit status a run that ends with `value` gives: its low eight bits,
/// but never 0 for a value other than 0 (256 would pass for success).
constexpr int ExitStatusOf(int value) {
  int low = value & 0xFF;
  return low == 0 && value != 0 ? 1 : low;
}

/// What each value of the launcher's own means, in a few words, for tables
/// of many runs.
struct ReturnValueMeaning {
  int value;
  const char* meaning;
};
constexpr ReturnValueMeaning kReturnValueMeanings[] = {
    {kRunEnded, "finished"},
    {kUsageError, "usage error"},
    {kStreamFailed, "command stream can't be written"},
    {kNoAutoCommandFile, "no auto-command file"},
    {kNoSolverScript, "no solver script"},
    {kStreamInUseByAnotherRun, "command stream in use by another run"},
    {kNoSolverLibrary, "solver library lacks an entry"},
    {kConvertFailed, "convert failed"},
    {kSolveFailed, "solve failed"},
};
/// The meaning of any other value: the library raised it.
constexpr char kLibraryValueMeaning[] = "error raised by the solver library";

#endif  // KVSOLVER_LAUNCHER_RETURN_VALUES_H_
