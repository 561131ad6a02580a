// The page model's entry points: decoding a page file, preparing its text for
// the engine, and the tokens that stand for what the page wrote. The work is
// done by the markup reader, the include directives, the page builder and
// the image maps, each in a file of its own.
#include "hypertext/PageModel.h"

#include "common/Encoding.h"
#include "hypertext/MarkupReader.h"
#include "hypertext/PageBuilder.h"
#include "hypertext/PageIncludes.h"

namespace pagemoor {
namespace {

std::optional<std::size_t> TokenIndex(std::string_view token, std::string_view prefix) {
  if (!token.starts_with(prefix)) return std::nullopt;
  const std::string_view digits = token.substr(prefix.size());
  // Only the form the tokens are written in: no sign, no leading zero.
  if (digits.empty() || digits.size() > 18 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  std::size_t index = 0;
  for (char c : digits) {
    if (!pagemodel::IsDigit(c)) return std::nullopt;
    index = index * 10 + static_cast<std::size_t>(c - '0');
  }
  return index;
}

}  // namespace

std::string DecodePage(std::string_view bytes, std::string* charset) {
  return DecodeDeclaredText(bytes, pagemodel::DeclaredCharset(bytes), charset);
}

PreparedPage PreparePage(std::string_view html, const IncludeHandler& include) {
  const std::string expanded = pagemodel::ExpandIncludes(html, include);
  return pagemodel::BuildPage(expanded);
}

std::string ReferenceToken(std::size_t index) {
  return "pm:ref/" + std::to_string(index);
}
std::string FormToken(std::size_t index) {
  return "pm:form/" + std::to_string(index);
}

std::optional<std::size_t> ReferenceIndex(std::string_view token) {
  return TokenIndex(token, "pm:ref/");
}
std::optional<std::size_t> FormIndex(std::string_view token) {
  return TokenIndex(token, "pm:form/");
}

}  // namespace pagemoor
