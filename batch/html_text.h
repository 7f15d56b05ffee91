// Text as a page shows it: any bytes of a name or a log become valid UTF-8
// and reach the page as text, never as markup.
#ifndef KVSOLVER_BATCH_HTML_TEXT_H_
#define KVSOLVER_BATCH_HTML_TEXT_H_

#include <string>

/// `text` (valid UTF-8) with &, <, >, " and ' written as references, for
/// an element's text or a quoted attribute.
std::string HtmlEscape(const std::string& text);

/// A log's text as the page shows it: line ends and tabs kept, carriage
/// returns dropped, other control characters shown as U+FFFD, made valid
/// and escaped.
std::string HtmlText(const std::string& text);

/// A name as the page shows it: control characters written out as the
/// table has them, then made valid and escaped.
std::string HtmlName(const std::string& name);

#endif  // KVSOLVER_BATCH_HTML_TEXT_H_
