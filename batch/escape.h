// Names as they are shown: a file name may hold any byte but '/' and NUL,
// and neither a terminal nor a program reading the summary may be misled
// by one, nor take two names for one.
#ifndef KVSOLVER_BATCH_ESCAPE_H_
#define KVSOLVER_BATCH_ESCAPE_H_

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

/// `text` as a terminal may show it, each name told from every other: a
/// backslash is written "\\"; a tab, newline or carriage return "\t", "\n"
/// or "\r"; another C0 control or DEL as its byte in octal ("\033"); a C1
/// control, U+0080 to U+009F, as "\u0085"; a character that shows nothing
/// or turns the text's direction (U+200B to U+200F, U+2028 to U+202E,
/// U+2060 to U+2069, U+061C, U+FEFF) as "\u202e"; and a byte that is no part of a
/// UTF-8 character as "\xff". Other text stays as it is.
std::string EscapeControls(const std::string& text);

/// A message of several lines (another program's, say) as a terminal may
/// show it: its lines kept as lines, each escaped (EscapeControls), those
/// after the first indented by four spaces; empty lines at its end and
/// its last line end dropped.
std::string EscapeLines(const std::string& text);

/// `text` as one field of tab-separated values: a backslash, tab, newline
/// or carriage return is written "\\", "\t", "\n" or "\r"; every other
/// byte stays as it is.
std::string EscapeField(const std::string& text);

/// A field that EscapeField wrote, read back: "\\", "\t", "\n" and "\r"
/// are the bytes they stand for; any other backslash is itself.
std::string UnescapeField(const std::string& field);

/// Sets `key` of `*object` to the name `name`, so that a reader gets its
/// bytes back: a name that is UTF-8 as that string; any other as a string
/// with each byte that is no part of a UTF-8 character as U+FFFD, and
/// `key`_bytes added after it, the name's bytes in lowercase hexadecimal.
void PutName(nlohmann::ordered_json* object, const std::string& key, const std::string& name);

/// The same for a JSON object that keeps its keys sorted.
void PutName(nlohmann::json* object, const std::string& key, const std::string& name);

/// The name that PutName put at `key` of `object`: its bytes from
/// `key`_bytes when there is one, else the string at `key`. Nothing when
/// `key` holds no string or `key`_bytes no hexadecimal bytes.
std::optional<std::string> TakeName(const nlohmann::json& object, const std::string& key);

#endif  // KVSOLVER_BATCH_ESCAPE_H_
