// The page builder: reads a page's markup once, front to back, and writes
// the page the engine gets, recording every reference, sound, map, form
// control, the body's colours, the base and the title on the way.
#pragma once

#include <string_view>

#include "hypertext/PageModel.h"

namespace pagemoor::pagemodel {

// The prepared page for text whose include directives are already expanded.
PreparedPage BuildPage(std::string_view text);

}  // namespace pagemoor::pagemodel
