#include "launcher/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

void OpenClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    // The lowest free descriptor is the closed one: every lower one is open.
    int null = open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) close(null);
  }
}
