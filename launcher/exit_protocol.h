// How every run after start-up ends.
#ifndef KVSOLVER_LAUNCHER_EXIT_PROTOCOL_H_
#define KVSOLVER_LAUNCHER_EXIT_PROTOCOL_H_

/// Tears the library's set-up down, releases `library`, prints the report
/// line and returns the run's value. An integer raised by the tear-down
/// becomes the value only when the run's own value was 0.
int EndRun(int value, void* library);

#endif  // KVSOLVER_LAUNCHER_EXIT_PROTOCOL_H_
