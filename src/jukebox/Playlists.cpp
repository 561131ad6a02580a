#include "jukebox/Playlists.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "common/HostPaths.h"
#include "common/IniDocument.h"
#include "common/IniFile.h"
#include "common/Strings.h"
#include "common/XmlIni.h"
#include "common/XmlTree.h"

namespace pagemoor {

namespace {

constexpr std::string_view kIniSection = "playlist";
constexpr std::string_view kXmlRoot = "XML_DEF";
constexpr std::string_view kXmlList = "XML_DEF/playlist";
constexpr std::string_view kXmlType = "Plinq";

// Names written on another system: a drive letter ("C:\MUSIC\a.mp3",
// "C:a.mp3") or a network share ("\\server\share"). Nothing of that name can
// exist here; the name is kept so the list shows what the author wrote.
bool IsForeignPath(std::string_view path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') return true;
  return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

// Steps of a host path, without empty and "." steps.
std::vector<std::string_view> PathSteps(std::string_view path) {
  std::vector<std::string_view> steps;
  while (!path.empty()) {
    const std::size_t cut = path.find('/');
    const std::string_view step = path.substr(0, cut);
    if (!step.empty() && step != ".") steps.push_back(step);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return steps;
}

// An entry as the list keeps it: full, and in the letter case of the file
// that exists under that name, so that an entry typed in another case plays.
std::string FullEntry(std::string_view name) {
  std::string full = ExpandFileName(std::string(name));
  if (full.empty() || IsForeignPath(full)) return full;
  if (auto found = ResolveExisting(full)) return *found;
  return full;
}

std::string WithBackslashes(std::string text) {
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// The number in a name made of prefix and decimal digits ("File12",
// "item_3"), or 0 for any other name.
long long NumberAfter(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || !StartsWithText(name, prefix)) return 0;
  const std::string_view digits = name.substr(prefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return 0;
  return StrToIntDef(digits, 0);
}

// How far the numbered entries of a list are read. Every read of a missing
// key writes it back into the file, so a broken count of millions would grow
// the file without end; entries can only lie up to the highest number the
// file holds, and a count within the file's line count (any real list) is
// read in full, gaps and all.
int ReadLimit(int count, long long highestPresent, std::size_t lineCount) {
  const long long limit = std::max<long long>(highestPresent, static_cast<long long>(lineCount));
  return static_cast<int>(std::min<long long>(count, limit));
}

std::vector<std::string> LoadIniList(const std::string& file, const std::string& text) {
  const int count = StrToInt(ReadIniValue(file, kIniSection, "NumberOfEntries"));
  long long highest = 0;
  for (const std::string& key : IniDocument(text).keyNames(kIniSection))
    highest = std::max(highest, NumberAfter(key, "File"));
  const int limit = ReadLimit(count, highest, SplitLines(text).size());

  std::vector<std::string> entries;
  for (int i = 1; i <= limit; ++i) {
    const std::string value = ReadIniValue(file, kIniSection, "File" + std::to_string(i));
    // A missing key reads as blank: there is no entry to show for it.
    if (TrimBlanks(value).empty()) continue;
    entries.push_back(FullEntry(value));
  }
  return entries;
}

std::vector<std::string> LoadPlainList(const std::vector<std::string>& lines) {
  std::vector<std::string> entries;
  for (const std::string& line : lines) {
    // Trailing blanks never reached a file name where these lists were made.
    const std::string_view entry = std::string_view(line).substr(0, line.find_last_not_of(' ') + 1);
    if (entry.empty() || entry.front() == '#') continue;
    entries.push_back(FullEntry(entry));
  }
  return entries;
}

// An item's folder and file name joined; a folder written without its
// trailing separator still names a folder.
std::string JoinEntry(const std::string& folder, const std::string& file) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + file;
  return folder + "\\" + file;
}

// The folder relative to the program folder, in the form the file keeps:
// '\' between steps and at the end, ".." for each step up, empty for the
// program folder itself. A folder that is no full host path is kept whole.
std::string RelativeFolder(const std::string& folder) {
  const std::string base = ExpandFileName(ProgramDir());
  if (IsForeignPath(folder) || folder.empty() || folder.front() != '/' || base.empty() || base.front() != '/')
    return WithBackslashes(folder);
  const std::vector<std::string_view> from = PathSteps(base);
  const std::vector<std::string_view> to = PathSteps(folder);
  std::size_t common = 0;
  while (common < from.size() && common < to.size() && from[common] == to[common]) ++common;
  std::string relative;
  for (std::size_t i = common; i < from.size(); ++i) relative += "..\\";
  for (std::size_t i = common; i < to.size(); ++i) {
    relative.append(to[i]);
    relative += '\\';
  }
  return relative;
}

}  // namespace

std::string ExpandFileName(const std::string& name) {
  if (name.empty() || IsForeignPath(name)) return name;
  std::string path = HostPath(name);
  if (path.front() != '/') {
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    if (!error) path = JoinPath(cwd.string(), path);
  }
  const bool absolute = path.front() == '/';
  const bool folder =
      path.back() == '/' || path.ends_with("/.") || path.ends_with("/..") || path == "." || path == "..";
  std::vector<std::string_view> kept;
  for (std::string_view step : PathSteps(path)) {
    if (step != "..") {
      kept.push_back(step);
    } else if (!kept.empty() && kept.back() != "..") {
      kept.pop_back();
    } else if (!absolute) {
      kept.push_back(step);  // the current folder is unknown: the step up stays
    }
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) result += '/';
    result.append(kept[i]);
  }
  if (folder && !kept.empty()) result += '/';
  return result;
}

std::vector<std::string> LoadPlaylistFile(const std::string& name) {
  const std::string full = ExpandFileName(name);
  if (full.empty() || IsForeignPath(full) || !FileExists(full)) return {};
  const std::string file = ResolveExisting(full).value_or(full);
  const std::optional<std::string> text = ReadTextFile(file);
  if (!text) return {};

  // Line breaks are not blanks here: a list that starts with an empty line
  // is read as a plain list.
  const std::vector<std::string> lines = SplitLines(TrimBlanks(*text));
  if (lines.empty()) return {};
  const std::string& first = lines.front();
  if (!first.empty() && first.front() == '[') return LoadIniList(file, *text);
  if (!first.empty() && first.front() == '<') return LoadXmlPlaylist(file);
  return LoadPlainList(lines);
}

std::vector<std::string> LoadXmlPlaylist(const std::string& name) {
  const std::string full = ExpandFileName(name);
  // Reading writes defaults back: a missing playlist must not be created.
  if (full.empty() || IsForeignPath(full) || !FileExists(full)) return {};
  const std::string file = ResolveExisting(full).value_or(full);

  if (!SameText(XmlReadValue(file, kXmlRoot, "type", kXmlType), kXmlType)) return {};
  const int count = StrToInt(XmlReadValue(file, kXmlList, "count", "1"));
  if (count <= 0) return {};

  long long highest = 0;
  std::size_t lineCount = 0;
  if (const std::optional<std::string> text = ReadTextFile(file)) {
    const XmlTree tree = ParseXml(*text);
    if (const XmlTree::Id list = tree.find(kXmlList); list != XmlTree::kNone)
      for (XmlTree::Id child : tree.element(list).children)
        highest = std::max(highest, NumberAfter(tree.element(child).name, "item_"));
    lineCount = SplitLines(*text).size();
  }
  const int limit = ReadLimit(count, highest, lineCount);

  std::vector<std::string> entries;
  for (int n = 1; n <= limit; ++n) {
    const std::string item = std::string(kXmlList) + "/item_" + std::to_string(n);
    const std::string fileName = XmlReadValue(file, item + "/file", "value");
    const std::string relative =
        FullEntry(JoinEntry(XmlReadValue(file, item + "/rel_path", "value"), fileName));
    if (FileExists(relative)) {
      entries.push_back(relative);
      continue;
    }
    const std::string absolute =
        FullEntry(JoinEntry(XmlReadValue(file, item + "/full_path", "value"), fileName));
    if (FileExists(absolute)) entries.push_back(absolute);
  }
  return entries;
}

void SaveXmlPlaylist(const std::string& name, const std::vector<std::string>& entries) {
  XmlWriteValue(name, kXmlRoot, "type", kXmlType);
  XmlWriteValue(name, kXmlRoot, "data", "Playlist");
  XmlWriteValue(name, kXmlRoot, "author", GetLoginName());
  XmlWriteValue(name, kXmlRoot, "version", "2803");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string item = std::string(kXmlList) + "/item_" + std::to_string(i + 1);
    const std::string entry = ExpandFileName(entries[i]);
    const std::string folder = ExtractFilePath(entry);
    XmlWriteValue(name, item + "/file", "value", ExtractFileName(entry));
    XmlWriteValue(name, item + "/rel_path", "value", RelativeFolder(folder));
    XmlWriteValue(name, item + "/full_path", "value", WithBackslashes(folder));
  }
  XmlWriteValue(name, kXmlList, "count", std::to_string(entries.size()));
}

bool SavePlainPlaylist(const std::string& name, const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) {
    text += entry;
    text += "\r\n";
  }
  return WriteTextFile(name, text);
}

std::vector<std::string> ExpandPlaylistFiles(const std::vector<std::string>& files) {
  std::vector<std::string> entries;
  for (const std::string& file : files) {
    if (!FileExists(file)) continue;
    const std::string ext = AsciiLower(ExtractFileExt(file));
    if (ext != ".pql" && ext != ".m3u" && ext != ".pls") {
      entries.push_back(file);
      continue;
    }
    try {
      const std::vector<std::string> listed = LoadPlaylistFile(file);
      entries.insert(entries.end(), listed.begin(), listed.end());
    } catch (const ConvertError&) {
      // A broken count spoils only its own list; what the other chosen files
      // give is still added.
    }
  }
  return entries;
}

}  // namespace pagemoor
