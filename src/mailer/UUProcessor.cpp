#include "mailer/UUProcessor.h"

#include <algorithm>

namespace pagemoor {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendBase64(std::string& out, std::string_view bytes) {
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0) return;
  unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
  if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
  out += kAlphabet[v >> 18 & 63];
  out += kAlphabet[v >> 12 & 63];
  out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
  out += '=';
}

}  // namespace

std::string TQzUUProcessor::EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  AppendBase64(out, bytes);
  return out;
}

std::string TQzUUProcessor::EncodeMimeLines(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + kBytesPerLine - 1) / kBytesPerLine * 62);
  for (std::size_t at = 0; at < bytes.size(); at += kBytesPerLine) {
    AppendBase64(out, bytes.substr(at, std::min(kBytesPerLine, bytes.size() - at)));
    out += "\r\n";
  }
  return out;
}

}  // namespace pagemoor
