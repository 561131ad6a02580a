#include "installer/qt/DirectoryListBox.h"

#include <unistd.h>

#include <QDir>
#include <QIcon>
#include <QKeyEvent>
#include <QStringList>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <sstream>

#include "common/HostPaths.h"
#include "common/Strings.h"
#include "platform/qt/QtText.h"

namespace pagemoor {

namespace {

// Pixels of indent per folder level.
constexpr int kIndent = 10;

// Draws each line moved right by its level, as the old list showed the tree.
class IndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem moved(option);
    moved.rect.setLeft(option.rect.left() + kIndent * index.data(DirectoryListBox::kLevelRole).toInt());
    QStyledItemDelegate::paint(painter, moved, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += kIndent * index.data(DirectoryListBox::kLevelRole).toInt();
    return size;
  }
};

std::string CurrentFolder() {
  std::string buffer(PATH_MAX, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return "/";
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

// Absolute, without "." and ".." steps, without a trailing separator.
std::string CleanFolder(const std::string& folder) {
  QString path = ToQt(HostPath(folder));
  if (QDir::isRelativePath(path)) path = ToQt(CurrentFolder()) + "/" + path;
  return QDir::cleanPath(path).toStdString();
}

bool CaseBlindLess(const QString& a, const QString& b) {
  const int c = QString::compare(a, b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

// /proc/self/mounts writes blanks, tabs, line ends and backslashes of a mount
// point as three-digit octal escapes.
std::string UnescapeMountField(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// Kernel views and automount placeholders: nothing a reader unpacks into.
bool IsPseudoFileSystem(const std::string& type) {
  static constexpr std::array<std::string_view, 21> kPseudo = {
      "autofs", "binfmt_misc", "bpf",        "cgroup",     "cgroup2",   "configfs", "debugfs",
      "devpts", "devtmpfs",    "efivarfs",   "fusectl",    "hugetlbfs", "mqueue",   "nsfs",
      "proc",   "pstore",      "rpc_pipefs", "securityfs", "selinuxfs", "sysfs",    "tracefs"};
  return std::find(kPseudo.begin(), kPseudo.end(), type) != kPseudo.end();
}

bool IsUnder(const std::string& path, const std::string& folder) {
  if (folder == "/") return path.starts_with('/');
  return path == folder || path.starts_with(folder + "/");
}

}  // namespace

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new IndentDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { openRow(row(item)); });
  if (!setFolder(CurrentFolder())) setFolder("/");
}

bool DirectoryListBox::setFolder(const std::string& folder) {
  // An empty name would quietly mean the process's current folder.
  if (folder.empty()) return false;
  const std::string clean = CleanFolder(folder);
  const std::optional<std::string> found = ResolveExisting(clean);
  if (!found || !DirectoryExists(*found)) return false;
  const std::string target = CleanFolder(*found);
  const bool changed = target != m_folder;
  m_folder = target;
  fill();
  if (changed) emit folderChanged(ToQt(m_folder));
  return true;
}

std::string DirectoryListBox::folderAt(int row) const {
  const QListWidgetItem* line = item(row);
  return line ? line->data(kFolderRole).toString().toStdString() : std::string();
}

void DirectoryListBox::openRow(int row) {
  const std::string target = folderAt(row);
  // A folder removed since the list was read: show what is there now.
  if (!target.empty() && !setFolder(target)) refresh();
}

void DirectoryListBox::refresh() {
  fill();
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
    openRow(currentRow());
    return;
  }
  QListWidget::keyPressEvent(event);
}

void DirectoryListBox::fill() {
  clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  auto addLine = [this](const QString& text, const QString& path, int level, const QIcon& icon) {
    auto* line = new QListWidgetItem(icon, text, this);
    line->setData(kFolderRole, path);
    line->setData(kLevelRole, level);
    line->setToolTip(path);
  };

  addLine("/", "/", 0, open);
  QString path;
  int level = 0;
  for (const QString& step : ToQt(m_folder).split('/', Qt::SkipEmptyParts)) {
    path += "/" + step;
    addLine(step, path, ++level, open);
  }
  const int currentLine = count() - 1;

  // Hidden folders stay hidden, as a file manager shows them.
  QStringList names = QDir(ToQt(m_folder)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  std::sort(names.begin(), names.end(), CaseBlindLess);
  const QString parent = m_folder == "/" ? QString() : ToQt(m_folder);
  for (const QString& name : names) addLine(name, parent + "/" + name, level + 1, closed);

  setCurrentRow(currentLine);
}

std::vector<std::string> ReaderVolumes(std::string_view mounts, const std::string& home) {
  std::vector<std::string> roots{"/"};
  auto add = [&roots](const std::string& root) {
    if (!root.empty() && std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
  };
  if (!home.empty()) add(CleanFolder(home));

  std::istringstream lines{std::string(mounts)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint, type;
    if (!(fields >> device >> mountPoint >> type)) continue;
    const std::string point = UnescapeMountField(mountPoint);
    if (IsPseudoFileSystem(type)) continue;
    if (IsUnder(point, "/media") || IsUnder(point, "/mnt") || IsUnder(point, "/run/media")) add(point);
  }
  return roots;
}

int VolumeOf(const std::vector<std::string>& roots, const std::string& folder) {
  int best = -1;
  std::size_t bestLength = 0;
  for (std::size_t i = 0; i < roots.size(); ++i) {
    if (!IsUnder(folder, roots[i])) continue;
    if (best < 0 || roots[i].size() > bestLength) {
      best = static_cast<int>(i);
      bestLength = roots[i].size();
    }
  }
  return best;
}

}  // namespace pagemoor
