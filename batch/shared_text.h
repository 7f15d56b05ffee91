// Text that many records hold alike, such as the host that ran a study's
// jobs: kept once for the whole process, so that a record holds a pointer
// to it rather than a copy.
#ifndef KVSOLVER_BATCH_SHARED_TEXT_H_
#define KVSOLVER_BATCH_SHARED_TEXT_H_

#include <string>

/// A text kept once however many hold it; reads as a std::string. Only for
/// texts of which there are few: none is ever freed.
class SharedText {
 public:
  /// The empty text.
  SharedText();
  /// `text`, kept with every other text alike.
  explicit SharedText(const std::string& text);

  const std::string& str() const { return *text_; }
  operator const std::string&() const { return *text_; }
  bool empty() const { return text_->empty(); }

 private:
  const std::string* text_;
};

#endif  // KVSOLVER_BATCH_SHARED_TEXT_H_
