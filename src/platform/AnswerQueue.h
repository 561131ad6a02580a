// The answers of a scripted run, in the order the boxes and windows will ask.
//
// The list comes from PAGEMOOR_ANSWERS, separated by commas:
//   PAGEMOOR_ANSWERS="yes, text:Jana Nováková, file:/tmp/out.txt, cancel"
// An answer is a word with an optional ":value" (ok, yes, no, cancel, close,
// text:..., file:...; windows add their own, such as project:NAME). The word
// is compared in lower case; the value is kept as written. Inside the list
// "\," is a comma that belongs to an answer and "\\" a backslash; any other
// backslash stays as it is, so Windows-style paths need no escaping.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace pagemoor {

inline constexpr const char* kAnswersVariable = "PAGEMOOR_ANSWERS";

struct Answer {
  std::string word;                  // before the first ':', in lower case
  std::optional<std::string> value;  // after the first ':', when there is one
  std::string text;                  // the answer as written, for messages

  bool is(std::string_view w) const { return word == w; }
  // Parses one answer (no list escapes; surrounding blanks are removed).
  static Answer parse(std::string_view item);
};

class AnswerQueue {
 public:
  AnswerQueue() = default;
  // Parses a comma-separated list; blank items are skipped.
  explicit AnswerQueue(std::string_view list);
  // The list in PAGEMOOR_ANSWERS (empty when unset).
  static AnswerQueue fromEnvironment();

  bool empty() const { return m_answers.empty(); }
  std::size_t size() const { return m_answers.size(); }
  // The next answer; an answer with an empty word when the queue is empty, so
  // a window can test the word without checking empty() first.
  const Answer& front() const;
  // Drops the next answer (nothing when empty).
  void pop();
  // Removes and returns the next answer (an empty one when the queue is empty).
  Answer take();
  // Appends one answer, written as in the list but without escapes.
  void push(std::string_view answer);

 private:
  std::deque<Answer> m_answers;
};

}  // namespace pagemoor
