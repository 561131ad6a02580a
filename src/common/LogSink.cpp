#include "common/LogSink.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace pagemoor {

struct LogSink::Subscription::State {
  struct Entry {
    std::uint64_t id;
    std::shared_ptr<Subscriber> subscriber;
  };
  std::vector<Entry> entries;
  std::uint64_t nextId = 1;

  void remove(std::uint64_t id) {
    std::erase_if(entries, [id](const Entry& e) { return e.id == id; });
  }
};

LogSink::Subscription::Subscription(Subscription&& other) noexcept
    : m_state(std::move(other.m_state)), m_id(std::exchange(other.m_id, 0)) {}

LogSink::Subscription& LogSink::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    reset();
    m_state = std::move(other.m_state);
    m_id = std::exchange(other.m_id, 0);
  }
  return *this;
}

void LogSink::Subscription::reset() {
  if (const std::shared_ptr<State> state = m_state.lock()) state->remove(m_id);
  m_state.reset();
  m_id = 0;
}

bool LogSink::Subscription::active() const {
  const std::shared_ptr<State> state = m_state.lock();
  if (!state) return false;
  return std::any_of(state->entries.begin(), state->entries.end(),
                     [this](const State::Entry& e) { return e.id == m_id; });
}

LogSink::LogSink() : m_state(std::make_shared<Subscription::State>()), m_owner(std::this_thread::get_id()) {}

LogSink::~LogSink() = default;

void LogSink::checkThread() const {
  if (std::this_thread::get_id() == m_owner) return;
  std::fputs("Pagemoor: a log line from a thread other than the interface thread\n", stderr);
  std::abort();
}

LogSink::Subscription LogSink::subscribe(Subscriber subscriber) {
  checkThread();
  const std::uint64_t id = m_state->nextId++;
  m_state->entries.push_back({id, std::make_shared<Subscriber>(std::move(subscriber))});
  return Subscription(m_state, id);
}

bool LogSink::hasSubscribers() const {
  return !m_state->entries.empty();
}

void LogSink::Log(std::string_view source, std::string_view text) {
  checkThread();
  // Handed round from a copy: a subscriber may subscribe or leave (its own
  // or another's subscription) while it takes the line.
  const std::vector<Subscription::State::Entry> entries = m_state->entries;
  for (const Subscription::State::Entry& entry : entries) {
    const bool stillThere = std::any_of(m_state->entries.begin(), m_state->entries.end(),
                                        [&](const Subscription::State::Entry& e) { return e.id == entry.id; });
    if (stillThere) (*entry.subscriber)(source, text);
  }
}

}  // namespace pagemoor
