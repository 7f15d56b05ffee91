#include "batch/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <initializer_list>

namespace {

/// Set by the handler, read by the loops: with the write below, all that a
/// signal handler may safely do.
volatile std::sig_atomic_t stop = 0;
volatile std::sig_atomic_t halt = 0;
int wake[2] = {-1, -1};

/// The signals this process was started with ignored.
sigset_t ignored_at_start;

void Catch(int signal) {
  int saved = errno;
  if (signal == SIGUSR1) {
    halt = 1;
  } else if (stop == 0) {
    stop = signal;
  }
  char byte = 0;
  [[maybe_unused]] ssize_t n = write(wake[1], &byte, 1);
  errno = saved;
}

/// Sets `signal`'s handling to `handler`.
void Handle(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  for (int masked : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&action.sa_mask, masked);
  action.sa_handler = handler;
  sigaction(signal, &action, nullptr);
}

/// Notes which signals this process was started with ignored.
void NoteIgnored() {
  sigemptyset(&ignored_at_start);
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction action;
    if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN)
      sigaddset(&ignored_at_start, signal);
  }
}

/// Opens the wake pipe.
void OpenWake() {
  if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) wake[0] = wake[1] = -1;
}

/// Lets every signal in.
void UnblockAll() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace

void CatchSignals() {
  NoteIgnored();
  stop = 0;
  halt = 0;
  OpenWake();
  Handle(SIGCHLD, SIG_DFL);
  Handle(SIGPIPE, SIG_IGN);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
    if (!sigismember(&ignored_at_start, signal)) Handle(signal, Catch);
  UnblockAll();
}

void CatchSignalsInTask() {
  halt = 0;
  OpenWake();
  Handle(SIGTERM, Catch);
  Handle(SIGUSR1, Catch);
  UnblockAll();
}

void DefaultSignals() {
  for (int signal = 1; signal < NSIG; ++signal)
    if (signal != SIGKILL && signal != SIGSTOP)
      Handle(signal, signal != SIGCHLD && sigismember(&ignored_at_start, signal) ? SIG_IGN
                                                                                 : SIG_DFL);
  UnblockAll();
}

sigset_t HoldSignals() {
  sigset_t all, before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  return before;
}

void ReleaseSignals(const sigset_t& mask) {
  sigprocmask(SIG_SETMASK, &mask, nullptr);
}

int StopSignal() {
  return stop;
}

bool HaltAsked() {
  return halt != 0;
}

int WakeDescriptor() {
  return wake[0];
}

void DrainWake() {
  char block[64];
  while (read(wake[0], block, sizeof block) > 0) {
  }
}

bool StopCaughtWithin(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (StopSignal() == 0 && !HaltAsked()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    struct pollfd fd = {WakeDescriptor(), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left.count()));
    DrainWake();
  }
  return true;
}
