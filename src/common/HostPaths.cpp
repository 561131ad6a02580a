#include "common/HostPaths.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "common/CommandLine.h"
#include "common/Encoding.h"
#include "common/FileIo.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

bool pathExists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

std::string nameKey(std::string_view name) {
  return FoldCase(DecodeText(name));
}

// The entry of folder whose name matches name without regard to case; of
// several, the first in byte order, so the choice does not depend on the
// order the file system lists them in.
std::optional<std::string> matchInFolder(const std::string& folder, std::string_view name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::nullopt;
  const std::string wanted = nameKey(name);
  std::optional<std::string> best;
  while (dirent* e = ::readdir(dir)) {
    std::string_view entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (nameKey(entry) == wanted && (!best || entry < *best)) best = std::string(entry);
  }
  ::closedir(dir);
  return best;
}

std::string envOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string homeDir() {
  std::string home = envOrEmpty("HOME");
  if (!home.empty()) return home;
  if (passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

// mkdir -p with the given mode for the folders it creates.
bool makeFolders(const std::string& folder, mode_t mode) {
  std::string partial;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    partial.push_back(folder[i]);
    if ((folder[i] == '/' && i > 0) || i + 1 == folder.size()) {
      if (::mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
  }
  return DirectoryExists(folder);
}

std::string xdgFolder(const char* variable, const char* fallback) {
  std::string base = envOrEmpty(variable);
  if (base.empty() || base[0] != '/') base = homeDir() + fallback;
  std::string folder = IncludeTrailingSeparator(base) + "pagemoor/";
  struct stat st;
  // Asked for at every log line: one look when the folder is there.
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) makeFolders(folder, 0700);
  return folder;
}

// A folder we may keep the reader's files in: a real folder (not a link),
// owned by us, that nobody else can write to or look into.
bool isPrivateFolder(const std::string& folder) {
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// Where the deletion stands: a folder it has entered, known by its identity
// (never by a descriptor, so a tree of any depth costs the same few
// descriptors), its name in the folder above, and its subfolders still to do.
struct FolderStep {
  dev_t device;
  ino_t inode;
  std::string name;
  std::vector<std::string> subfolders;
};

bool sameFile(const struct stat& a, dev_t device, ino_t inode) {
  return a.st_dev == device && a.st_ino == inode;
}

// A folder unpacked without permissions for us would keep its contents.
void makeUsable(int fd, const struct stat& st) {
  if ((st.st_mode & S_IRWXU) != S_IRWXU && st.st_uid == ::getuid())
    ::fchmod(fd, (st.st_mode & 07777) | S_IRWXU);
}

// Removes the files and links of the folder open at fd and returns the step
// with its subfolders still to do. fd stays open.
FolderStep clearFiles(int fd, const struct stat& st, std::string name) {
  FolderStep step{st.st_dev, st.st_ino, std::move(name), {}};
  makeUsable(fd, st);
  const int listFd = ::dup(fd);
  if (listFd < 0) return step;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return step;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string_view n = e->d_name;
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(dir);
  for (std::string& entry : names) {
    struct stat est;
    if (::fstatat(fd, entry.c_str(), &est, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(est.st_mode)) {
      step.subfolders.push_back(std::move(entry));
    } else {
      ::unlinkat(fd, entry.c_str(), 0);
    }
  }
  return step;
}

// Opens a subfolder without following a link; one that refuses us (mode 0)
// is given our permissions first. -1 when it is no folder of the tree.
int openSubfolder(int parentFd, const std::string& name) {
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(parentFd, name.c_str(), flags);
  if (fd < 0 && errno == EACCES) {
    struct stat st;
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::getuid()) {
      ::fchmodat(parentFd, name.c_str(), (st.st_mode & 07777) | S_IRWXU, 0);
      fd = ::openat(parentFd, name.c_str(), flags);
    }
  }
  return fd;
}

// Empties the folder open at rootFd, depth first, holding at most three
// descriptors whatever the depth: it descends by name (O_NOFOLLOW) and climbs
// back through "..", checking that ".." is the folder it came from. True when
// it went through the whole tree; false when the tree changed under it (a
// folder moved or removed by someone else), and the caller starts again.
bool emptyFolder(int rootFd) {
  struct stat st;
  if (::fstat(rootFd, &st) != 0) return false;
  int current = ::dup(rootFd);
  if (current < 0) return false;
  std::vector<FolderStep> path;
  path.push_back(clearFiles(current, st, {}));
  bool whole = true;
  while (true) {
    FolderStep& step = path.back();
    if (!step.subfolders.empty()) {
      const std::string name = std::move(step.subfolders.back());
      step.subfolders.pop_back();
      const int child = openSubfolder(current, name);
      struct stat cst;
      if (child < 0 || ::fstat(child, &cst) != 0) {
        if (child >= 0) ::close(child);
        ::unlinkat(current, name.c_str(), AT_REMOVEDIR);
        continue;
      }
      path.push_back(clearFiles(child, cst, name));
      ::close(current);
      current = child;
      continue;
    }
    if (path.size() == 1) break;
    const int parent = ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const FolderStep& above = path[path.size() - 2];
    struct stat pst;
    if (parent < 0 || ::fstat(parent, &pst) != 0 || !sameFile(pst, above.device, above.inode)) {
      if (parent >= 0) ::close(parent);
      whole = false;
      break;
    }
    // Only the folder we emptied, not whatever took its name meanwhile.
    struct stat nst;
    if (::fstatat(parent, step.name.c_str(), &nst, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(nst, step.device, step.inode))
      ::unlinkat(parent, step.name.c_str(), AT_REMOVEDIR);
    ::close(current);
    current = parent;
    path.pop_back();
  }
  ::close(current);
  return whole;
}

}  // namespace

std::string HostPath(std::string_view path) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

std::string ShownPath(std::string_view path) {
  return ResolveExisting(path).value_or(HostPath(path));
}

std::string IncludeTrailingSeparator(std::string_view folder) {
  std::string f = HostPath(folder);
  if (f.empty() || f.back() != '/') f.push_back('/');
  return f;
}

std::string ExcludeTrailingSeparator(std::string_view folder) {
  std::string f(folder);
  while (f.size() > 1 && isSeparator(f.back())) f.pop_back();
  return f;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return HostPath(name);
  while (!name.empty() && isSeparator(name.front())) name.remove_prefix(1);
  return IncludeTrailingSeparator(folder) + HostPath(name);
}

std::string ExtractFileName(std::string_view path) {
  std::size_t p = path.find_last_of("\\/");
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtractFilePath(std::string_view path) {
  std::size_t p = path.find_last_of("\\/");
  return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::string name = ExtractFileName(path);
  std::size_t p = name.rfind('.');
  return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::size_t nameStart = path.find_last_of("\\/");
  nameStart = nameStart == std::string_view::npos ? 0 : nameStart + 1;
  std::size_t dot = path.rfind('.');
  std::string base(dot == std::string_view::npos || dot < nameStart ? path : path.substr(0, dot));
  return base + std::string(ext);
}

std::optional<std::string> ResolveExisting(std::string_view path) {
  std::string p = HostPath(path);
  if (p.empty()) return std::nullopt;
  if (pathExists(p)) return p;

  const bool absolute = p.front() == '/';
  const bool trailing = p.back() == '/';
  std::vector<std::string_view> parts;
  std::string_view rest = p;
  while (!rest.empty()) {
    std::size_t s = rest.find('/');
    std::string_view part = rest.substr(0, s);
    if (!part.empty() && part != ".") parts.push_back(part);
    if (s == std::string_view::npos) break;
    rest.remove_prefix(s + 1);
  }
  std::string current = absolute ? "/" : "";
  for (std::string_view part : parts) {
    std::string candidate = current + std::string(part);
    if (!pathExists(candidate)) {
      if (part == "..") return std::nullopt;
      auto match = matchInFolder(current, part);
      if (!match) return std::nullopt;
      candidate = current + *match;
    }
    current = candidate + "/";
  }
  if (!trailing && current.size() > 1) current.pop_back();
  if (!pathExists(current.empty() ? "." : current)) return std::nullopt;
  return current;
}

std::string ResolveForWrite(std::string_view path) {
  if (auto existing = ResolveExisting(path)) return *existing;
  std::string p = HostPath(path);
  std::string folder = ExtractFilePath(p);
  if (folder.empty()) return p;
  if (auto f = ResolveExisting(folder)) return IncludeTrailingSeparator(*f) + ExtractFileName(p);
  return p;
}

std::optional<std::string> RealPath(std::string_view path) {
  if (path.empty()) return std::nullopt;
  const std::string asked(path);
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(asked.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

bool IsWithinFolder(std::string_view real, std::string_view root) {
  if (root == "/") return true;
  return real == root ||
         (real.size() > root.size() && real.substr(0, root.size()) == root && real[root.size()] == '/');
}

bool FileExists(std::string_view path) {
  auto p = ResolveExisting(path);
  if (!p) return false;
  struct stat st;
  return ::stat(p->c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
  auto p = ResolveExisting(path);
  if (!p) return false;
  struct stat st;
  return ::stat(p->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(std::string_view path) {
  std::string p = ExcludeTrailingSeparator(ResolveForWrite(ExcludeTrailingSeparator(HostPath(path))));
  return ::mkdir(p.c_str(), 0777) == 0;
}

bool RemoveEmptyFolder(std::string_view path) {
  auto p = ResolveExisting(path);
  return p && ::rmdir(ExcludeTrailingSeparator(*p).c_str()) == 0;
}

bool DeleteFileAt(std::string_view path) {
  auto p = ResolveExisting(path);
  return p && ::unlink(p->c_str()) == 0;
}

void DeleteTree(std::string_view folder) {
  std::string p = ExcludeTrailingSeparator(HostPath(folder));
  if (p.empty() || p == "/") return;
  // Another deleter of the same tree (the end-signal watchdog beside the
  // viewer's own ending) can pull a folder from under us; a few fresh starts
  // from the top finish what it left.
  for (int attempt = 0; attempt < 8; ++attempt) {
    // O_NOFOLLOW: a link given as the folder is removed as a link, and
    // nothing it points to is touched.
    int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      struct stat st;
      if (::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(p.c_str());
      return;
    }
    const bool whole = emptyFolder(fd);
    ::close(fd);
    if (::rmdir(p.c_str()) == 0 || errno == ENOENT || whole) return;
  }
}

std::optional<std::string> ReadTextFile(std::string_view path) {
  auto bytes = ReadMagazineFile(path, FileKind::Text);
  if (!bytes) return std::nullopt;
  return DecodeText(WithoutBom(*bytes));
}

bool WriteTextFile(std::string_view path, std::string_view text) {
  return WriteFileAtomic(ResolveForWrite(path), text);
}

std::string ProgramDir() {
  return ExtractFilePath(CurrentCommandLine().programFile);
}

std::string TempDir() {
  for (const char* variable : {"TEMP", "TMPDIR"}) {
    std::string v = envOrEmpty(variable);
    if (!v.empty()) return IncludeTrailingSeparator(v);
  }
  return "/tmp/";
}

std::string PrivateTempDir() {
  static std::mutex mutex;
  static std::map<std::string, std::string> refused;  // refused folder -> the fresh one used instead
  const std::string folder = TempDir() + "pagemoor-" + std::to_string(::getuid()) + "/";
  std::lock_guard lock(mutex);
  if (auto it = refused.find(folder); it != refused.end()) return it->second;
  const std::string bare = ExcludeTrailingSeparator(folder);
  if (::mkdir(bare.c_str(), 0700) != 0 && errno == ENOENT) {
    // The temporary folder itself is missing (TEMP names a folder not made
    // yet): make it, or whatever creates the project folder later would make
    // our private folder on the way, open to everyone.
    const std::string temp = TempDir();
    for (std::size_t slash = temp.find('/', 1); slash != std::string::npos; slash = temp.find('/', slash + 1))
      ::mkdir(temp.substr(0, slash).c_str(), 0777);
    ::mkdir(bare.c_str(), 0700);
  }
  if (::mkdir(bare.c_str(), 0700) == 0 || errno == EEXIST) {
    if (isPrivateFolder(bare)) return folder;
  }
  // Somebody else's folder, a link, or one others can write to: never unpack
  // into it or delete below it. A fresh private folder serves this run.
  std::string templ = TempDir() + "pagemoor-" + std::to_string(::getuid()) + "-XXXXXX";
  if (::mkdtemp(templ.data()) == nullptr) return folder;
  std::string fresh = templ + "/";
  refused[folder] = fresh;
  return fresh;
}

std::string NormalProjectDir() {
  std::string name = AsciiUpper(ExtractFileName(CurrentCommandLine().programFile));
  ReplaceText(name, ".", "_", false);
  return PrivateTempDir() + name + "/";
}

std::string ProjectDir() {
  return IsDevelopMode() ? ProgramDir() : NormalProjectDir();
}

std::string CurrentDriveRoot() {
  return "/";
}

std::string StateDir() {
  return xdgFolder("XDG_STATE_HOME", "/.local/state");
}

std::string ConfigDir() {
  return xdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string GetEnvVar(std::string_view name) {
  std::string v = envOrEmpty(std::string(name).c_str());
  return v.size() >= 500 ? std::string() : v;
}

std::string GetLoginName() {
  std::string name;
  if (passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) name = pw->pw_name;
  if (name.empty()) name = envOrEmpty("LOGNAME");
  if (name.empty()) name = envOrEmpty("USER");
  return LeftChars(name, 254);
}

int AppVersion() {
  return 2803;
}

}  // namespace pagemoor
