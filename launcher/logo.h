// The banner shown at the start of every cycle, and the version text, both
// with the launcher's build date and time.
#ifndef KVSOLVER_LAUNCHER_LOGO_H_
#define KVSOLVER_LAUNCHER_LOGO_H_

/// Prints the banner with the launcher's build date and time.
void PrintLogo();

/// Prints what --version shows: the project's version, the banner's
/// program line, and the build date and time.
void PrintVersion();

#endif  // KVSOLVER_LAUNCHER_LOGO_H_
