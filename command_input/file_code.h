// Opening a command file: convert it to Unix line ends, then find its mark.
#ifndef KVSOLVER_COMMAND_INPUT_FILE_CODE_H_
#define KVSOLVER_COMMAND_INPUT_FILE_CODE_H_

#include <cstdio>

/// How a command file's text is encoded, as told by its byte-order mark.
enum enFileCode {
  FileCodePlain = 0,    ///< no mark
  FileCodeUnicode = 1,  ///< UTF-16 little-endian, mark FF FE
  FileCodeUtf8 = 2,     ///< UTF-8, mark EF BB BF
};

/// Opens the regular file `path` for reading as bytes, after the converter
/// has rewritten it in place. Sets `*code` when the file starts with a mark
/// and leaves it as it was otherwise; the stream is positioned at the first
/// byte, mark included. Returns nullptr when the file can't be opened.
FILE* OpenFileAsFileCode(enFileCode* code, const char* path);

#endif  // KVSOLVER_COMMAND_INPUT_FILE_CODE_H_
