// The text rules of outgoing mail: what a typed value may carry into a header
// line or an SMTP command, how body lines are cut and escaped, and the
// encodings of text that is not 7-bit (quoted-printable bodies, encoded words
// in headers, both UTF-8).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

// The longest text line SMTP carries, without its CR LF and a stuffed dot.
inline constexpr std::size_t kMaxSmtpLine = 998;
// The longest line of quoted-printable text, a soft break included.
inline constexpr std::size_t kMaxQuotedPrintableLine = 76;

// True when no byte is above 127.
bool IsSevenBit(std::string_view text);

// Each run of CR and LF made one blank, so a typed value cannot start a new
// header line.
std::string CleanHeaderValue(std::string_view text);
// CR and LF dropped, so a typed value cannot end an SMTP command early.
std::string CleanCommandArgument(std::string_view text);

// The lines of a mail body. Each entry is a line; a line break inside it
// (CR LF, LF or a lone CR) starts another line; one break at the very end of
// an entry only ends that entry's line.
std::vector<std::string> BodyLines(const std::vector<std::string>& entries);

// A line as it goes on the wire inside DATA: one more "." in front of a line
// that begins with ".", so no line of the text can end the data early.
std::string DotStuffed(std::string_view line);

// The line cut into pieces of at most `limit` bytes (one empty piece for an
// empty line).
std::vector<std::string> BreakLine(std::string_view line, std::size_t limit = kMaxSmtpLine);

// One line of text as quoted-printable lines: '=', control characters, bytes
// above 126 and a blank or tab at the end become "=XX"; a line longer than 76
// characters is cut with soft breaks ("=" at the end of every piece but the
// last). The pieces have no CR LF.
std::vector<std::string> QuotedPrintableLines(std::string_view line);

// Header text: unchanged when 7-bit and the line stays within 998
// characters; a longer 7-bit text folded before its blanks (CR LF in front of
// a blank) into lines of about 78. Text that is not 7-bit, or a 7-bit word too
// long for any line, becomes UTF-8 encoded words in base64
// ("=?UTF-8?B?...?="), never splitting a character, folded with CR LF and a
// blank so no line is longer than 76 characters. `used` is the number of
// characters already on the first line ("Subject: " = 9).
std::string EncodeHeaderText(std::string_view text, std::size_t used);

// A name before an address in a header: encoded words when it is not 7-bit;
// a 7-bit name with a character that would end or split it (a comma, a colon,
// a quote...) in double quotes; else as it is. Blanks around it stay.
// `used` as for EncodeHeaderText.
std::string EncodeDisplayName(std::string_view name, std::size_t used);

// A recipient entry for a To or CC line: the name before "<" as
// EncodeDisplayName makes it; the address stays as typed.
std::string EncodeAddressEntry(std::string_view entry);

// A To or CC header line: `name` ("To: ") and the entries joined with ",".
// A list too long for one line of 998 characters is folded after its commas
// (CR LF and a blank) into lines of about 78.
std::string AddressListLine(std::string_view name, const std::vector<std::string>& entries);

}  // namespace pagemoor
