// Text encodings. Text is UTF-8 inside the program; project files are either
// UTF-8 or 8-bit windows-1250 (older magazines), DOS-era archive names are
// code page 852.
#pragma once

#include <string>
#include <string_view>

namespace pagemoor {

enum class TextEncoding { Utf8, Windows1250 };

bool IsValidUtf8(std::string_view bytes);

// Valid UTF-8 is taken as it is, anything else is decoded as windows-1250.
std::string DecodeText(std::string_view bytes);
std::string DecodeText(std::string_view bytes, TextEncoding& detected);

// The encoding DecodeText would pick for these bytes.
TextEncoding DetectEncoding(std::string_view bytes);

std::string Windows1250ToUtf8(std::string_view bytes);
// Characters the code page lacks become '?'.
std::string Utf8ToWindows1250(std::string_view utf8);

std::string Cp852ToUtf8(std::string_view bytes);

// Encodes UTF-8 text for a file in the given encoding.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);

// Strips a leading UTF-8 byte order mark.
std::string_view WithoutBom(std::string_view bytes);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t cp);

// Decodes one code point at pos and advances pos. Returns false (advancing by
// one byte) on an invalid sequence.
bool NextCodePoint(std::string_view text, std::size_t& pos, char32_t& cp);

// --- Text that names its own character set -----------------------------------

// Text that may say which character set it is in (a page's <meta charset>),
// as UTF-8. A UTF-8 byte order mark wins (and goes), whatever the label
// says; then the declared label, when it names a set we know, as browsers
// read them (iso-8859-1 and us-ascii mean windows-1252, which pages written
// on Windows rely on for curly quotes and dashes); otherwise valid UTF-8
// stays and anything else is windows-1250. Invalid UTF-8 becomes U+FFFD, one
// per byte that starts no character. charset receives the name of the set
// used: "utf-8", "windows-1250", "iso-8859-2" or "windows-1252".
std::string DecodeDeclaredText(std::string_view bytes, std::string_view declaredLabel,
                               std::string* charset = nullptr);

// The character a windows-1252 byte stands for; the five bytes it leaves
// undefined keep their C1 code.
char32_t Windows1252ToUnicode(unsigned char byte);

}  // namespace pagemoor
