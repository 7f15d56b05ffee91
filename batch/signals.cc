#include "batch/signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace {

/// Set by the handler, read by the loops: with the write below, all that a
/// signal handler may safely do.
volatile std::sig_atomic_t stop = 0;
volatile std::sig_atomic_t halt = 0;
int wake[2] = {-1, -1};

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

}  // namespace

void CatchSignals() {
  stop = 0;
  halt = 0;
  if (wake[0] >= 0) {
    close(wake[0]);
    close(wake[1]);
  }
  if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) wake[0] = wake[1] = -1;
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = SIG_DFL;
  sigaction(SIGCHLD, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
  action.sa_handler = Catch;
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaction(signal, &action, nullptr);
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
