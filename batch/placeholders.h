// The placeholders of a case's template: "{name}" in a command or model
// file stands for the row's value of column "name"; "{{" and "}}" stand
// for a brace of their own.
#ifndef KVSOLVER_BATCH_PLACEHOLDERS_H_
#define KVSOLVER_BATCH_PLACEHOLDERS_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>

/// The value a placeholder's name stands for, or nothing for an unknown one.
using Lookup = std::function<std::optional<std::string>(const std::string& name)>;

/// Writes `text` to `*out` with each placeholder replaced by its value
/// from `lookup`. Returns an empty text, or why it can't, with the line
/// ("line 3: no column names {load}", "line 2: a '{' is not closed"); a
/// name never spans lines, and a lone '}' is refused as a lone '{' is.
std::string ExpandPlaceholders(std::string_view text, const Lookup& lookup, std::string* out);

/// Whether the file `name` is one whose placeholders are replaced: a
/// command file (.kcf, .acf, .kss) or a model file (.kmd).
bool TakesPlaceholders(const std::string& name);

#endif  // KVSOLVER_BATCH_PLACEHOLDERS_H_
