// The thinking box (TThinking_box): a small borderless window, always on top
// and taking no input, that shows one line of progress while the start-up
// works and while the viewer first shows itself.
//
// Object names: the window "Thinking_box", the message panel "think_msg", the
// bar panel "barpanel" and its progress bar "bar". The bar panel is hidden by
// both operations and nothing shows it.
#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QFrame;
class QProgressBar;

namespace pagemoor {

class TThinking_box : public QWidget {
  Q_OBJECT

 public:
  // The design size of the client area.
  static constexpr int kDesignWidth = 272;
  static constexpr int kDesignHeight = 98;

  explicit TThinking_box(QWidget* parent = nullptr);
  ~TThinking_box() override;
  TThinking_box(const TThinking_box&) = delete;
  TThinking_box& operator=(const TThinking_box&) = delete;

  // Shows the box with a one-line text, centred on the anchor's client area
  // (or on the screen when anchor is null), sized to the text: every call
  // measures anew, so the box grows and shrinks with each message. Shown
  // without activation, on top, and painted at once, since during start-up
  // no event loop runs yet.
  void ShowThinking(QWidget* anchor, const std::string& text);
  // Hides the box (and the bar panel).
  void HideThinking();

  bool isThinkingShown() const { return m_shown; }
  // The size of one "8" in the message font, measured once at creation.
  int cw() const { return m_cw; }
  int ch() const { return m_ch; }

  QLabel* think_msg() const { return m_thinkMsg; }
  QFrame* barpanel() const { return m_barPanel; }
  QProgressBar* bar() const { return m_bar; }

  // The box's geometry for a text: its size from the rule, its position
  // centred on the anchor's client area (screen coordinates) or the screen.
  QRect thinkingGeometry(const QWidget* anchor, const std::string& text) const;

 private:
  QLabel* m_thinkMsg;
  QFrame* m_barPanel;
  QProgressBar* m_bar;
  int m_cw = 0;
  int m_ch = 0;
  bool m_shown = false;
};

}  // namespace pagemoor
