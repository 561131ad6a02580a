// Shared bits of the benchmark programs.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace pagemoor::bench {

// A fresh folder for one benchmark program, with a trailing '/'. The caller
// removes it when done.
inline std::string MakeBenchFolder() {
  std::string t = std::filesystem::temp_directory_path().string() + "/pagemoor-bench-XXXXXX";
  if (!mkdtemp(t.data())) std::abort();
  return t + "/";
}

// The folder of a benchmark program, removed with everything in it when the
// program ends.
inline const std::string& BenchFolder() {
  struct Folder {
    std::string path = MakeBenchFolder();
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  };
  static Folder folder;
  return folder.path;
}

}  // namespace pagemoor::bench
