#include "batch/command_line.h"

namespace {

/// `word` as a shell reads it back.
std::string Quoted(const std::string& word) {
  if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              "0123456789-_./=:,+@%") == std::string::npos)
    return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string CommandLine(int argc, char** argv, size_t most) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    std::string word = Quoted(argv[i]);
    if (i > 0 && line.size() + word.size() + 1 > most)
      return line + " ... (" + std::to_string(argc - i) + " more words)";
    line += (i > 0 ? " " : "") + word;
  }
  return line;
}
