#include "hypertext/References.h"

#include <vector>

#include "common/Encoding.h"
#include "common/HostPaths.h"
#include "common/Strings.h"

namespace pagemoor {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Escaped bytes are the characters of the page's code page: a run that is
// not UTF-8 ("%E9" from a windows-1250 page) is read as windows-1250.
void AppendEscapedRun(std::string& out, std::string& run) {
  if (run.empty()) return;
  out += IsValidUtf8(run) ? run : Windows1250ToUtf8(run);
  run.clear();
}

std::string DecodePercents(std::string_view text) {
  std::string out;
  std::string run;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        run.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    AppendEscapedRun(out, run);
    out.push_back(text[i]);
  }
  AppendEscapedRun(out, run);
  return out;
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool HasDriveLetter(std::string_view path) {
  return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
}

bool IsUnc(std::string_view path) {
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

bool IsRooted(std::string_view path) {
  return !path.empty() && (path[0] == '\\' || path[0] == '/');
}

// The root a host path starts with: "//" of a share, "C:/" of a drive, "/",
// or nothing for a relative path.
std::size_t RootLength(std::string_view path) {
  if (path.starts_with("//")) return 2;
  if (HasDriveLetter(path)) return path.size() > 2 && path[2] == '/' ? 3 : 2;
  return path.starts_with('/') ? 1 : 0;
}

// Resolves "." and ".." steps of a host path without touching the disk. A
// path never climbs above its root; a relative one keeps the ".." steps it
// cannot resolve. A path naming a folder keeps its trailing '/'.
std::string ResolveDots(std::string_view path) {
  const std::size_t root = RootLength(path);
  const bool absolute = root > 0;
  std::vector<std::string_view> steps;
  bool folder = false;
  std::size_t pos = root;
  while (pos <= path.size()) {
    std::size_t next = path.find('/', pos);
    if (next == std::string_view::npos) next = path.size();
    const std::string_view step = path.substr(pos, next - pos);
    const bool last = next == path.size();
    folder = last && (step.empty() || step == "." || step == "..");
    if (step == "..") {
      if (!steps.empty() && steps.back() != "..") {
        steps.pop_back();
      } else if (!absolute) {
        steps.push_back(step);
      }
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    pos = next + 1;
  }
  std::string out(path.substr(0, root));
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) out.push_back('/');
    out.append(steps[i]);
  }
  if (folder && !steps.empty()) out.push_back('/');
  return out;
}

// The folder a relative reference starts from, in host form.
std::string StartFolder(std::string_view currentDocument, std::string_view base) {
  const std::string documentFolder = ExtractFilePath(HostPath(currentDocument));
  const std::string basePath = ReferenceToPath(TrimBlanks(base));
  if (basePath.empty()) return documentFolder;
  const std::string hostBase = HostPath(basePath);
  // A base without a folder part names a document beside the current one.
  if (HasDriveLetter(basePath) || IsRooted(basePath)) return ExtractFilePath(hostBase);
  return ExtractFilePath(documentFolder + hostBase);
}

}  // namespace

std::string ReferenceToPath(std::string_view reference) {
  std::string path = DecodePercents(reference);
  if (path.find('/') == std::string::npos) return path;
  for (std::string_view prefix : {"file:///", "file://"}) {
    if (StartsWithText(path, prefix)) {
      path.erase(0, prefix.size());
      break;
    }
  }
  for (char& c : path) {
    if (c == '|') c = ':';
    if (c == '/') c = '\\';
  }
  return path;
}

std::string ExpandReference(std::string_view reference, std::string_view currentDocument,
                            std::string_view base) {
  const std::string path = ReferenceToPath(TrimBlanks(reference));
  // A drive letter or a network share names nothing on this host that could
  // be worked out here; the caller's lookup decides what becomes of it.
  if (HasDriveLetter(path) || IsUnc(path)) return HostPath(path);
  if (IsRooted(path)) return ResolveDots(HostPath(path));
  return ResolveDots(StartFolder(currentDocument, base) + HostPath(path));
}

}  // namespace pagemoor
