#include "platform/AnswerQueue.h"

#include <cstdlib>

#include "common/Strings.h"

namespace pagemoor {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimmedItem(std::string_view item) {
  while (!item.empty() && IsBlank(item.front())) item.remove_prefix(1);
  while (!item.empty() && IsBlank(item.back())) item.remove_suffix(1);
  return item;
}

}  // namespace

Answer Answer::parse(std::string_view item) {
  Answer answer;
  answer.text = std::string(TrimmedItem(item));
  const std::size_t colon = answer.text.find(':');
  if (colon == std::string::npos) {
    answer.word = AsciiLower(answer.text);
  } else {
    answer.word = AsciiLower(std::string_view(answer.text).substr(0, colon));
    answer.value = answer.text.substr(colon + 1);
  }
  return answer;
}

AnswerQueue::AnswerQueue(std::string_view list) {
  std::string item;
  auto finishItem = [&] {
    if (!TrimmedItem(item).empty()) m_answers.push_back(Answer::parse(item));
    item.clear();
  };
  for (std::size_t i = 0; i < list.size(); ++i) {
    const char c = list[i];
    if (c == '\\' && i + 1 < list.size() && (list[i + 1] == ',' || list[i + 1] == '\\')) {
      item += list[++i];
    } else if (c == ',') {
      finishItem();
    } else {
      item += c;
    }
  }
  finishItem();
}

AnswerQueue AnswerQueue::fromEnvironment() {
  // Not GetEnvVar: a long script of answers is legitimate and must not be cut.
  const char* list = std::getenv(kAnswersVariable);
  return list ? AnswerQueue(list) : AnswerQueue();
}

const Answer& AnswerQueue::front() const {
  static const Answer none;
  return m_answers.empty() ? none : m_answers.front();
}

void AnswerQueue::pop() {
  if (!m_answers.empty()) m_answers.pop_front();
}

Answer AnswerQueue::take() {
  if (m_answers.empty()) return {};
  Answer answer = std::move(m_answers.front());
  m_answers.pop_front();
  return answer;
}

void AnswerQueue::push(std::string_view answer) {
  if (!TrimmedItem(answer).empty()) m_answers.push_back(Answer::parse(answer));
}

}  // namespace pagemoor
