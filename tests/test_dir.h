// Helpers for tests that work in a scratch directory of their own.
#ifndef KVSOLVER_TESTS_TEST_DIR_H_
#define KVSOLVER_TESTS_TEST_DIR_H_

#include <filesystem>
#include <string>

/// A fresh directory under the system's temporary directory, made the
/// working directory while the object lives; removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

/// Writes `bytes` to `path`, replacing it.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

/// The bytes of `path`, or empty when it can't be read.
std::string ReadFile(const std::filesystem::path& path);

/// Writes an executable shell script `dir`/`name` with `body` after the
/// interpreter line.
void WriteScript(const std::filesystem::path& dir, const std::string& name,
                 const std::string& body);

#endif  // KVSOLVER_TESTS_TEST_DIR_H_
