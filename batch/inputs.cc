#include "batch/inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "batch/content_hash.h"
#include "command_input/line_reader.h"

namespace {

constexpr char kMissing[] = "missing";

/// Whether `bytes` hold what the converter rewrites: a carriage return,
/// or, at the file's start (`first`), the first byte of a byte-order mark.
bool Convertible(const char* bytes, size_t n, bool first) {
  if (first && n > 0) {
    unsigned char lead = static_cast<unsigned char>(bytes[0]);
    if (lead == 0xEF || lead == 0xFF || lead == 0xFE) return true;
  }
  return std::memchr(bytes, '\r', n) != nullptr;
}

/// The content of file `name` in `dirfd` as a 128-bit hash in hex, or
/// "missing" when it can't be read as a regular file; `*convertible`, when
/// given, tells whether the converter would rewrite it.
std::string HashFile(int dirfd, const std::string& name, bool* convertible = nullptr) {
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
  bool first = true;
  while ((n = read(fd, block, sizeof block)) > 0) {
    XXH3_128bits_update(state, block, static_cast<size_t>(n));
    if (convertible != nullptr && !*convertible)
      *convertible = Convertible(block, static_cast<size_t>(n), first);
    first = false;
  }
  XXH128_hash_t hash = XXH3_128bits_digest(state);
  XXH3_freeState(state);
  close(fd);
  if (n < 0) return kMissing;
  return HashHex(hash);
}

}  // namespace

std::string ModelFile(int dirfd, const Job& job, const std::string& model) {
  return job.script ? model : ModelNamed(dirfd, CommandFile(dirfd, job));
}

std::string CommandFile(int dirfd, const Job& job) {
  struct stat info;
  if (!job.script && fstatat(dirfd, (job.base() + ".kcf").c_str(), &info, 0) == 0 &&
      S_ISREG(info.st_mode))
    return job.base() + ".kcf";
  return job.file;
}

std::string ModelNamed(int dirfd, const std::string& file) {
  int fd = openat(dirfd, file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (fd < 0) return std::string();
  FILE* stream = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(fd, "rb") : nullptr;
  if (stream == nullptr) {
    close(fd);
    return std::string();
  }
  enFileCode code = FileCodePlain;
  DetectMark(stream, &code);
  std::rewind(stream);
  // Left uninitialised, as the launcher leaves it: InitLineSource sets
  // what is read, and the blocks' pages are touched only as far as the
  // file fills them.
  std::unique_ptr<LineSource> source(new LineSource);
  InitLineSource(source.get(), stream, code);
  SkipMark(source.get());
  std::string name = ReadModelName(source.get());
  std::fclose(stream);
  // A CRLF line end is the converter's to take off before the launcher
  // reads the file.
  if (!name.empty() && name.back() == '\r') name.pop_back();
  return name;
}

Inputs HashInputs(int dirfd, const Job& job, const std::string& model) {
  Inputs inputs;
  inputs.job_hash = HashFile(dirfd, CommandFile(dirfd, job), &inputs.convertible);
  std::string model_file = ModelFile(dirfd, job, model);
  inputs.model_hash = model_file.empty() ? "none" : HashFile(dirfd, model_file);
  return inputs;
}

std::string ChangedFiles(int dirfd, const Job& job, const std::string& model,
                         const Inputs& before, const Inputs& after) {
  std::string changed;
  if (before.job_hash != after.job_hash) changed = CommandFile(dirfd, job);
  if (before.model_hash != after.model_hash) {
    std::string model_file = ModelFile(dirfd, job, model);
    changed += (changed.empty() ? "" : " and ") + (model_file.empty() ? "its model" : model_file);
  }
  return changed;
}

bool KeepsResult(const std::optional<Result>& earlier, const Inputs& now) {
  return earlier && earlier->state == State::kFinished && now.job_hash != kMissing &&
         earlier->job_hash == now.job_hash && earlier->model_hash == now.model_hash;
}

void MarkOutdated(int dirfd, const Job& job, const std::string& model, Result* earlier) {
  if (earlier->state != State::kFinished) return;
  Inputs now = HashInputs(dirfd, job, model);
  if (KeepsResult(*earlier, now)) return;
  Inputs before{earlier->job_hash, earlier->model_hash, false};
  std::string changed = ChangedFiles(dirfd, job, model, before, now);
  earlier->state = State::kOutdated;
  earlier->meaning = "finished " + earlier->started + ", but " +
                     (changed.empty() ? "its files" : changed) + " changed since";
}
