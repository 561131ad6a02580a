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

}  // namespace pagemoor::bench
