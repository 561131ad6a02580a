// A fresh folder for one test, removed with everything in it at the end.
#pragma once

#include <string>
#include <string_view>

namespace pagemoor::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, with a trailing '/'.
  const std::string& path() const { return m_path; }
  // path() + name.
  std::string file(std::string_view name) const;
  // Writes bytes to path() + name (creating folders on the way) and returns the path.
  std::string write(std::string_view name, std::string_view bytes) const;
  // The bytes of path() + name, or "<missing>".
  std::string read(std::string_view name) const;

 private:
  std::string m_path;
};

// Sets an environment variable for a scope and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);  // value nullptr: unset
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::string m_old;
  bool m_hadOld;
};

}  // namespace pagemoor::test
