// The "slideshow" command and the clicks that advance it: the list of picture
// names, the position in it, and what the picture viewer shows at each step.
// The viewer window (TfrmPV) is a SlideshowView; tests use a fake one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/LogSink.h"

namespace pagemoor {

// Who raised a command, as the console hands it over (the same type).
using Sender = const void*;

// What the slideshow needs of the picture viewer. Picture paths handed over
// name existing files, in the case the show's list has them.
class SlideshowView {
 public:
  virtual ~SlideshowView() = default;
  // lblPopisek.
  virtual void setCaptionLine(const std::string& text) = 0;
  // ListBox1 mirrors the list and its selected index the position (-1: none).
  virtual void listChanged(const std::vector<std::string>& names) = 0;
  virtual void positionChanged(int index) = 0;
  // ShowPicture of the viewer: loads the file into imgBack, then centres it.
  // False when imgBack does not show the file's picture (it cannot be read
  // or decoded); the view has logged why.
  virtual bool ShowPicture(const std::string& path) = 0;
  // LoadPicture into imgBack, nothing more; false as for ShowPicture.
  virtual bool loadPicture(const std::string& path) = 0;
  // imgBack takes the no-data picture of imgNoData.
  virtual void showNoData() = 0;
  // imgBack without a picture.
  virtual void clearPicture() = 0;
  virtual void CenterPicture() = 0;
  // Shows the viewer modally; returns when it has closed.
  virtual void showModal() = 0;
  virtual void closeWindow() = 0;
};

class Slideshow {
 public:
  Slideshow(SlideshowView& view, LogSink& log) : m_view(view), m_log(log) {}

  // The click sound; the viewer sets it. Unset: clicks are silent.
  std::function<void(const std::string& path)> PlaySoundFile;

  // The "slideshow" command: "a.jpg|b.jpg|..." names the pictures directly,
  // "file NAME" reads them from the project's scripts folder, one a line.
  void cmdSlideShow(Sender sender, const std::string& params);

  // A click on the viewer or its picture: the next picture, or the end.
  void imgBackClick();
  // The end of the show as its closing click makes it, without the click's
  // sound: what Escape does.
  void endShow();

  const std::vector<std::string>& names() const { return m_names; }
  int position() const { return m_position; }

 private:
  void setNames(std::vector<std::string> names);
  void setPosition(int index);
  std::string captionOf(const std::string& name) const;
  // The path of the picture file of that name in the project's pictures
  // folder; empty when there is no such file (a folder is none).
  std::string existingPicture(const std::string& name) const;
  void playClick();

  SlideshowView& m_view;
  LogSink& m_log;
  std::vector<std::string> m_names;
  int m_position = -1;  // as a list box has it: -1 while nothing is selected
};

}  // namespace pagemoor
