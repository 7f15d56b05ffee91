// UTF-8 decoding for the stand-in library.
#ifndef KVSOLVER_STANDIN_UTF8_H_
#define KVSOLVER_STANDIN_UTF8_H_

#include <string>

/// Decodes the UTF-8 `text` into `wide` as a terminated wide string. Each
/// byte that does not begin a well-formed sequence becomes U+FFFD, so at
/// most strlen(text) + 1 wide characters are written.
void DecodeUtf8(const char* text, wchar_t* wide);

/// `text` decoded as by DecodeUtf8.
std::wstring Utf8ToWide(const std::string& text);

#endif  // KVSOLVER_STANDIN_UTF8_H_
