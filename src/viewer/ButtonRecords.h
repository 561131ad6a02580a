// The image buttons' descriptions: one INI section per button, "1", "2", ...
// up to 100, read until the first section without a command.
#pragma once

#include <string>
#include <vector>

namespace pagemoor {

struct ButtonRecord {
  std::string command;
  std::string file;  // the "file" value in the project's pictures folder
  bool autosize = true;
  bool stretch = false;
  std::string hint;
  bool normal = true;  // state button (frames 1, 2, 3); false: the GIF animates
  int left = 10;
  int top = 100;
  int height = 10;
  int width = 10;
  int cursor = -21;  // cursor slot
};

inline constexpr int kMaxButtons = 100;

// Reads the button file (a full path). Missing keys are written back as the
// INI rules say. A "cursor" value that is no integer throws ConvertError:
// the records read so far are lost with it.
std::vector<ButtonRecord> ReadButtonRecords(const std::string& iniFile);

}  // namespace pagemoor
