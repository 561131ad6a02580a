#include "common/Encoding.h"

#include <array>

namespace pagemoor {

namespace {

// Bytes 0x80..0xFF. The five bytes windows-1250 leaves undefined map to the
// C1 control of the same number, so every byte survives a round trip.
// clang-format off
constexpr std::array<char16_t, 128> kWindows1250 = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

constexpr std::array<char16_t, 128> kCp852 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x016F, 0x0107, 0x00E7,
    0x0142, 0x00EB, 0x0150, 0x0151, 0x00EE, 0x0179, 0x00C4, 0x0106,
    0x00C9, 0x0139, 0x013A, 0x00F4, 0x00F6, 0x013D, 0x013E, 0x015A,
    0x015B, 0x00D6, 0x00DC, 0x0164, 0x0165, 0x0141, 0x00D7, 0x010D,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0104, 0x0105, 0x017D, 0x017E,
    0x0118, 0x0119, 0x00AC, 0x017A, 0x010C, 0x015F, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x011A,
    0x015E, 0x2563, 0x2551, 0x2557, 0x255D, 0x017B, 0x017C, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x0102, 0x0103,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x0111, 0x0110, 0x010E, 0x00CB, 0x010F, 0x0147, 0x00CD, 0x00CE,
    0x011B, 0x2518, 0x250C, 0x2588, 0x2584, 0x0162, 0x016E, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x0143, 0x0144, 0x0148, 0x0160, 0x0161,
    0x0154, 0x00DA, 0x0155, 0x0170, 0x00FD, 0x00DD, 0x0163, 0x00B4,
    0x00AD, 0x02DD, 0x02DB, 0x02C7, 0x02D8, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x02D9, 0x0171, 0x0158, 0x0159, 0x25A0, 0x00A0,
};
// clang-format on

std::string decodeWith(std::string_view bytes, const std::array<char16_t, 128>& table) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) {
    unsigned char b = static_cast<unsigned char>(ch);
    if (b < 0x80)
      out.push_back(ch);
    else
      AppendUtf8(out, table[b - 0x80]);
  }
  return out;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool NextCodePoint(std::string_view text, std::size_t& pos, char32_t& cp) {
  const std::size_t n = text.size();
  unsigned char b0 = static_cast<unsigned char>(text[pos]);
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  }
  int len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    cp = b0;
    ++pos;
    return false;
  }
  if (pos + static_cast<std::size_t>(len) > n) {
    cp = b0;
    ++pos;
    return false;
  }
  char32_t v = cp;
  for (int i = 1; i < len; ++i) {
    unsigned char b = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(i)]);
    if ((b & 0xC0) != 0x80) {
      cp = b0;
      ++pos;
      return false;
    }
    v = (v << 6) | (b & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
    cp = b0;
    ++pos;
    return false;
  }
  cp = v;
  pos += static_cast<std::size_t>(len);
  return true;
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  char32_t cp;
  while (pos < bytes.size()) {
    // Fast path over ASCII.
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    if (!NextCodePoint(bytes, pos, cp)) return false;
  }
  return true;
}

TextEncoding DetectEncoding(std::string_view bytes) {
  return IsValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Windows1250;
}

std::string DecodeText(std::string_view bytes, TextEncoding& detected) {
  detected = DetectEncoding(bytes);
  return detected == TextEncoding::Utf8 ? std::string(bytes) : Windows1250ToUtf8(bytes);
}

std::string DecodeText(std::string_view bytes) {
  TextEncoding ignored;
  return DecodeText(bytes, ignored);
}

std::string Windows1250ToUtf8(std::string_view bytes) {
  return decodeWith(bytes, kWindows1250);
}

std::string Cp852ToUtf8(std::string_view bytes) {
  return decodeWith(bytes, kCp852);
}

std::string Utf8ToWindows1250(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  char32_t cp;
  while (pos < utf8.size()) {
    if (!NextCodePoint(utf8, pos, cp)) {
      out.push_back('?');
      continue;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    char mapped = '?';
    for (std::size_t i = 0; i < kWindows1250.size(); ++i) {
      if (kWindows1250[i] == cp) {
        mapped = static_cast<char>(0x80 + i);
        break;
      }
    }
    out.push_back(mapped);
  }
  return out;
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
  return encoding == TextEncoding::Utf8 ? std::string(utf8) : Utf8ToWindows1250(utf8);
}

std::string_view WithoutBom(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return bytes;
}

}  // namespace pagemoor
