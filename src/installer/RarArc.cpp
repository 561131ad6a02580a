#include "installer/RarArc.h"

#include <dlfcn.h>

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "common/CommandLine.h"
#include "common/HostPaths.h"
#include "common/Strings.h"
#include "installer/ExtractPaths.h"

namespace pagemoor {

namespace {

// The component whose Extract runs: the library's callbacks are plain C
// functions without a context argument.
thread_local TRAR* t_running = nullptr;

constexpr unsigned kCommentBufferSize = 65535;

int VolumeCallback(char* arcName, int mode) {
  TRAR* rar = t_running;
  if (rar == nullptr || !rar->OnVolumeChange) return 0;
  return rar->OnVolumeChange(*rar, arcName != nullptr ? arcName : "", mode);
}

struct ErrorTexts {
  const char* english;
  const char* czech;
};

const std::map<int, ErrorTexts>& ErrorTable() {
  static const std::map<int, ErrorTexts> table = {
      {10, {"End of archive", "Konec archivu"}},
      {11,
       {"Not enough memory to initialize data structures",
        "Nedostatek paměti pro inicializaci datové oblasti"}},
      {12, {"CRC error, data damaged", "Špatný kontrolní součet. Data jsou pravděpodobně poškozena"}},
      {13, {"File is not valid RAR archive", "Soubor není RAR archivem"}},
      {14, {"Unknown comment format", "Neznámý formát komentáře"}},
      {15, {"File open error", "Chyba při otevírání souboru"}},
      {16, {"File create error", "Chyba při vytváření souboru"}},
      {17, {"File close error", "Chyba při zavírání souboru"}},
      {18, {"Read error", "Chyba při čtení"}},
      {19, {"Write error", "Chyba při zápisu"}},
      {20,
       {"Buffer is too small for comment", "Komentář je moc velký na aktuální zásobník, nebude kompletní"}},
      {50, {"UNRAR.dll not found", "UNRAR.dll nenalezen"}},
      {51, {"Not enough disk space", "Nedostatek místa na disku"}},
      {52,
       {"Archive refused: it unpacks to far more than its size",
        "Archiv odmítnut: rozbalil by se do příliš velkého objemu dat"}},
  };
  return table;
}

// The file name of a header: at most 260 characters, up to the first zero.
std::string HeaderFileName(const RARHeaderData& header) {
  const char* name = header.FileName;
  const char* end = std::find(name, name + sizeof header.FileName, '\0');
  return std::string(name, end);
}

std::string HeaderArcName(const RARHeaderData& header) {
  const char* name = header.ArcName;
  return std::string(name, std::find(name, name + sizeof header.ArcName, '\0'));
}

unsigned long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<unsigned long long>(st.st_size)
                                                               : 0;
}

// Below this much free space a write error is the disk running full.
constexpr unsigned long long kFullDisk = 1 << 20;

}  // namespace

std::vector<std::string> TRAR::LibraryCandidates() {
  const std::string executableDir = ExtractFilePath(ExecutablePath());
  std::vector<std::string> candidates;
  if (!executableDir.empty() && executableDir.front() == '/') {
    candidates.push_back(executableDir + kLibraryName);
    candidates.push_back(executableDir + "../lib/pagemoor/" + kLibraryName);
  }
  candidates.push_back(kLibraryName);
  return candidates;
}

TRAR::TRAR(const std::string& libraryPath) {
  const std::vector<std::string> candidates =
      libraryPath.empty() ? LibraryCandidates() : std::vector<std::string>{libraryPath};
  for (const std::string& candidate : candidates) {
    m_module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_module != nullptr) break;
  }
  if (m_module == nullptr) return;
  m_open = reinterpret_cast<decltype(m_open)>(dlsym(m_module, "RAROpenArchive"));
  m_close = reinterpret_cast<decltype(m_close)>(dlsym(m_module, "RARCloseArchive"));
  m_readHeader = reinterpret_cast<decltype(m_readHeader)>(dlsym(m_module, "RARReadHeader"));
  m_processFile = reinterpret_cast<decltype(m_processFile)>(dlsym(m_module, "RARProcessFile"));
  m_setChangeVolProc = reinterpret_cast<decltype(m_setChangeVolProc)>(dlsym(m_module, "RARSetChangeVolProc"));
  m_setProcessDataProc =
      reinterpret_cast<decltype(m_setProcessDataProc)>(dlsym(m_module, "RARSetProcessDataProc"));
  m_setPassword = reinterpret_cast<decltype(m_setPassword)>(dlsym(m_module, "RARSetPassword"));
  m_loaded = m_open && m_close && m_readHeader && m_processFile && m_setChangeVolProc &&
             m_setProcessDataProc && m_setPassword;
}

TRAR::~TRAR() {
  if (m_module != nullptr) dlclose(m_module);
}

bool TRAR::Extract() {
  if (m_extracting) return false;
  if (!m_loaded) {
    if (OnError) OnError(*this, kLibraryMissing);
    return false;
  }
  if (ArchiveName.empty()) {
    if (OnError) OnError(*this, ERAR_BAD_ARCHIVE);
    return false;
  }
  // An event handler that throws must not leave the component marked busy.
  struct Running {
    TRAR& rar;
    TRAR* outer;
    explicit Running(TRAR& r) : rar(r), outer(t_running) {
      rar.m_extracting = true;
      t_running = &rar;
    }
    ~Running() {
      t_running = outer;
      rar.m_extracting = false;
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
  } running(*this);
  m_position = 0;
  StopCode = 0;
  StopReason.clear();
  m_written = 0;
  m_declared = 0;
  m_guardStop = 0;
  m_archiveBytes = FileSize(ArchiveName);
  return runExtract();
}

bool TRAR::runExtract() {
  std::vector<char> archiveName(ArchiveName.begin(), ArchiveName.end());
  archiveName.push_back('\0');
  std::vector<char> comment(kCommentBufferSize, '\0');
  RAROpenArchiveData open{};
  open.ArcName = archiveName.data();
  open.OpenMode = RAR_OM_EXTRACT;
  open.CmtBuf = comment.data();
  open.CmtBufSize = kCommentBufferSize;
  void* handle = m_open(&open);
  if (open.OpenResult != 0) {
    if (handle != nullptr) m_close(handle);
    if (OnError) OnError(*this, static_cast<int>(open.OpenResult));
    return false;
  }
  if (open.CmtState == 1 && OnComment) {
    auto end = std::find(comment.begin(), comment.end(), '\0');
    OnComment(*this, std::string(comment.begin(), end));
  }
  if (OnVolumeChange) m_setChangeVolProc(handle, VolumeCallback);
  // Always: the callback is where the bytes the library writes are counted.
  m_setProcessDataProc(handle, processDataCallback);

  std::vector<char> destination(TargetDir.begin(), TargetDir.end());
  destination.push_back('\0');
  char* destPath = TargetDir.empty() ? nullptr : destination.data();
  std::vector<char> fileComment(kCommentBufferSize, '\0');
  std::set<std::string> volumes{ArchiveName};
  bool result = true;
  for (;;) {
    RARHeaderData header{};
    header.CmtBuf = fileComment.data();
    header.CmtBufSize = kCommentBufferSize;
    int read = m_readHeader(handle, &header);
    if (read != 0) {
      if (read == ERAR_BAD_DATA) {
        result = false;
        if (OnError) OnError(*this, read);
      }
      break;
    }
    std::string name = HeaderFileName(header);
    // A volume set may unpack to as much as all its volumes together.
    if (const std::string volume = HeaderArcName(header); volumes.insert(volume).second)
      m_archiveBytes += FileSize(volume);
    if (Stop) {
      Stop = false;
      break;
    }
    if (!FilesToExtract.empty() &&
        std::find(FilesToExtract.begin(), FilesToExtract.end(), name) == FilesToExtract.end()) {
      int skip = m_processFile(handle, RAR_SKIP, nullptr, nullptr);
      if (skip != 0) {
        result = false;
        if (OnError) OnError(*this, skip);
        break;
      }
      continue;
    }
    if (OnExtracting) OnExtracting(*this, header);
    if (const int stop = checkRoom(header)) {
      StopCode = stop;
      result = false;
      if (OnExtract) OnExtract(*this, header, false);
      if (OnError) OnError(*this, stop);
      break;
    }
    if ((header.Flags & RHDF_ENCRYPTED) && OnReqPassword) {
      std::string password;
      OnReqPassword(*this, header, password);
      if (!password.empty()) {
        std::vector<char> pw(password.begin(), password.end());
        pw.push_back('\0');
        m_setPassword(handle, pw.data());
      }
    }
    int code = m_processFile(handle, RAR_EXTRACT, destPath, nullptr);
    if (code == ERAR_UNKNOWN && m_guardStop != 0) {
      code = StopCode = m_guardStop;
    } else if (code == ERAR_EWRITE) {
      const auto free = extract::FreeSpaceAt(TargetDir);
      if (free && *free < kFullDisk) {
        code = StopCode = kNotEnoughSpace;
        StopReason = "\"" + m_fileName + "\" did not fit, " + std::to_string(*free) + " bytes free";
      }
    }
    if (OnExtract) OnExtract(*this, header, code == 0);
    if (code != 0) {
      result = false;
      if (OnError) OnError(*this, code);
      if (code != ERAR_ECREATE && code != ERAR_BAD_DATA) break;
    }
  }
  m_close(handle);
  return result;
}

int TRAR::checkRoom(const RARHeaderData& header) {
  m_fileName = EscapeControls(HeaderFileName(header));
  m_fileWritten = 0;
  m_fileRoom = ~0ULL;
  if ((header.Flags & RHDF_DIRECTORY) == RHDF_DIRECTORY) return 0;
  // The header gives the low 32 bits of the size only; the data callback
  // catches a larger file when it outgrows the space measured here.
  const unsigned long long declared = header.UnpSize;
  const unsigned long long limit = extract::OutputLimit(m_archiveBytes);
  m_declared += declared;
  if (m_declared > limit) {
    StopReason = "its files up to \"" + m_fileName + "\" declare " + std::to_string(m_declared) +
                 " bytes, more than the " + std::to_string(limit) + " allowed for " +
                 std::to_string(m_archiveBytes) + " bytes of archive";
    return kHostileArchive;
  }
  if (const auto free = extract::FreeSpaceAt(TargetDir)) {
    if (declared > *free) {
      StopReason = "\"" + m_fileName + "\" needs " + std::to_string(declared) + " bytes, " +
                   std::to_string(*free) + " free";
      return kNotEnoughSpace;
    }
    m_fileRoom = *free;
  }
  return 0;
}

int TRAR::processDataCallback(unsigned char* addr, int size) {
  TRAR* rar = t_running;
  if (rar == nullptr) return 1;
  const auto bytes = static_cast<unsigned long long>(std::max(size, 0));
  rar->m_written += bytes;
  rar->m_fileWritten += bytes;
  const unsigned long long limit = extract::OutputLimit(rar->m_archiveBytes);
  if (rar->m_written > limit) {
    rar->m_guardStop = kHostileArchive;
    rar->StopReason = "its files unpack to more than " + std::to_string(limit) + " bytes, " +
                      std::to_string(extract::kOutputRatio) + " times its size (at \"" + rar->m_fileName +
                      "\")";
    return -1;
  }
  if (rar->m_fileWritten > rar->m_fileRoom) {
    rar->m_guardStop = kNotEnoughSpace;
    rar->StopReason = "\"" + rar->m_fileName + "\" outgrew the " + std::to_string(rar->m_fileRoom) +
                      " bytes free when it began";
    return -1;
  }
  if (!rar->OnProcessData) return 1;
  rar->m_position += size;
  return rar->OnProcessData(*rar, addr, size, static_cast<int>(rar->m_position));
}

std::string TRAR::ErrorTextEnglish(int code) {
  auto it = ErrorTable().find(code);
  return it != ErrorTable().end() ? it->second.english : "Unknown error";
}

std::string TRAR::ErrorTextCzech(int code) {
  auto it = ErrorTable().find(code);
  return it != ErrorTable().end() ? it->second.czech : "Chyba";
}

}  // namespace pagemoor
