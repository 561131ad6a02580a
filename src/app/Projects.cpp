#include "app/Projects.h"

#include <dirent.h>

#include <algorithm>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/Strings.h"
#include "common/LogSink.h"

namespace pagemoor {

namespace {

constexpr const char* kLogSource = "System";

bool IsOurProject(const std::string& file) {
  return AsciiLower(ReadIniValue(file, "uniproject", "destination")) == "pagemoor";
}

}  // namespace

std::vector<std::string> MatchingFiles(std::string_view pattern) {
  const PathParts parts = SplitPath(pattern);
  const std::string folder = parts.folder.empty() ? std::string("./") : HostPath(parts.folder);
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (!MatchesMask(name, parts.name)) continue;
    if (!FileExists(JoinPath(folder, name))) continue;
    names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> FindProjects(std::string_view pattern, LogSink& log) {
  log.Log(kLogSource, "Looking for projects ...");
  const std::string folder = SplitPath(pattern).folder;
  std::vector<std::string> projects;
  for (const std::string& name : MatchingFiles(pattern)) {
    const std::string file = folder + name;
    if (IsOurProject(file)) projects.push_back(ReadIniValue(file, "uniproject", "name"));
  }
  return projects;
}

std::string ResolveProject(std::string_view pattern, std::string_view name, LogSink& log) {
  log.Log(kLogSource, "Looking for project's file...");
  const std::string folder = SplitPath(pattern).folder;
  const std::string wanted = AsciiLower(name);
  std::string result = kNoProject;
  for (const std::string& fileName : MatchingFiles(pattern)) {
    const std::string file = folder + fileName;
    if (IsOurProject(file) && AsciiLower(ReadIniValue(file, "uniproject", "name")) == wanted) result = file;
  }
  log.Log(kLogSource, "Project file: " + ExtractFileName(result));
  return result;
}

}  // namespace pagemoor
