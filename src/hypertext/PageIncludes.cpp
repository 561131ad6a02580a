#include "hypertext/PageIncludes.h"

#include <algorithm>
#include <vector>

#include "common/Strings.h"
#include "hypertext/MarkupReader.h"

namespace pagemoor::pagemodel {

namespace {

bool ParseDirective(std::string_view body, std::string& command, std::vector<std::string>& params) {
  if (body.size() < 2 || body[0] != '#' || !IsLetter(body[1])) return false;
  std::size_t i = 1;
  while (i < body.size() && IsLetter(body[i])) ++i;
  if (i < body.size() && !IsSpace(body[i])) return false;
  command = std::string(body.substr(1, i - 1));
  const std::size_t n = body.size();
  while (i < n) {
    while (i < n && IsSpace(body[i])) ++i;
    if (i >= n) break;
    const std::size_t nameBegin = i;
    while (i < n && !IsSpace(body[i]) && body[i] != '=') ++i;
    const std::string_view name = body.substr(nameBegin, i - nameBegin);
    std::string_view value;
    std::size_t j = i;
    while (j < n && IsSpace(body[j])) ++j;
    if (j < n && body[j] == '=') {
      ++j;
      while (j < n && IsSpace(body[j])) ++j;
      if (j < n && (body[j] == '"' || body[j] == '\'')) {
        const char quote = body[j];
        std::size_t close = body.find(quote, j + 1);
        if (close == npos) close = n;
        value = body.substr(j + 1, close - j - 1);
        i = close == n ? n : close + 1;
      } else {
        const std::size_t valueBegin = j;
        while (j < n && !IsSpace(body[j])) ++j;
        value = body.substr(valueBegin, j - valueBegin);
        i = j;
      }
    }
    if (name.empty()) {  // a stray '=': nothing to name
      i = std::max(i, nameBegin + 1);
      continue;
    }
    std::string param = AsciiUpper(name);
    param += "=\"";
    param.append(value);
    param += '"';
    params.push_back(std::move(param));
  }
  return true;
}

}  // namespace

// Directives are replaced before the page is read as HTML, so what a handler
// returns is read like the rest of the page but never looked at for
// directives again.
std::string ExpandIncludes(std::string_view html, const IncludeHandler& include) {
  std::string out;
  out.reserve(html.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = html.find("<!--", pos);
    const std::size_t close = open == npos ? npos : html.find("-->", open + 4);
    if (close == npos) {
      out.append(html.substr(pos));
      return out;
    }
    out.append(html.substr(pos, open - pos));
    std::string command;
    std::vector<std::string> params;
    if (ParseDirective(html.substr(open + 4, close - open - 4), command, params)) {
      if (include) out += include(command, params);
    } else {
      out.append(html.substr(open, close + 3 - open));
    }
    pos = close + 3;
  }
}

}  // namespace pagemoor::pagemodel
