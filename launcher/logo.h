// The banner shown at the start of every cycle.
#ifndef KVSOLVER_LAUNCHER_LOGO_H_
#define KVSOLVER_LAUNCHER_LOGO_H_

/// Prints the banner with the launcher's build date and time.
void PrintLogo();

#endif  // KVSOLVER_LAUNCHER_LOGO_H_
