// A small real file system for tests of a full disk.
#pragma once

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace pagemoor::test {

// A tmpfs of `size` mounted at `folder` for the test's life; ok() is false
// when this process may not mount (not root, or a container that forbids it).
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& folder, const std::string& size) : m_folder(folder) {
    ::mkdir(folder.c_str(), 0700);
    const std::string options = "size=" + size;
    m_mounted = ::geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (m_mounted) ::umount2(m_folder.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool ok() const { return m_mounted; }

 private:
  std::string m_folder;
  bool m_mounted = false;
};

}  // namespace pagemoor::test
