#include "common/MagazineFolder.h"

#include "common/HostPaths.h"

namespace pagemoor {

MagazineFolder::MagazineFolder() : MagazineFolder(ProjectDir()) {}

MagazineFolder::MagazineFolder(std::string_view root) : m_root(IncludeTrailingSeparator(root)) {}

std::string MagazineFolder::file(std::string_view name) const {
  return JoinPath(m_root, name);
}

std::string MagazineFolder::in(std::string_view folder, std::string_view name) const {
  std::string relative(folder);
  relative += kPathSeparator;
  relative.append(name);
  return JoinPath(m_root, relative);
}

}  // namespace pagemoor
