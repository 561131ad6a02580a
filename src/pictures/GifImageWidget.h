// The GIF picture control: an image control that shows the frames of a GIF
// file, one chosen by number or all of them in turn at the file's own timing.
// The viewer's image buttons are built from it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "pictures/ImageWidget.h"
#include "pictures/qt/GifPlayer.h"

namespace pagemoor {

class GifImageWidget : public ImageWidget {
  Q_OBJECT

 public:
  explicit GifImageWidget(QWidget* parent = nullptr);
  ~GifImageWidget() override;

  // Loads the file and shows its first frame. A missing or unreadable file
  // leaves the control without a picture and returns false. The name is a
  // host path, found case-insensitively. The bytes go through DecodePicture:
  // a GIF brings its frames, any other picture is one frame.
  bool LoadFromFile(const std::string& path);
  bool LoadFromBytes(std::string bytes);

  // Frames are numbered from 1; 0 frames when there is no picture.
  int FrameCount() const { return m_player.frameCount(); }
  int Frame() const { return m_player.frame(); }
  // Shows frame n; a number outside 1 ... FrameCount is ignored. A running
  // animation goes on from that frame.
  void setFrame(int n);

  // Animation: the frames in turn at the file's delays, as often as the file's
  // loop count says (for ever when it says 0). After the last round the last
  // frame stays and animate() turns false. Switching it on starts the rounds
  // again from the frame shown. A single frame does not animate.
  void setAnimate(bool on);
  bool animate() const { return m_player.animate(); }

  // What the timer does when the frame's delay is over: the next frame. The
  // timer calls it; tests call it instead of waiting.
  void tick() { m_player.tick(); }
  // The delay before the next frame while the animation runs, else -1.
  int pendingDelayMs() const { return m_player.pendingDelayMs(); }

 private:
  bool load(std::string_view bytes, std::string_view nameHint);

  // The frames and their timing; its timer is found among the control's
  // children.
  GifPlayer m_player;
};

}  // namespace pagemoor
