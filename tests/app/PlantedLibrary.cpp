// A library that a hostile magazine lays beside its program file under the
// RAR library's name. Loaded, it leaves a mark: the file named by
// PAGEMOOR_PLANTED_MARK.
#include <cstdio>
#include <cstdlib>

namespace {

__attribute__((constructor)) void LeaveAMark() {
  const char* path = std::getenv("PAGEMOOR_PLANTED_MARK");
  if (path == nullptr) return;
  if (std::FILE* f = std::fopen(path, "w")) {
    std::fputs("loaded\n", f);
    std::fclose(f);
  }
}

}  // namespace
