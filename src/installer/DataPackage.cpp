#include "installer/DataPackage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <string_view>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/Strings.h"
#include "installer/ChiefUnzip.h"
#include "installer/RarArc.h"

namespace pagemoor {

namespace {

enum class ArchiveKind { Rar, Zip, Unknown };

// The ZIP end record lies in the last 22 bytes plus at most a 64 KiB comment.
constexpr std::streamoff kZipTailSize = 22 + 65535;

// Decided by content: parts were renamed freely over the years (".001",
// ".dat", no extension), so the name says nothing.
ArchiveKind DetectArchiveKind(const std::string& hostPath) {
  // A part that is a FIFO or a device is no archive, and opening it to look
  // would wait for ever.
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return ArchiveKind::Unknown;
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return ArchiveKind::Unknown;
  char head[7] = {};
  in.read(head, sizeof head);
  const std::string_view start(head, static_cast<std::size_t>(in.gcount()));
  if (start.starts_with(std::string_view("Rar!\x1a\x07", 6)) || start.starts_with("RE~^"))
    return ArchiveKind::Rar;
  if (start.starts_with("PK")) return ArchiveKind::Zip;

  // A self-extracting ZIP begins with its stub; its end record is still at the end.
  in.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0) return ArchiveKind::Unknown;
  const std::streamoff tail = std::min(size, kZipTailSize);
  std::string bytes(static_cast<std::size_t>(tail), '\0');
  in.seekg(size - tail);
  in.read(bytes.data(), tail);
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (bytes.find(std::string_view("PK\x05\x06", 4)) != std::string::npos) return ArchiveKind::Zip;
  return ArchiveKind::Unknown;
}

// More parts than any data package has: a damaged or mistyped count (files=
// 2000000000) would otherwise keep the start-up announcing missing parts for
// hours and write a key for each of them back into the description file.
constexpr long long kMaxParts = 999;

int PartCount(const std::string& descriptionFile) {
  long long count = 0;
  if (!TryParseInt(ReadIniValue(descriptionFile, "uniproject", "files"), count) || count < 1 ||
      count > INT_MAX)
    return 1;
  return static_cast<int>(std::min(count, kMaxParts));
}

}  // namespace

UnpackResult UnpackDataPackage(const std::string& descriptionFile, const std::string& programDir,
                               const std::string& projectDir, TRAR& rar, TChiefUnzip& unzip,
                               const std::function<void(const std::string& text)>& showProgress) {
  UnpackResult result;
  result.partCount = PartCount(descriptionFile);
  result.firstPartValue = ReadIniValue(descriptionFile, "files", "file1");
  // An empty value names the program folder itself, which is no file.
  if (!FileExists(JoinPath(programDir, result.firstPartValue))) return result;
  result.firstPartFound = true;

  for (int i = 1; i <= result.partCount; ++i) {
    const std::string value =
        i == 1 ? result.firstPartValue : ReadIniValue(descriptionFile, "files", "file" + std::to_string(i));
    const std::string archive = JoinPath(programDir, value);
    CreateFolder(projectDir);
    if (showProgress) showProgress("Extracting Data ... Part " + std::to_string(i));
    if (!FileExists(archive)) continue;

    // The extractors get the file as it is on disk, whatever case the
    // description file used.
    const std::string hostPath = ResolveExisting(archive).value_or(archive);
    rar.ArchiveName = hostPath;
    rar.TargetDir = projectDir;
    unzip.ZipFileName = hostPath;
    unzip.TargetDirectory = projectDir;
    int rarStop = 0;
    int zipResult = 0;
    switch (DetectArchiveKind(hostPath)) {
      case ArchiveKind::Rar:
        if (!rar.LoadedDLL()) ++result.rarPartsWithoutLibrary;
        rar.Extract();
        rarStop = rar.StopCode;
        break;
      case ArchiveKind::Zip:
        zipResult = unzip.Unzip();
        break;
      case ArchiveKind::Unknown:
        // A RAR self-extractor carries its signature past the stub, which
        // only the RAR library looks for.
        if (!rar.Extract()) {
          rarStop = rar.StopCode;
          if (rarStop == 0) zipResult = unzip.Unzip();
        }
        break;
    }
    ++result.partsUnpacked;
    if (rarStop == TRAR::kNotEnoughSpace || zipResult == TChiefUnzip::kNotEnoughSpace)
      result.stopped = UnpackResult::Stop::NotEnoughSpace;
    else if (rarStop == TRAR::kHostileArchive || zipResult == TChiefUnzip::kHostileArchive)
      result.stopped = UnpackResult::Stop::HostileArchive;
    if (result.stopped != UnpackResult::Stop::None) {
      result.stoppedPart = value;
      result.stopReason = rarStop != 0 ? rar.StopReason : unzip.StopReason;
      return result;
    }
  }

  if (::chdir(HostPath(projectDir).c_str()) != 0) {
    // The caller goes on in whatever folder it was.
  }
  return result;
}

}  // namespace pagemoor
