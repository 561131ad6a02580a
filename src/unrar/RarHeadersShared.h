// What the RAR 4 and RAR 5 readers of RarHeaders.h share; not for callers.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

#include "unrar/RarHeaders.h"

namespace pagemoor::rar::detail {

inline constexpr std::string_view kRar4Signature("Rar!\x1a\x07\x00", 7);
inline constexpr std::string_view kRar5Signature("Rar!\x1a\x07\x01\x00", 8);

inline constexpr std::uint32_t kUnixTypeMask = 0170000;
inline constexpr std::uint32_t kUnixLink = 0120000;

// a + b, or nothing on overflow.
inline bool AddOffsets(std::uint64_t a, std::uint64_t b, std::uint64_t& sum) {
  if (b > std::numeric_limits<std::uint64_t>::max() - a) return false;
  sum = a + b;
  return true;
}

// Where a stored comment's text ends: the declared unpacked size, or the
// bytes there are; then its check value decides Stored or Damaged.
void FinishStoredComment(Comment& comment);

}  // namespace pagemoor::rar::detail
