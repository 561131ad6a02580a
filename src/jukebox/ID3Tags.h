// ID3v1 tags: the last 128 bytes of an MP3 file.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace pagemoor {

class TID3v1Tag {
 public:
  // The size of the block at the end of the file.
  static constexpr std::size_t kBlockSize = 128;

  // No tag.
  TID3v1Tag() = default;

  // Each returns Exists and replaces everything read before. A missing file
  // or one shorter than 128 bytes has no tag. Text fields are cut at their
  // first zero byte, stripped of trailing blanks and control characters, and
  // decoded (valid UTF-8 stays, anything else is windows-1250).
  bool ReadFromFile(const std::string& path);
  // An open stream whose content is size bytes long from its start; its last
  // 128 bytes are read.
  bool ReadFromStream(std::istream& stream, std::uint64_t size);
  // The whole file's bytes (its last 128 bytes are read).
  bool ReadFromBytes(std::string_view fileBytes);
  // Exactly the 128-byte block; any other length has no tag.
  bool ReadFromBlock(std::string_view block);

  bool Exists = false;
  std::string Title, Artist, Album, Year, Comment;
  bool Version11 = false;  // 1.1: byte 125 is 0 and byte 126 holds the track
  int Track = 0;           // 0 when none
  int GenreCode = 0;       // 0..255
  std::string Genre;       // empty for codes of 148 and above
};

// The genre table: 148 names, the code being the position. Any other code
// gives an empty name.
inline constexpr int kGenreCount = 148;
const std::string& GenreName(int code);

}  // namespace pagemoor
