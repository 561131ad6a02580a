#include "common/IniFile.h"

#include <sys/stat.h>

#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/IniDocument.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

constexpr long kMaxNameChars = 255;
constexpr long kMaxValueChars = 9999;
constexpr std::size_t kMaxCachedFiles = 256;

struct Identity {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  long long mtimeSec = 0;
  long long mtimeNsec = 0;
  bool operator==(const Identity&) const = default;
};

// No value: the file does not exist.
std::optional<Identity> identityOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return Identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

struct PendingWrite {
  std::string section, key, value;
};

struct CachedFile {
  std::optional<Identity> identity;  // of the file the document was read from
  IniDocument doc;
  bool readable = true;               // a file we cannot read is never written over
  std::vector<PendingWrite> pending;  // write-backs not yet in the file
};

// Parsed copies of the files read lately, keyed by the path on disk. A copy
// is used only while the file is still the same file with the same size and
// modification time, so an author's edit is seen at the next read.
//
// Write-backs of missing keys may wait for a flush (see
// SetIniWriteBackScheduler): writing a file costs far more than reading a
// hundred keys, and one handler often reads dozens of missing keys from the
// same file. Reads see the pending values at once.
class IniCache {
 public:
  ~IniCache() { flushAll(); }

  CachedFile& open(std::string_view file, std::string& path) {
    auto existing = ResolveExisting(file);
    path = existing ? *existing : ResolveForWrite(file);
    auto identity = existing ? identityOf(path) : std::nullopt;
    auto it = m_files.find(path);
    if (it != m_files.end() && it->second.identity == identity) return it->second;
    if (it == m_files.end() && m_files.size() >= kMaxCachedFiles) {
      flushAll();
      m_files.clear();
    }
    CachedFile& entry = m_files[path];
    load(entry, path, identity);
    return entry;
  }

  // A write-back that a read asked for.
  void writeBack(CachedFile& entry, const std::string& path, const std::string& section,
                 const std::string& key, const std::string& value) {
    // A file we could not or would not read is never written, so there is
    // nothing to wait for; keeping its copy also keeps a refused file from
    // being loaded (and its refusal logged) again at the next key.
    if (!entry.readable) return;
    if (!entry.doc.setValue(section, key, value)) return;
    if (!m_scheduler) {
      save(entry, path);
      return;
    }
    entry.pending.push_back({section, key, value});
    if (!m_flushScheduled) {
      m_flushScheduled = true;
      m_scheduler();
    }
  }

  bool save(CachedFile& entry, const std::string& path) {
    if (entry.readable && WriteFileAtomic(path, entry.doc.serialize())) {
      entry.identity = identityOf(path);
      entry.pending.clear();
      return true;
    }
    // Read-only: forget the changed copy so the next read sees the file as it is.
    m_files.erase(path);
    return false;
  }

  void flushAll() {
    m_flushScheduled = false;
    std::vector<std::string> dirty;
    for (auto& [path, entry] : m_files)
      if (!entry.pending.empty()) dirty.push_back(path);
    for (const std::string& path : dirty) {
      auto it = m_files.find(path);
      if (it == m_files.end()) continue;
      CachedFile& entry = it->second;
      // Somebody changed the file since we read it: take their version and
      // add our write-backs to it instead of writing over their edit.
      auto identity = identityOf(path);
      if (identity != entry.identity) load(entry, path, identity);
      if (!entry.pending.empty()) save(entry, path);
    }
  }

  void setScheduler(std::function<void()> scheduler) {
    flushAll();
    m_scheduler = std::move(scheduler);
  }

  void clear() {
    flushAll();
    m_files.clear();
  }

  std::recursive_mutex mutex;

 private:
  void load(CachedFile& entry, const std::string& path, const std::optional<Identity>& identity) {
    std::optional<std::string> bytes;
    // A magazine's INI file that leads out of the magazine (a link to the
    // reader's own files, or a folder that is one) is neither read nor
    // written: the keys we write back would land in the reader's file.
    // The refusal is logged when the file is loaded, so once per file and
    // not once per key.
    const std::string place = identity ? path : ExtractFilePath(path);
    bool refused = !place.empty() && WhereIs(place) == PlaceOfFile::Outside;
    if (refused) {
      LogFileRefusal(path, FileRefusal::Outside, FileKind::Text);
    } else if (identity) {
      FileRefusal why = FileRefusal::None;
      bytes = ReadFileBytes(path, FileKind::Text, &why);
      LogFileRefusal(path, why, FileKind::Text);
      refused = why == FileRefusal::NotRegular || why == FileRefusal::TooLarge;
    }
    entry.identity = identity;
    entry.readable = !refused && (!identity || bytes.has_value());
    entry.doc = IniDocument(bytes ? std::move(*bytes) : std::string());
    if (!entry.readable) {
      entry.pending.clear();
      return;
    }
    // Pending write-backs still apply where the key is still missing or empty.
    std::vector<PendingWrite> still;
    for (PendingWrite& p : entry.pending) {
      auto v = entry.doc.value(p.section, p.key);
      if (v && !v->empty()) continue;
      if (entry.doc.setValue(p.section, p.key, p.value)) still.push_back(std::move(p));
    }
    entry.pending = std::move(still);
  }

  std::unordered_map<std::string, CachedFile> m_files;
  std::function<void()> m_scheduler;
  bool m_flushScheduled = false;
};

IniCache& cache() {
  static IniCache c;
  return c;
}

std::string readOrWriteBack(std::string_view file, std::string_view section, std::string_view key,
                            std::string_view writeBackValue) {
  IniCache& c = cache();
  std::lock_guard lock(c.mutex);
  const std::string sec = LeftChars(section, kMaxNameChars);
  const std::string k = LeftChars(key, kMaxNameChars);
  std::string path;
  CachedFile& entry = c.open(file, path);
  if (auto v = entry.doc.value(sec, k); v && !v->empty()) return LeftChars(*v, kMaxValueChars);
  c.writeBack(entry, path, sec, k, LeftChars(writeBackValue, kMaxValueChars));
  return {};
}

}  // namespace

std::string ReadIniValue(std::string_view file, std::string_view section, std::string_view key) {
  if (file.empty() || section.empty() || key.empty()) return {};
  return readOrWriteBack(file, section, key, " ");
}

std::string ReadIniDefault(std::string_view file, std::string_view section, std::string_view key,
                           std::string_view defaultValue) {
  if (file.empty() || section.empty() || key.empty()) return std::string(defaultValue);
  std::string v = readOrWriteBack(file, section, key, defaultValue);
  return v.empty() ? std::string(defaultValue) : v;
}

bool WriteIniValue(std::string_view file, std::string_view section, std::string_view key,
                   std::string_view value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  IniCache& c = cache();
  std::lock_guard lock(c.mutex);
  std::string path;
  CachedFile& entry = c.open(file, path);
  const bool changed = entry.doc.setValue(LeftChars(section, kMaxNameChars), LeftChars(key, kMaxNameChars),
                                          LeftChars(value, kMaxValueChars));
  if (!changed && entry.pending.empty()) return entry.readable;
  return c.save(entry, path);
}

void SetIniWriteBackScheduler(std::function<void()> schedule) {
  IniCache& c = cache();
  std::lock_guard lock(c.mutex);
  c.setScheduler(std::move(schedule));
}

void FlushIniWrites() {
  IniCache& c = cache();
  std::lock_guard lock(c.mutex);
  c.flushAll();
}

void ClearIniCache() {
  IniCache& c = cache();
  std::lock_guard lock(c.mutex);
  c.clear();
}

}  // namespace pagemoor
