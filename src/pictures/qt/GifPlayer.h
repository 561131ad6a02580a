// The timing of a GIF's frames: which frame is shown, when the next one is
// due and how many rounds are left. The GIF picture control and the pictures
// animated inside a page both run their frames through it, so a file keeps
// the same pace wherever a magazine shows it.
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

#include "pictures/GifAnimation.h"
#include "pictures/RgbaImage.h"

namespace pagemoor {

class GifPlayer : public QObject {
  Q_OBJECT

 public:
  explicit GifPlayer(QObject* parent = nullptr);
  ~GifPlayer() override;

  // Takes the frames and shows the first (frameShown(1)); null leaves no
  // frames. A running animation goes on with the new frames from the start.
  void setFrames(std::unique_ptr<GifAnimation> frames);

  // Frames are numbered from 1; 0 frames and frame 0 when there are none.
  int frameCount() const { return m_gif ? m_gif->frameCount() : 0; }
  int frame() const { return m_frame; }
  // Shows frame n; a number outside 1 ... frameCount is ignored. A running
  // animation goes on from that frame.
  void setFrame(int n);
  // The whole canvas of the frame shown; only the canvas being built is ever
  // held, never every frame. Valid until the next frame is shown.
  const RgbaImage& canvas() { return m_gif->frame(m_frame - 1); }

  // Animation: the frames in turn at the file's delays, as often as the file's
  // loop count says (for ever when it says 0). After the last round the last
  // frame stays and animate() turns false. Switching it on starts the rounds
  // again from the frame shown. A single frame does not animate.
  void setAnimate(bool on);
  bool animate() const { return m_animate; }
  // A paused animation keeps its frame and its rounds and goes on from there
  // when the pause ends; a picture nobody sees need not wake the processor.
  void setPaused(bool paused);

  // What the timer does when the frame's delay is over: the next frame. The
  // timer calls it; tests call it instead of waiting.
  void tick();
  // The delay before the next frame while the animation runs, else -1.
  int pendingDelayMs() const;

 signals:
  void frameShown(int frame);

 private:
  void showFrame(int n);
  void advance();
  void scheduleNext();

  std::unique_ptr<GifAnimation> m_gif;
  // The player's child, so that it is found among its owner's children.
  QTimer m_timer;
  int m_frame = 0;
  bool m_animate = false;
  bool m_paused = false;
  int m_loopsDone = 0;
};

}  // namespace pagemoor
