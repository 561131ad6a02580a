// TQzUUProcessor: the encoder of attachments. Files go as base64 (the MIME
// alphabet, "=" fill), 45 bytes to a line of 60 characters and CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pagemoor {

class TQzUUProcessor {
 public:
  // Input bytes per line of MIME base64 (60 characters).
  static constexpr std::size_t kBytesPerLine = 45;

  // The bytes as one run of base64 without line breaks.
  static std::string EncodeBase64(std::string_view bytes);
  // The bytes as lines of base64, each ended by CR LF; nothing for no bytes.
  static std::string EncodeMimeLines(std::string_view bytes);
};

}  // namespace pagemoor
