#include "common/Encoding.h"

#include <algorithm>
#include <array>

#include "common/Strings.h"

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

namespace {

// ISO-8859-2 from 0xA0 on (below that it is ASCII).
constexpr std::array<char16_t, 96> kLatin2High = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164,
    0x0179, 0x00AD, 0x017D, 0x017B, 0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102,
    0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170,
    0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

// windows-1252 at 0x80-0x9F; the five unassigned bytes keep their C1 code.
constexpr std::array<char16_t, 32> kWindows1252Low = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

enum class Codec { Utf8, Windows1250, Latin2, Windows1252 };

struct CharsetLabel {
  std::string_view label;
  Codec codec;
};

constexpr std::array<CharsetLabel, 23> kCharsetLabels = {{
    {"utf-8", Codec::Utf8},
    {"utf8", Codec::Utf8},
    {"unicode-1-1-utf-8", Codec::Utf8},
    {"windows-1250", Codec::Windows1250},
    {"cp1250", Codec::Windows1250},
    {"x-cp1250", Codec::Windows1250},
    {"iso-8859-2", Codec::Latin2},
    {"iso8859-2", Codec::Latin2},
    {"iso_8859-2", Codec::Latin2},
    {"latin2", Codec::Latin2},
    {"l2", Codec::Latin2},
    {"csisolatin2", Codec::Latin2},
    {"iso-8859-1", Codec::Windows1252},
    {"iso8859-1", Codec::Windows1252},
    {"iso_8859-1", Codec::Windows1252},
    {"latin1", Codec::Windows1252},
    {"l1", Codec::Windows1252},
    {"windows-1252", Codec::Windows1252},
    {"cp1252", Codec::Windows1252},
    {"x-cp1252", Codec::Windows1252},
    {"us-ascii", Codec::Windows1252},
    {"ascii", Codec::Windows1252},
    {"ansi_x3.4-1968", Codec::Windows1252},
}};

const char* CodecName(Codec codec) {
  switch (codec) {
    case Codec::Utf8:
      return "utf-8";
    case Codec::Windows1250:
      return "windows-1250";
    case Codec::Latin2:
      return "iso-8859-2";
    case Codec::Windows1252:
      return "windows-1252";
  }
  return "utf-8";
}

std::string RepairedUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t start = pos;
    char32_t cp;
    if (NextCodePoint(bytes, pos, cp)) {
      out.append(bytes.substr(start, pos - start));
    } else {
      AppendUtf8(out, 0xFFFD);
    }
  }
  return out;
}

std::string DecodeSingleByte(std::string_view bytes, Codec codec) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else if (b < 0xA0) {
      if (codec == Codec::Windows1252) {
        AppendUtf8(out, kWindows1252Low[b - 0x80]);
      } else {
        // ISO-8859-2 has only invisible controls here; a page that uses these
        // bytes was written in windows-1250 (š, ť, ž at 0x9A, 0x9D, 0x9E).
        AppendUtf8(out, kWindows1250[b - 0x80]);
      }
    } else {
      AppendUtf8(out, codec == Codec::Latin2 ? kLatin2High[b - 0xA0] : b);
    }
  }
  return out;
}

}  // namespace

std::string DecodeDeclaredText(std::string_view bytes, std::string_view declaredLabel, std::string* charset) {
  Codec codec = Codec::Utf8;
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  // A byte order mark leaves no doubt, whatever a <meta> copied from
  // another page says.
  if (bytes.starts_with(kBom)) {
    bytes.remove_prefix(kBom.size());
  } else {
    const std::string declared = AsciiLower(declaredLabel);
    const auto known = std::find_if(kCharsetLabels.begin(), kCharsetLabels.end(),
                                    [&](const CharsetLabel& l) { return l.label == declared; });
    if (known != kCharsetLabels.end()) {
      codec = known->codec;
    } else {
      codec = IsValidUtf8(bytes) ? Codec::Utf8 : Codec::Windows1250;
    }
  }
  if (charset) *charset = CodecName(codec);
  switch (codec) {
    case Codec::Utf8:
      return RepairedUtf8(bytes);
    case Codec::Windows1250:
      return Windows1250ToUtf8(bytes);
    case Codec::Latin2:
    case Codec::Windows1252:
      return DecodeSingleByte(bytes, codec);
  }
  return {};
}

char32_t Windows1252ToUnicode(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252Low[byte - 0x80] : byte;
}

}  // namespace pagemoor
