#include "command_input/name_completion.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <string_view>

namespace {

/// The name `entry` offers for `kind`, or empty when it offers none: a
/// directory's name with '/', a command file's base name, any other file's
/// name whole. Links are followed.
std::string Offered(const std::string& path, const std::string& entry, NameKind kind) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return kind == NameKind::kFile ? entry : "";
  if (S_ISDIR(info.st_mode)) return entry + "/";
  if (kind == NameKind::kFile) return entry;
  std::string_view name = entry;
  if (name.size() > 4 && S_ISREG(info.st_mode) &&
      (name.ends_with(".kcf") || name.ends_with(".acf")))
    return entry.substr(0, entry.size() - 4);
  return "";
}

}  // namespace

std::vector<std::string> CompleteName(const std::string& typed, NameKind kind) {
  size_t slash = typed.rfind('/');
  std::string dir = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
  std::string prefix = typed.substr(dir.size());
  std::vector<std::string> names;
  DIR* listing = opendir(dir.empty() ? "." : dir.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || (name[0] == '.' && prefix.empty())) continue;
    std::string offered = Offered(dir + name, name, kind);
    if (!offered.empty() && offered.compare(0, prefix.size(), prefix) == 0)
      names.push_back(dir + offered);
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::string CommonPrefix(const std::vector<std::string>& names) {
  if (names.empty()) return "";
  std::string common = names.front();
  for (const std::string& name : names) {
    auto [end, ignored] = std::mismatch(common.begin(), common.end(), name.begin(), name.end());
    common.erase(end, common.end());
  }
  return common;
}
