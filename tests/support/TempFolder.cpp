#include "support/TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pagemoor::test {

TempFolder::TempFolder() {
  std::string base = std::filesystem::temp_directory_path().string() + "/pagemoor-test-XXXXXX";
  if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  m_path = base + "/";
}

TempFolder::~TempFolder() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them writable first.
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ec);
  std::filesystem::remove_all(m_path, ec);
}

std::string TempFolder::file(std::string_view name) const {
  return m_path + std::string(name);
}

std::string TempFolder::write(std::string_view name, std::string_view bytes) const {
  std::string p = file(name);
  std::filesystem::create_directories(std::filesystem::path(p).parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p;
}

std::string TempFolder::read(std::string_view name) const {
  std::ifstream in(file(name), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
  const char* old = std::getenv(name);
  m_hadOld = old != nullptr;
  if (old) m_old = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (m_hadOld)
    setenv(m_name.c_str(), m_old.c_str(), 1);
  else
    unsetenv(m_name.c_str());
}

}  // namespace pagemoor::test
