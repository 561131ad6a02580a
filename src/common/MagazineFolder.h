// The project's own folders: where a magazine keeps its settings, pages,
// pictures, scripts, sounds, cursors and archives. Every part of the program
// asks this value for a project file instead of splicing folder names onto
// ProjectDir() itself, so the folder layout is written down once.
//
// Paths come in host form ("\" steps made "/"); the letter case of the name
// a magazine gives is kept as it wrote it, and the host lookups
// (ResolveExisting, FileExists, the reads) match it whatever the case.
#pragma once

#include <string>
#include <string_view>

namespace pagemoor {

class MagazineFolder {
 public:
  // The folder of the project being read (ProjectDir()).
  MagazineFolder();
  // A given root, with or without its trailing separator.
  explicit MagazineFolder(std::string_view root);

  // The root with its trailing separator.
  const std::string& root() const { return m_root; }
  // The root + name.
  std::string file(std::string_view name) const;

  std::string ini(std::string_view name) const { return in("ini", name); }
  std::string texts(std::string_view name) const { return in("texts", name); }
  std::string pictures(std::string_view name) const { return in("pictures", name); }
  std::string scripts(std::string_view name) const { return in("scripts", name); }
  std::string sounds(std::string_view name) const { return in("sounds", name); }
  std::string cursors(std::string_view name) const { return in("cursors", name); }
  std::string rars(std::string_view name) const { return in("rars", name); }

 private:
  // An empty name gives the folder itself with its separator: a name a
  // setting left out names no file.
  std::string in(std::string_view folder, std::string_view name) const;

  std::string m_root;
};

}  // namespace pagemoor
