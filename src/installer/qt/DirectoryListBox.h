// A folder list in the old directory-list-box manner: the steps from the root
// down to the current folder, each a line, then the current folder's
// subfolders. Double-clicking a line (or Enter on it) makes its folder the
// current one. Also the file-system roots a reader picks from in the drive
// box beside it.
#pragma once

#include <QListWidget>
#include <string>
#include <string_view>
#include <vector>

class QKeyEvent;

namespace pagemoor {

class DirectoryListBox : public QListWidget {
  Q_OBJECT

 public:
  // The role holding the full folder path of a line (a QString).
  static constexpr int kFolderRole = Qt::UserRole + 1;
  // The role holding a line's depth (root 0), which sets its indent.
  static constexpr int kLevelRole = Qt::UserRole + 2;

  // Starts in the process's current folder (the root when that is gone).
  explicit DirectoryListBox(QWidget* parent = nullptr);

  // The current folder, absolute, without a trailing separator except for
  // the root itself.
  std::string folder() const { return m_folder; }
  // Makes an existing folder current (relative names count from the process's
  // current folder; a case-blind match counts). False, and nothing changes,
  // for an empty name or when there is no such folder.
  bool setFolder(const std::string& folder);
  // The folder a line stands for (empty for a row out of range).
  std::string folderAt(int row) const;
  // What a double-click on the line does.
  void openRow(int row);
  // Reads the current folder's subfolders again.
  void refresh();

 signals:
  void folderChanged(const QString& folder);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void fill();

  std::string m_folder;
};

// The roots a reader would choose from: "/", the home folder, then the mount
// points under /media, /mnt and /run/media in `mounts` (the text of
// /proc/self/mounts) whose file system holds files. No repeats.
std::vector<std::string> ReaderVolumes(std::string_view mounts, const std::string& home);

// The entry of `roots` that holds `folder`: the longest matching prefix.
int VolumeOf(const std::vector<std::string>& roots, const std::string& folder);

}  // namespace pagemoor
