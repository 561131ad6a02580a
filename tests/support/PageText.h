// Page text built from repeated pieces, for the tests that feed the page
// model and the pane pages far larger or deeper than any magazine writes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pagemoor::test {

inline std::string Repeat(std::string_view unit, std::size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

// open `levels` times, then middle, then close as many times.
inline std::string Nested(std::string_view open, std::string_view close, std::size_t levels,
                          std::string_view middle) {
  return Repeat(open, levels) + std::string(middle) + Repeat(close, levels);
}

}  // namespace pagemoor::test
