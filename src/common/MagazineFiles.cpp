#include "common/MagazineFiles.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>

#include "common/HostPaths.h"

namespace pagemoor {

namespace {

// Refusals logged before the reading's log exists (the start-up reads the
// project's INI files first) wait here; more than this is one magazine
// repeating itself.
constexpr std::size_t kMaxWaitingLines = 64;

struct State {
  std::mutex mutex;
  bool confined = false;
  std::vector<std::string> chosen;  // resolved paths the reader picked
  std::function<void(const std::string&)> log;
  std::deque<std::string> waiting;
};

State& state() {
  static State s;
  return s;
}

// A newline in a name a page wrote must not start a forged line of the log.
std::string Printable(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void SetMagazineConfinement(bool on) {
  std::lock_guard lock(state().mutex);
  state().confined = on;
  if (!on) state().chosen.clear();
}

bool MagazineConfinement() {
  std::lock_guard lock(state().mutex);
  return state().confined;
}

namespace {

struct Location {
  PlaceOfFile place = PlaceOfFile::Missing;
  std::string path;  // what to open: the resolved path once confinement is on
};

Location Locate(std::string_view path) {
  const std::optional<std::string> existing = ResolveExisting(path);
  if (!existing) return {};
  std::vector<std::string> chosen;
  {
    std::lock_guard lock(state().mutex);
    if (!state().confined) return {PlaceOfFile::Inside, *existing};
    chosen = state().chosen;
  }
  const std::optional<std::string> real = RealPath(*existing);
  // A dangling link: whatever it names is not there.
  if (!real) return {};
  // The program folder is allowed because development mode reads the
  // project from there and the start-up reads the description file beside
  // the program; a program lying in "/" would allow everything, so it
  // allows nothing.
  for (const std::string& folder : {ProjectDir(), ProgramDir()}) {
    const std::optional<std::string> root = RealPath(folder);
    if (root && *root != "/" && IsWithinFolder(*real, *root)) return {PlaceOfFile::Inside, *real};
  }
  for (const std::string& root : chosen)
    if (IsWithinFolder(*real, root)) return {PlaceOfFile::Inside, *real};
  return {PlaceOfFile::Outside, *real};
}

}  // namespace

PlaceOfFile WhereIs(std::string_view path) {
  return Locate(path).place;
}

void AllowReaderChoice(std::string_view path) {
  std::optional<std::string> real;
  if (const std::optional<std::string> existing = ResolveExisting(path)) {
    real = RealPath(*existing);
  } else if (const std::optional<std::string> folder = ResolveExisting(ExtractFilePath(HostPath(path)))) {
    // A file about to be saved: it will lie where its folder leads.
    if (const std::optional<std::string> realFolder = RealPath(*folder))
      real = IncludeTrailingSeparator(*realFolder) + ExtractFileName(path);
  }
  if (!real) return;
  std::lock_guard lock(state().mutex);
  for (const std::string& root : state().chosen)
    if (IsWithinFolder(*real, root)) return;
  state().chosen.push_back(*real);
}

std::optional<std::string> ReadMagazineFile(std::string_view path, FileKind kind) {
  const Location found = Locate(path);
  switch (found.place) {
    case PlaceOfFile::Missing:
      return std::nullopt;
    case PlaceOfFile::Outside:
      LogFileRefusal(path, FileRefusal::Outside, kind);
      return std::nullopt;
    case PlaceOfFile::Inside:
      break;
  }
  // The resolved path is opened, not the name: a link swapped in after the
  // check would otherwise lead out again.
  FileRefusal why = FileRefusal::None;
  std::optional<std::string> bytes = ReadFileBytes(found.path, kind, &why);
  if (!bytes) LogFileRefusal(path, why, kind);
  return bytes;
}

void LogFileRefusal(std::string_view path, FileRefusal why, FileKind kind) {
  std::string reason;
  switch (why) {
    case FileRefusal::None:
    case FileRefusal::Unreadable:
      return;
    case FileRefusal::Outside:
      reason = "it lies outside the magazine";
      break;
    case FileRefusal::NotRegular:
      reason = "it is not a regular file";
      break;
    case FileRefusal::TooLarge:
      reason = "it is larger than " + std::to_string(FileSizeCap(kind) >> 20) + " MB";
      break;
  }
  const std::string line = "File \"" + Printable(HostPath(path)) + "\" not read: " + reason;
  std::function<void(const std::string&)> log;
  {
    std::lock_guard lock(state().mutex);
    if (!state().log) {
      if (state().waiting.size() < kMaxWaitingLines) state().waiting.push_back(line);
      return;
    }
    log = state().log;
  }
  log(line);
}

void SetFileRefusalLog(std::function<void(const std::string&)> log) {
  std::deque<std::string> waiting;
  {
    std::lock_guard lock(state().mutex);
    state().log = log;
    if (log) waiting.swap(state().waiting);
  }
  for (const std::string& line : waiting) log(line);
}

}  // namespace pagemoor
