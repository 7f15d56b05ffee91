#include "batch/directory_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/test_dir.h"

namespace {

TEST(DirectoryLockTest, ALockHeldElsewhereIsSeenWithoutTakingIt) {
  ScratchDir dir;
  int dirfd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirfd, 0);
  auto none = HeldDirectoryLocks();
  ASSERT_TRUE(none) << "the kernel's table of locks can't be read";
  EXPECT_FALSE(DirectoryLocked(dirfd, none));
  EXPECT_FALSE(DirectoryLocked(dirfd, std::nullopt));
  // A task of another process holds it, as a running task does.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  if (holder == 0) {
    int fd = open(".", O_RDONLY | O_DIRECTORY);
    char byte = LockDirectory(fd) ? 1 : 0;
    [[maybe_unused]] ssize_t n = write(ready[1], &byte, 1);
    pause();
    _exit(0);
  }
  char locked = 0;
  ASSERT_EQ(read(ready[0], &locked, 1), 1);
  ASSERT_EQ(locked, 1);
  EXPECT_TRUE(DirectoryLocked(dirfd, HeldDirectoryLocks()));
  EXPECT_TRUE(DirectoryLocked(dirfd, std::nullopt));
  EXPECT_FALSE(LockDirectory(dirfd)) << "a second task is kept out";
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_FALSE(DirectoryLocked(dirfd, HeldDirectoryLocks())) << "a dead task holds nothing";
  close(ready[0]);
  close(ready[1]);
  close(dirfd);
}

}  // namespace
