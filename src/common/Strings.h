// String helpers with the exact rules the rest of the system relies on.
// All text is UTF-8. "Blank" means the space character (code 32) only.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

// Removes leading, then trailing spaces (code 32 only; tabs stay).
std::string TrimBlanks(std::string_view text);

// Removes leading and trailing blanks and control characters (codes 0..32).
std::string TrimControls(std::string_view text);

// The first n characters (code points), the whole text when shorter.
std::string LeftChars(std::string_view text, long n);

// The last n characters when n is less than the length, else the whole text.
std::string RightChars(std::string_view text, long n);

// Characters before the first space; the whole text without a space; empty
// when the text begins with a space.
std::string FirstWord(std::string_view text);

// Case-insensitive replace. Matching upper-cases both sides (ASCII and the
// letters with diacritics of the Central European code page); the output keeps
// the case of unmatched characters. With all set, every occurrence in the
// remaining text is replaced (the replacement is never searched again). An
// empty find changes nothing.
void ReplaceText(std::string& text, std::string_view find, std::string_view replacement, bool all);
std::string ReplacedText(std::string_view text, std::string_view find, std::string_view replacement,
                         bool all = true);

// Splits at every occurrence of separator (case-sensitive). Pieces before a
// separator are trimmed of blanks and control characters and kept even when
// empty; the last piece is kept untrimmed when it is not empty after trimming.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);

// Every line break (CR LF, LF or CR) made one blank: for text that must stay
// on one line of a file.
std::string LineBreaksToBlanks(std::string_view text);

// The lines of a text file: they end with CR LF, CR or LF; a line end at the
// very end does not start another line.
std::vector<std::string> SplitLines(std::string_view text);

// Text from outside (an archive's entry names) made safe for one log line:
// control characters (codes 0..31 and 127) become \n, \r, \t or \xNN, so a
// name cannot end the line and forge the next one. Everything else, UTF-8
// included, stays as it is.
std::string EscapeControls(std::string_view text);

// True exactly when the text in upper case (ASCII) is one of the yes words.
bool TextToBool(std::string_view text);

// Splits a path at its last separator ('\' or '/'): folder keeps the separator.
// Without a separator the folder is empty and the whole path is the name.
struct PathParts {
  std::string folder;
  std::string name;
};
PathParts SplitPath(std::string_view path);

// ASCII-only case conversion, as the system's rules use it.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

// Upper case for comparisons: ASCII letters and the Latin letters with
// diacritics (Latin-1 supplement and Latin Extended-A). The byte length of
// the text never changes, so positions in the folded text are positions in
// the original.
std::string FoldCase(std::string_view text);

// Case-insensitive equality under FoldCase.
bool SameText(std::string_view a, std::string_view b);

bool StartsWithText(std::string_view text, std::string_view prefix);  // case-insensitive
bool EndsWithText(std::string_view text, std::string_view suffix);    // case-insensitive

// Integer conversion as the system uses it: optional sign and decimal digits,
// surrounding blanks allowed; anything else (or overflow) gives no value.
bool TryParseInt(std::string_view text, long long& value);
long long StrToIntDef(std::string_view text, long long fallback);

// A conversion the rules let fail loudly: text that is no integer of the
// 32-bit range. The message is "'TEXT' is not a valid integer value".
class ConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
int StrToInt(std::string_view text);

// Fills %s, %d and %% in format from args in order ("%s" and "%d" both take
// the next argument as text). Missing arguments leave the specifier as it is.
std::string FormatText(std::string_view format, const std::vector<std::string>& args);

// Number of code points (invalid bytes count one each).
std::size_t CharCount(std::string_view text);

// File-name masks, letters compared in ASCII lower case, by characters (not
// bytes): '*' takes any run of characters, '?' one character.
bool MatchesMask(std::string_view name, std::string_view mask);
// A DOS mask: as above, and a mask that ends in ".*" also takes names without
// any dot ("*.*" takes every name, "readme.*" takes "README"); empty takes all.
bool MatchesDosMask(std::string_view fileName, std::string_view mask);

}  // namespace pagemoor
