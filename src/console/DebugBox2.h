// The console component: the log, the registry of named commands, and the
// parsing that turns a command line (typed, or handed over by a link, button,
// script or project setting) into a call of the registered handler.
//
// The console window itself is a view (ConsoleView); the component works the
// same without one, which is how the tests and the fuzzer drive it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/LogSink.h"
#include "console/LogFileWriter.h"

namespace pagemoor {

// The object that raised an event: the edit line when the user typed, null
// when the line came through Execute.
using Sender = const void*;

using TCommandHandler = std::function<void(Sender sender, const std::string& strParams)>;
using TComProc = std::function<void(Sender sender, const std::string& strCommand,
                                    const std::string& strParams, const std::vector<std::string>& tsParams)>;
using TOnInitialize = std::function<void(Sender sender)>;
using TOnAdd = std::function<void(Sender sender)>;
using TOnDestroy = std::function<void(Sender sender)>;
using TOnBadCommand =
    std::function<void(Sender sender, const std::string& strCommand, const std::string& strParams)>;
using TOnAddCommand = std::function<void(Sender sender, const std::string& strCommand)>;

enum class TPositions { poTopLeft, poBottomLeft, poTopRight, poBottomRight };

struct TCommandData {
  std::string description;
  TCommandHandler handler;
};

struct ConsoleRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// What the console needs of its window. The window forwards the edit line's
// key presses to TDebugBox2::EditKeyPress.
class ConsoleView {
 public:
  virtual ~ConsoleView() = default;
  // A line was appended: show it, select it, and paint at once (a long
  // operation may be running on the interface thread).
  virtual void lineAdded(const std::string& line) = 0;
  // The whole log changed (loaded or cleared).
  virtual void linesReplaced(const std::vector<std::string>& lines) = 0;
  virtual void setCaption(const std::string& caption) = 0;
  virtual void setEditText(const std::string& text) = 0;
  virtual void setWindowGeometry(const ConsoleRect& rect) = 0;
  // Shows the window in front (the edit line takes the focus), or hides it.
  virtual void showWindow() = 0;
  virtual void hideWindow() = 0;
  // The size of the screen the window is placed on.
  virtual ConsoleRect screen() const = 0;
  // The factor the console's width and height are taken by: on a screen where
  // the magazine is drawn larger than its design, the console grows with it.
  virtual double scale() const { return 1.0; }
  // The console is being destroyed; the window lives on with the application
  // and must not call it any more.
  virtual void consoleGone() {}
};

// The console keys: the grave accent, "~", ";" and the degree sign.
bool IsConsoleKey(char32_t key);
inline constexpr char32_t kEnterKey = 13;

class TDebugBox2 {
 public:
  TDebugBox2();
  // OnDestroy first, while the log still takes lines; then the commands go.
  // A console may be destroyed by a command it is running (the reading's
  // "exit"): it then finishes nothing of that command line.
  ~TDebugBox2();
  TDebugBox2(const TDebugBox2&) = delete;
  TDebugBox2& operator=(const TDebugBox2&) = delete;

  // The window; not owned, and it must outlive the console. May be null.
  void setView(ConsoleView* view);
  ConsoleView* view() const { return m_view; }

  // --- Published properties ---
  const std::string& Caption() const { return m_caption; }
  void setCaption(std::string_view caption);
  TPositions Position() const { return m_position; }
  void setPosition(TPositions position);
  bool Visible() const { return m_visible; }
  void setVisible(bool visible);
  int Width() const { return m_width; }
  void setWidth(int width);
  int Height() const { return m_height; }
  void setHeight(int height);
  bool TimeStamp() const { return m_timeStamp; }
  void setTimeStamp(bool on) { m_timeStamp = on; }
  const std::string& ListCom() const { return m_listCom; }
  void setListCom(std::string_view name);  // the text up to the first space
  const std::string& ListComDesc() const { return m_listComDesc; }
  void setListComDesc(std::string_view description) { m_listComDesc = std::string(description); }

  TOnInitialize OnInitialize;
  TComProc OnCommand;
  TOnBadCommand OnBadCommand;
  TOnAddCommand OnAddCommand;
  TOnAdd OnAdd;
  TOnDestroy OnDestroy;

  // Runs once after the holding window has set the console up: OnInitialize,
  // then the built-in list command.
  void DoInitialize();

  // --- Command registry ---
  void AddCommand(std::string_view name, std::string_view description, TCommandHandler handler);
  int CommandCount() const;
  std::string CommandName(int index) const;
  std::string CommandDescription(int index) const;
  TCommandHandler CommandHandler(int index) const;
  void RemoveCommand(int index);
  void ClearCommands();
  int IndexOfCommand(std::string_view name) const;

  // --- Log ---
  // Takes the program's log lines from now until the console goes (or
  // subscribes elsewhere); its own lines it keeps writing directly.
  void subscribeTo(LogSink& sink);
  void AddLine(std::string_view text);
  void Log(std::string_view source, std::string_view text);
  const std::vector<std::string>& Lines() const { return m_lines; }
  // Clears the log and loads it from a text file; a file that cannot be read
  // throws ConsoleFileError and leaves the log cleared.
  void LoadFromFile(const std::string& path);
  // Writes every log line to the file (CR LF after each). Appends what is new
  // when the file still holds exactly what this console wrote last time.
  // Throws ConsoleFileError when the file cannot be written.
  void SaveToFile(const std::string& path);
  // SaveToFile on the mirror file, MirrorLogPath().
  void SaveLog();
  // The state folder + "<PROGRAM_EXE>_(<Caption>).log", the first blank of the
  // file name made "_".
  std::string MirrorLogPath() const;

  // The time of day in log lines; tests set a fixed clock.
  void setClock(std::function<std::string()> clock) { m_clock = std::move(clock); }

  // --- Command lines ---
  // Runs a command line as if typed, with a null Sender.
  void Execute(std::string_view commandLine);
  // Runs a command line handed over by the magazine (a link, a button) the
  // way Execute does, with the same events and log lines, but without going
  // through the edit line: what the reader is typing there stays.
  void Dispatch(std::string_view commandLine);
  // The edit line's key handler.
  void EditKeyPress(Sender sender, char32_t key);
  const std::string& EditText() const { return m_editText; }
  void setEditText(std::string_view text);

  // The built-in handler of ListCom: one information box per command.
  void ListCommands(Sender sender, const std::string& params);

 private:
  void appendLine(std::string line);
  // Parses and runs one line; true when the edit line is to be emptied after it.
  bool runLine(Sender sender, std::string line);
  void placeWindow();
  std::string timeOfDay() const;

  std::string m_caption = "Debug Box";
  TPositions m_position = TPositions::poTopRight;
  bool m_visible = false;
  int m_width = 250;
  int m_height = 200;
  bool m_timeStamp = false;
  std::string m_listCom = "list";
  std::string m_listComDesc = "Lists all console commands.";

  std::vector<std::string> m_names;  // lower-cased, in step with m_commands
  std::vector<std::string> m_descriptions;
  std::vector<std::unique_ptr<TCommandData>> m_commands;

  std::vector<std::string> m_lines;
  std::uint64_t m_logGeneration = 0;  // changes whenever lines are replaced rather than appended
  LogFileWriter m_files;
  std::string m_editText;
  ConsoleView* m_view = nullptr;
  std::function<std::string()> m_clock;
  // False once the destructor has run; a dispatch that outlives the console
  // (its handler destroyed it) checks this before touching it again.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  LogSink::Subscription m_subscription;
};

}  // namespace pagemoor
