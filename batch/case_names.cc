#include "batch/case_names.h"

#include <set>

namespace {

constexpr size_t kNameBytes = 255;
constexpr size_t kMadeBytes = 200;

bool Kept(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view(".,=+-_").find(c) != std::string_view::npos;
}

}  // namespace

std::string CaseNameProblem(const std::string& name) {
  if (name.empty()) return "an empty case name";
  if (name.find('/') != std::string::npos) return "a case name holds a '/'";
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F) return "a case name holds a control character";
  if (name[0] == '.') return "a case name begins with '.'";
  if (name.size() > kNameBytes) return "a case name is longer than 255 bytes";
  if (name == "cases.tsv") return "the case name cases.tsv is the study's own file";
  return "";
}

std::string ParameterName(const std::vector<std::string>& columns,
                          const std::vector<std::string>& values) {
  std::string name;
  for (size_t c = 0; c < columns.size() && c < values.size(); ++c)
    name += (c == 0 ? "" : ",") + columns[c] + "=" + values[c];
  for (char& c : name)
    if (!Kept(c)) c = '_';
  if (name.empty()) name = "_";
  if (name[0] == '.') name[0] = '_';
  return name.substr(0, kMadeBytes);
}

std::vector<std::string> UniqueNames(std::vector<std::string> names) {
  std::set<std::string> taken(names.begin(), names.end());
  std::set<std::string> used;
  for (std::string& name : names) {
    if (used.insert(name).second) continue;
    for (int n = 2;; ++n) {
      std::string other = name + "-" + std::to_string(n);
      if (taken.count(other) == 0 && used.insert(other).second) {
        name = other;
        break;
      }
    }
  }
  return names;
}
