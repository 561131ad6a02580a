// Arbitrary bytes through the page model: decode them as a page file, prepare
// the text with an include handler, and hit-test every image map found.
//
// Whatever the input, the decoded text is UTF-8, and so is everything the
// prepared page holds: the model only cuts text at ASCII characters.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Encoding.h"
#include "hypertext/PageModel.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "page_fuzz: %s\n", what);
  std::abort();
}

void CheckUtf8(std::string_view text, const char* what) {
  if (!pagemoor::IsValidUtf8(text)) Fail(what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string charset;
  const std::string text = pagemoor::DecodePage(bytes, &charset);
  CheckUtf8(text, "decoded text is not UTF-8");
  if (charset.empty()) Fail("no charset reported");

  // Inserted text holds markup of its own, including a directive that must
  // not be expanded.
  const pagemoor::IncludeHandler include = [&](const std::string& command,
                                               const std::vector<std::string>& params) {
    CheckUtf8(command, "command is not UTF-8");
    for (const std::string& param : params) CheckUtf8(param, "parameter is not UTF-8");
    return std::string("<b>") + command + "</b><a href=\"in.htm\"><!--#Date-->";
  };
  const pagemoor::PreparedPage page = pagemoor::PreparePage(text, include);
  CheckUtf8(page.html, "html is not UTF-8");
  CheckUtf8(page.title, "title is not UTF-8");
  CheckUtf8(page.base, "base is not UTF-8");
  for (const pagemoor::PageReference& reference : page.references) {
    CheckUtf8(reference.raw, "reference is not UTF-8");
    if (reference.map >= static_cast<int>(page.maps.size())) Fail("reference names a missing map");
  }
  for (const pagemoor::SoundRequestInfo& sound : page.sounds) CheckUtf8(sound.src, "sound is not UTF-8");
  for (const pagemoor::FormControl& control : page.controls)
    CheckUtf8(control.value, "control value is not UTF-8");

  // Points from the corners of the coordinates' range and from the input.
  const int points[][2] = {{0, 0},
                           {-1, -1},
                           {2147483647, 2147483647},
                           {-2147483647 - 1, 5},
                           {static_cast<int>(size), static_cast<int>(size / 2)}};
  for (const pagemoor::ImageMap& map : page.maps) {
    for (const auto& point : points) {
      const std::optional<std::string> href = pagemoor::HitTestMap(map, point[0], point[1]);
      if (href && href->empty()) Fail("a hit gave an empty href");
    }
    for (const pagemoor::MapArea& area : map.areas)
      if (area.coords.size() >= 2) pagemoor::HitTestMap(map, area.coords[0], area.coords[1]);
  }
  return 0;
}
