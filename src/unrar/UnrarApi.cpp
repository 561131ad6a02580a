// The seven functions of the RAR library. The catalog (our header reader)
// says what the archive holds; a decoder (unarr or libarchive) turns packed
// data into bytes; every file is written through extract::TargetFolder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "common/FileIo.h"
#include "installer/ExtractPaths.h"
#include "unrar/RarBackends.h"
#include "unrar/RarCatalog.h"
#include "unrar/unrar.h"

#define PAGEMOOR_UNRAR_EXPORT extern "C" __attribute__((visibility("default")))

namespace pagemoor::rar {

namespace {

constexpr std::size_t kBlock = 64 * 1024;
// The callback's name buffer: the library owns it, callers may write a path
// of up to this many bytes.
constexpr std::size_t kVolumeNameBuffer = 1024;

struct FolderStamp {
  std::string target;
  std::vector<std::string> components;
  std::time_t mtime = 0;
};

struct Handle {
  Catalog catalog;
  std::unique_ptr<Decoder> decoder;
  std::size_t next = 0;                // the entry the next RARReadHeader shows
  std::optional<std::size_t> current;  // shown and not processed yet
  bool ended = false;                  // the end (or what ended the reading) was reported
  CHANGEVOLPROC volumeProc = nullptr;
  PROCESSDATAPROC dataProc = nullptr;
  std::string password;  // kept; neither decoder decrypts
  std::vector<FolderStamp> folders;
  std::vector<unsigned char> buffer;
};

// Handles we gave out: anything else passed to us is refused, not used.
std::mutex g_handlesMutex;
std::set<Handle*> g_handles;

Handle* Lookup(void* handle) {
  std::lock_guard<std::mutex> lock(g_handlesMutex);
  auto it = g_handles.find(static_cast<Handle*>(handle));
  return it == g_handles.end() ? nullptr : *it;
}

// Copies UTF-8 text into a C buffer of `capacity` bytes, cut at a character
// boundary, always zero-terminated; returns the bytes copied (without the
// zero).
std::size_t CopyCut(char* out, std::size_t capacity, std::string_view text) {
  if (out == nullptr || capacity == 0) return 0;
  std::size_t n = std::min(text.size(), capacity - 1);
  if (n < text.size()) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xc0) == 0x80) --n;
  }
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}

// Comments come in the packer's code page (852) or UTF-8.
std::string CommentText(const std::string& bytes) {
  std::string text = bytes.substr(0, bytes.find('\0'));
  return IsValidUtf8(text) ? text : Cp852ToUtf8(text);
}

// Fills a caller's comment buffer; the state as RAROpenArchiveData and
// RARHeaderData report it.
void FillComment(const Comment& comment, char* buffer, unsigned capacity, unsigned& size, unsigned& state) {
  size = 0;
  state = 0;
  if (buffer == nullptr || capacity == 0 || comment.state == Comment::State::None) return;
  std::optional<std::string> text;
  switch (comment.state) {
    case Comment::State::Stored:
      text = comment.text;
      break;
    case Comment::State::Compressed:
      text = UnpackComment(comment);
      if (!text) {
        state = ERAR_UNKNOWN_FORMAT;
        return;
      }
      break;
    default:
      state = ERAR_BAD_DATA;
      return;
  }
  std::string utf8 = CommentText(*text);
  std::size_t copied = CopyCut(buffer, capacity, utf8);
  size = static_cast<unsigned>(copied + 1);
  state = copied < utf8.size() ? ERAR_SMALL_BUF : 1;
}

void FillHeader(const Handle& h, const Entry& e, RARHeaderData& d) {
  const FileHeader& f = e.header;
  CopyCut(d.ArcName, sizeof d.ArcName, h.catalog.volumes()[e.volume].path);
  // Folder steps as the packers' own systems show them.
  std::string name = f.name;
  std::replace(name.begin(), name.end(), '/', '\\');
  CopyCut(d.FileName, sizeof d.FileName, name);
  unsigned flags = 0;
  if (f.splitBefore) flags |= RHDF_SPLITBEFORE;
  if (f.splitAfter) flags |= RHDF_SPLITAFTER;
  if (f.encrypted) flags |= RHDF_ENCRYPTED;
  if (e.comment.state != Comment::State::None) flags |= 0x08;
  if (f.solid) flags |= RHDF_SOLID;
  if (f.directory) flags |= RHDF_DIRECTORY;
  d.Flags = flags;
  d.PackSize = static_cast<unsigned>(f.packSize & 0xffffffffu);
  d.UnpSize = static_cast<unsigned>(f.unpSize & 0xffffffffu);
  d.HostOS = f.hostOs;
  d.FileCRC = f.crc;
  d.FileTime = f.dosTime;
  d.UnpVer = f.unpVer;
  d.Method = f.method;
  d.FileAttr = f.attributes;
  FillComment(e.comment, d.CmtBuf, d.CmtBufSize, d.CmtSize, d.CmtState);
}

// The modification time the archive stored, if any (RAR 5 may store none).
std::optional<std::time_t> StoredTime(const FileHeader& f) {
  if (f.hasMtime) return static_cast<std::time_t>(f.mtime);
  if (f.dosTime != 0) return extract::DosDateTimeToTime(f.dosTime);
  return std::nullopt;
}

// The modification time and permissions the archive stored.
void ApplyStored(int fd, const FileHeader& f) {
  if (f.hostOs == kHostUnix) {
    extract::ApplyFileMode(fd, f.attributes & 0777);
  } else if (f.hostOs == kHostDos || f.hostOs == kHostOs2 || f.hostOs == kHostWindows) {
    struct stat st {};
    if ((f.attributes & 0x01) && fstat(fd, &st) == 0) extract::ApplyFileMode(fd, st.st_mode & 0555);
  }
  if (std::optional<std::time_t> mtime = StoredTime(f)) extract::ApplyFileTimes(fd, *mtime);
}

// Where an entry goes: a target folder and the components below it.
struct Destination {
  std::string folder;
  std::vector<std::string> components;
};

std::optional<Destination> DestinationOf(const Entry& e, const char* destPath, const char* destName) {
  Destination d;
  if (destName != nullptr && *destName != '\0') {
    // The caller's own full name for the file.
    std::string full(destName);
    std::size_t slash = full.find_last_of('/');
    d.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : full.substr(0, slash);
    std::string base = slash == std::string::npos ? full : full.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") return std::nullopt;
    d.components.push_back(base);
    return d;
  }
  d.folder = destPath != nullptr && *destPath != '\0' ? destPath : ".";
  auto components = extract::SafeEntryComponents(e.header.name);
  if (!components) return std::nullopt;
  d.components = std::move(*components);
  return d;
}

int ExtractFolder(Handle& h, const Entry& e, const char* destPath, const char* destName) {
  std::optional<Destination> d = DestinationOf(e, destPath, destName);
  if (!d) return ERAR_ECREATE;
  if (destName != nullptr && *destName != '\0') {
    extract::TargetFolder whole(destName);
    return whole.ok() ? 0 : ERAR_ECREATE;
  }
  extract::TargetFolder target(d->folder);
  if (!target.ok() || !target.makeFolders(d->components)) return ERAR_ECREATE;
  if (std::optional<std::time_t> mtime = StoredTime(e.header)) {
    h.folders.push_back(FolderStamp{d->folder, d->components, *mtime});
  }
  return 0;
}

// Decodes the current entry: tests it, or writes it too. The file is made
// only when the first bytes are in hand, and removed again on any failure.
int ProcessData(Handle& h, std::size_t index, bool write, const char* destPath, const char* destName) {
  const Entry& e = h.catalog.entry(index);
  std::optional<Destination> d;
  if (write) {
    d = DestinationOf(e, destPath, destName);
    if (!d) return ERAR_ECREATE;
  }
  if (int r = h.catalog.complete(index)) return r;
  for (const Part& part : e.parts) {
    std::uint64_t size = h.catalog.volumes()[part.volume].source->size();
    if (part.dataOffset > size || part.packSize > size - part.dataOffset) return ERAR_EREAD;
  }
  if (!h.decoder) h.decoder = MakeDecoder(h.catalog);
  if (int r = h.decoder->begin(index)) return r;
  const FileHeader& f = e.header;
  std::optional<extract::TargetFolder> target;
  int fd = -1;
  int error = 0;
  std::uint64_t total = 0;
  std::uint32_t crc = 0;
  auto openOutput = [&]() {
    target.emplace(d->folder);
    fd = target->ok() ? target->createFile(d->components) : -1;
    return fd >= 0;
  };
  h.buffer.resize(kBlock);
  for (;;) {
    long n = h.decoder->read(h.buffer.data(), h.buffer.size());
    if (n < 0) {
      error = static_cast<int>(-n);
      break;
    }
    if (n == 0) break;
    auto count = static_cast<std::size_t>(n);
    total += count;
    // More than the header promised is damage, not a reason to write more.
    if (!f.unknownSize && total > f.unpSize) {
      error = ERAR_BAD_DATA;
      break;
    }
    crc = Crc32(std::string_view(reinterpret_cast<const char*>(h.buffer.data()), count), crc);
    if (write) {
      if (fd < 0 && !openOutput()) {
        error = ERAR_ECREATE;
        break;
      }
      if (!WriteAll(fd, std::string_view(reinterpret_cast<const char*>(h.buffer.data()), count))) {
        error = ERAR_EWRITE;
        break;
      }
    }
    if (h.dataProc != nullptr && h.dataProc(h.buffer.data(), static_cast<int>(count)) == -1) {
      error = ERAR_UNKNOWN;
      break;
    }
  }
  h.decoder->finish();
  if (error == 0 && ((!f.unknownSize && total != f.unpSize) || (e.hasCrc && crc != e.crc)))
    error = ERAR_BAD_DATA;
  if (write && error == 0 && fd < 0 && !openOutput()) error = ERAR_ECREATE;
  if (fd >= 0) {
    if (error == 0) ApplyStored(fd, f);
    if (close(fd) != 0 && error == 0) error = ERAR_EWRITE;
    if (error != 0) target->removeFile(d->components);
  }
  return error;
}

int ProcessFile(Handle& h, int operation, const char* destPath, const char* destName) {
  if (!h.current) return ERAR_BAD_ARCHIVE;
  std::size_t index = *h.current;
  h.current.reset();
  // Skipping costs nothing here: a solid decoder catches up when a later
  // entry is read.
  if (operation != RAR_TEST && operation != RAR_EXTRACT) return 0;
  const bool write = operation == RAR_EXTRACT;
  const Entry& e = h.catalog.entry(index);
  if (e.header.directory) return write ? ExtractFolder(h, e, destPath, destName) : 0;
  // Neither decoder decrypts: the entry fails alone, the others go on.
  if (e.header.encrypted) return ERAR_BAD_DATA;
  // Links are never made: one could point anywhere.
  if (write && e.header.link) return ERAR_ECREATE;
  return ProcessData(h, index, write, destPath, destName);
}

void StampFolders(Handle& h) {
  // Stamped at the end: every file written into a folder changes its time.
  for (const FolderStamp& folder : h.folders) {
    extract::TargetFolder target(folder.target);
    if (target.ok()) target.setFolderTime(folder.components, folder.mtime);
  }
}

void ConnectVolumes(Handle* h) {
  h->catalog.setVolumeHandlers(
      [h](const std::string& expected) -> std::optional<std::string> {
        if (h->volumeProc == nullptr) return std::nullopt;
        char buffer[kVolumeNameBuffer];
        CopyCut(buffer, sizeof buffer, expected);
        if (h->volumeProc(buffer, RAR_VOL_ASK) <= 0) return std::nullopt;
        buffer[kVolumeNameBuffer - 1] = '\0';
        return std::string(buffer);
      },
      [h](const std::string& path) {
        if (h->volumeProc == nullptr) return true;
        char buffer[kVolumeNameBuffer];
        CopyCut(buffer, sizeof buffer, path);
        return h->volumeProc(buffer, RAR_VOL_NOTIFY) > 0;
      });
}

}  // namespace

}  // namespace pagemoor::rar

using pagemoor::rar::Handle;
using pagemoor::rar::Lookup;

PAGEMOOR_UNRAR_EXPORT void* RAROpenArchive(RAROpenArchiveData* data) {
  if (data == nullptr) return nullptr;
  data->CmtSize = 0;
  data->CmtState = 0;
  try {
    if (data->ArcName == nullptr) {
      data->OpenResult = ERAR_EOPEN;
      return nullptr;
    }
    auto h = std::make_unique<Handle>();
    pagemoor::rar::ConnectVolumes(h.get());
    if (int r = h->catalog.open(data->ArcName)) {
      data->OpenResult = static_cast<unsigned>(r);
      return nullptr;
    }
    pagemoor::rar::FillComment(h->catalog.archiveComment(), data->CmtBuf, data->CmtBufSize, data->CmtSize,
                               data->CmtState);
    std::lock_guard<std::mutex> lock(pagemoor::rar::g_handlesMutex);
    pagemoor::rar::g_handles.insert(h.get());
    data->OpenResult = 0;
    return h.release();
  } catch (const std::bad_alloc&) {
    data->OpenResult = ERAR_NO_MEMORY;
  } catch (...) {
    data->OpenResult = ERAR_BAD_ARCHIVE;
  }
  return nullptr;
}

PAGEMOOR_UNRAR_EXPORT int RARCloseArchive(void* handle) {
  Handle* h = Lookup(handle);
  if (h == nullptr) return ERAR_ECLOSE;
  {
    std::lock_guard<std::mutex> lock(pagemoor::rar::g_handlesMutex);
    pagemoor::rar::g_handles.erase(h);
  }
  try {
    pagemoor::rar::StampFolders(*h);
  } catch (...) {
  }
  delete h;
  return 0;
}

PAGEMOOR_UNRAR_EXPORT int RARReadHeader(void* handle, RARHeaderData* data) {
  Handle* h = Lookup(handle);
  if (h == nullptr || data == nullptr) return ERAR_BAD_ARCHIVE;
  try {
    h->current.reset();
    if (h->ended) return ERAR_END_ARCHIVE;
    if (int r = h->catalog.need(h->next)) {
      // Reported once; the archive ends there.
      h->ended = true;
      return r;
    }
    pagemoor::rar::FillHeader(*h, h->catalog.entry(h->next), *data);
    h->current = h->next++;
    return 0;
  } catch (const std::bad_alloc&) {
    return ERAR_NO_MEMORY;
  } catch (...) {
    return ERAR_BAD_ARCHIVE;
  }
}

PAGEMOOR_UNRAR_EXPORT int RARProcessFile(void* handle, int operation, char* destPath, char* destName) {
  Handle* h = Lookup(handle);
  if (h == nullptr) return ERAR_BAD_ARCHIVE;
  try {
    return pagemoor::rar::ProcessFile(*h, operation, destPath, destName);
  } catch (const std::bad_alloc&) {
    return ERAR_NO_MEMORY;
  } catch (...) {
    return ERAR_BAD_DATA;
  }
}

PAGEMOOR_UNRAR_EXPORT void RARSetChangeVolProc(void* handle, CHANGEVOLPROC proc) {
  if (Handle* h = Lookup(handle)) h->volumeProc = proc;
}

PAGEMOOR_UNRAR_EXPORT void RARSetProcessDataProc(void* handle, PROCESSDATAPROC proc) {
  if (Handle* h = Lookup(handle)) h->dataProc = proc;
}

PAGEMOOR_UNRAR_EXPORT void RARSetPassword(void* handle, char* password) {
  Handle* h = Lookup(handle);
  if (h == nullptr) return;
  try {
    h->password = password != nullptr ? password : "";
  } catch (...) {
  }
}
