#include "batch/inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cstdio>

namespace {

constexpr char kMissing[] = "missing";

/// The content of file `name` in `dirfd` as a 128-bit hash in hex, or
/// "missing" when it can't be read as a regular file.
std::string HashFile(int dirfd, const std::string& name) {
  int fd = openat(dirfd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (fd < 0) return kMissing;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return kMissing;
  }
  XXH3_state_t* state = XXH3_createState();
  XXH3_128bits_reset(state);
  char block[1 << 16];
  ssize_t n;
  while ((n = read(fd, block, sizeof block)) > 0)
    XXH3_128bits_update(state, block, static_cast<size_t>(n));
  XXH128_hash_t hash = XXH3_128bits_digest(state);
  XXH3_freeState(state);
  close(fd);
  if (n < 0) return kMissing;
  char hex[40];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                static_cast<unsigned long long>(hash.low64));
  return hex;
}

/// The first line of file `name` in `dirfd`, up to a line end or NUL.
std::string FirstLine(int dirfd, const std::string& name) {
  int fd = openat(dirfd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string();
  char block[4096];
  ssize_t n = read(fd, block, sizeof block);
  close(fd);
  std::string line;
  for (ssize_t i = 0; i < n && block[i] != '\n' && block[i] != '\r' && block[i] != '\0'; ++i)
    line += block[i];
  return line;
}

}  // namespace

Inputs HashInputs(int dirfd, const Job& job, const std::string& model) {
  std::string file = job.file;
  struct stat info;
  if (!job.script && fstatat(dirfd, (job.base + ".kcf").c_str(), &info, 0) == 0 &&
      S_ISREG(info.st_mode))
    file = job.base + ".kcf";
  std::string model_file = job.script ? model : FirstLine(dirfd, file);
  return {HashFile(dirfd, file), model_file.empty() ? "none" : HashFile(dirfd, model_file)};
}

bool KeepsResult(const std::optional<Result>& earlier, const Inputs& now) {
  return earlier && earlier->state == State::kFinished && now.job_hash != kMissing &&
         earlier->job_hash == now.job_hash && earlier->model_hash == now.model_hash;
}
