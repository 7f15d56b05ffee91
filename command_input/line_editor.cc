#include "command_input/line_editor.h"

#include <fcntl.h>
#include <histedit.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

/// The editor, set up once, and one history for each kind of answer. Its
/// output goes to a stream of its own on standard output's terminal, which
/// stays byte-oriented whatever the solver library prints through stdout.
struct Editor {
  EditLine* line = nullptr;
  FILE* out = nullptr;
  History* histories[2] = {};
  NameKind kind = NameKind::kCommandFileBase;

  ~Editor() {
    if (line != nullptr) el_end(line);
    for (History* history : histories)
      if (history != nullptr) history_end(history);
    if (out != nullptr) std::fclose(out);
  }
};

char kNoPrompt[] = "";

/// The prompt is printed before the line is read, on a line of its own.
char* NoPrompt(EditLine*) { return kNoPrompt; }

/// Tab: completes the text before the cursor as far as all its names
/// agree; when they agree no further, lists them below the line.
unsigned char Complete(EditLine* line, int) {
  Editor* editor = nullptr;
  el_get(line, EL_CLIENTDATA, &editor);
  const LineInfo* info = el_line(line);
  std::string typed(info->buffer, info->cursor);
  std::vector<std::string> names = CompleteName(typed, editor->kind);
  if (names.empty()) return CC_REFRESH_BEEP;
  std::string common = CommonPrefix(names);
  if (common.size() > typed.size()) {
    el_insertstr(line, common.c_str() + typed.size());
    return CC_REFRESH;
  }
  if (names.size() == 1) return CC_NORM;
  std::fputc('\n', editor->out);
  size_t dir = typed.rfind('/') + 1;  // 0 without a '/'
  for (const std::string& name : names) std::fprintf(editor->out, "%s  ", name.c_str() + dir);
  std::fputc('\n', editor->out);
  return CC_REDISPLAY;
}

/// Ctrl-D: end of input on an empty line, with nothing shown, as at a
/// terminal without the editor; else deletes the character at the cursor.
unsigned char DeleteOrEnd(EditLine* line, int) {
  const LineInfo* info = el_line(line);
  if (info->buffer == info->lastchar) return CC_EOF;
  if (info->cursor == info->lastchar) return CC_ERROR;
  el_cursor(line, 1);
  el_deletestr(line, 1);
  return CC_REFRESH;
}

/// Keys beyond the editor's own emacs bindings, as shells bind them.
const char* const kBindings[][2] = {
    {"^I", "kv-complete"},
    {"^D", "kv-delete-or-end"},
    {"^W", "ed-delete-prev-word"},
    {"^U", "vi-kill-line-prev"},
    {"\\e[1~", "ed-move-to-beg"},
    {"\\e[7~", "ed-move-to-beg"},
    {"\\e[H", "ed-move-to-beg"},
    {"\\eOH", "ed-move-to-beg"},
    {"\\e[4~", "ed-move-to-end"},
    {"\\e[8~", "ed-move-to-end"},
    {"\\e[F", "ed-move-to-end"},
    {"\\eOF", "ed-move-to-end"},
    {"\\e[3~", "ed-delete-next-char"},
};

/// Sets the editor up on first use; nullptr when it can't be.
Editor* TheEditor() {
  static Editor editor;
  if (editor.line != nullptr) return &editor;
  if (editor.out == nullptr) {
    int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    editor.out = fdopen(fd, "w");
    if (editor.out == nullptr) {
      close(fd);
      return nullptr;
    }
  }
  // No el_source: neither ~/.editrc nor $EDITRC is read.
  EditLine* line = el_init("kvsolver", stdin, editor.out, stderr);
  if (line == nullptr) return nullptr;
  el_set(line, EL_EDITOR, "emacs");
  el_set(line, EL_SIGNAL, 1);  // the terminal is restored on a signal
  el_set(line, EL_PROMPT, NoPrompt);
  el_set(line, EL_CLIENTDATA, &editor);
  // Wide names: the narrow call keeps copies of them that are never freed.
  el_wset(line, EL_ADDFN, L"kv-complete", L"complete a file name", Complete);
  el_wset(line, EL_ADDFN, L"kv-delete-or-end", L"delete a character or end input", DeleteOrEnd);
  for (const auto& [key, function] : kBindings)
    el_set(line, EL_BIND, key, function, static_cast<const char*>(nullptr));
  HistEvent event;
  for (History*& history : editor.histories) {
    history = history_init();
    if (history == nullptr) {
      el_end(line);
      return nullptr;
    }
    ::history(history, &event, H_SETSIZE, 1000);
    ::history(history, &event, H_SETUNIQUE, 1);
  }
  editor.line = line;
  return &editor;
}

}  // namespace

bool AtTerminal() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

bool EditAnswer(NameKind kind, std::string* answer) {
  Editor* editor = TheEditor();
  if (editor == nullptr) return false;
  History* history = editor->histories[static_cast<int>(kind)];
  editor->kind = kind;
  el_set(editor->line, EL_HIST, ::history, history);
  int count = 0;
  const char* text = el_gets(editor->line, &count);
  answer->clear();
  if (text == nullptr || count <= 0) return true;
  answer->assign(text, count);
  std::string entry = *answer;
  if (!entry.empty() && entry.back() == '\n') entry.pop_back();
  HistEvent event;
  if (!entry.empty()) ::history(history, &event, H_ENTER, entry.c_str());
  return true;
}
