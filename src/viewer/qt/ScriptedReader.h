// A scripted run's reader: once the magazine has started, the actions a
// reader would take with the mouse and keys come from the answer queue, one
// at a time, each written as one "[ui] reader: ACTION: VALUE" line:
//
//   link:TEXT     activates the text link showing TEXT (main pane, then left, then top)
//   button:N      moves onto image button N and clicks it
//   command:LINE  runs LINE through the console, as typed
//   key:C         types the character C in the main pane
//   back:PANE     right-clicks the pane main, left or top
//   desktop       moves the mouse over the desktop picture
//   console       clicks the console button
//   wait:MS       lets the program run for MS milliseconds
//
// Windows and boxes that an action opens take their answers from the same
// queue before the next action is read. An answer the reader does not know is
// taken off and reported as "[ui] error: unexpected answer "X" for reader".
#pragma once

#include <QObject>
#include <iosfwd>
#include <string>

namespace pagemoor {

class AnswerQueue;
struct Answer;
class TfrmMain;

class ScriptedReader : public QObject {
  Q_OBJECT

 public:
  ScriptedReader(TfrmMain& window, AnswerQueue& answers, std::ostream& err);

  // Starts reading the queue from the event loop.
  void start();
  // Performs the next action; false when the queue is empty.
  bool step();

 private:
  void scheduleNext(int milliseconds);
  void perform(const Answer& answer);
  void write(const std::string& action, const std::string& value);
  void error(const std::string& text);

  TfrmMain& m_window;
  AnswerQueue& m_answers;
  std::ostream& m_err;
  int m_pause = 0;
};

}  // namespace pagemoor
