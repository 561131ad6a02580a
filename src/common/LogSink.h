// The program's log: one owner for every line the program logs.
//
// The program makes one sink before its first window and keeps it until the
// last one has gone. Windows and the logic under them write their lines here
// and never hold a console; a console that shows and keeps the log subscribes
// while it lives. So a line written late (a mail sending whose wait ends after
// the reading's console was destroyed) meets the sink, never a destroyed
// console: with nobody subscribed the line goes nowhere, which is what the log
// file has always received at that moment.
//
// Threading: the sink belongs to the thread that made it (the interface
// thread). Every writer today logs there: the mail form's waits, the RAR
// library's callbacks and the jukebox all run on it, and the audio device
// thread and the host-lookup thread log nothing. A line from any other thread
// would race the console and its window, so it stops the program with a
// message instead of corrupting the log.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

namespace pagemoor {

class LogSink {
 public:
  // Receives a line as its writer gave it: the console formats it
  // ("source: text", with its time stamp when it has one).
  using Subscriber = std::function<void(std::string_view source, std::string_view text)>;

  // A subscriber's place in the sink; the subscriber leaves when it goes (or
  // at reset()). It may outlive the sink: then it has nothing to leave.
  class Subscription {
   public:
    Subscription() = default;
    ~Subscription() { reset(); }
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    void reset();
    bool active() const;

   private:
    friend class LogSink;
    struct State;
    Subscription(std::weak_ptr<State> state, std::uint64_t id) : m_state(std::move(state)), m_id(id) {}
    std::weak_ptr<State> m_state;
    std::uint64_t m_id = 0;
  };

  LogSink();
  ~LogSink();
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;

  // Subscribers receive the lines in the order they subscribed.
  [[nodiscard]] Subscription subscribe(Subscriber subscriber);
  bool hasSubscribers() const;

  // Hands the line to every subscriber; a subscriber that leaves while a line
  // is handed round (its console destroyed by a command the line set off)
  // receives nothing more.
  void Log(std::string_view source, std::string_view text);

 private:
  void checkThread() const;

  std::shared_ptr<Subscription::State> m_state;
  std::thread::id m_owner;
};

}  // namespace pagemoor
