// The credits roll's arithmetic: the scroll offset that a timer tick moves on
// by Step pixels, the restart once the whole block of lines has left the top
// edge, and where the text is drawn. The titler widget (TTitler) owns the
// timer and the painting; this part is tested without windows.
#pragma once

namespace pagemoor {

// A rectangle as the old drawing calls take it: right and bottom exclusive.
struct TitlerRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const TitlerRect&) const = default;
};

class TitlerScroll {
 public:
  static constexpr int kDefaultStep = 1;

  int offset() const { return m_offset; }
  int Step() const { return m_step; }
  // A value of 0 or less, or the current one, is ignored; returns true when
  // the step changed (the control repaints then).
  bool setStep(int step);

  // One timer tick: the lines move up by Step pixels.
  void tick();

  // Applied at each painting, before the text is placed: once
  // lineHeight * lineCount + controlHeight < offset, the roll starts again
  // at the bottom (offset 0). Returns the offset to paint with.
  int restartIfPast(int lineHeight, int lineCount, int controlHeight);

  // Where the lines are drawn: left 2, top controlHeight - offset, right
  // controlWidth - 3, bottom clientBottom - 1; the first line enters at the
  // bottom edge. Control sizes include the border, clientBottom does not.
  static TitlerRect textRect(int controlWidth, int controlHeight, int clientBottom, int offset);

 private:
  int m_offset = 0;
  int m_step = kDefaultStep;
};

}  // namespace pagemoor
