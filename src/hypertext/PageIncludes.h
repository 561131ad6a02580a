// Include directives: <!--#Name NAME="value" ...--> comments that the
// magazine's include handler replaces with text of its own.
#pragma once

#include <string>
#include <string_view>

#include "hypertext/PageModel.h"

namespace pagemoor::pagemodel {

// Replaces every directive of html with what include returns for it
// (nothing without a handler); other comments stay as written.
std::string ExpandIncludes(std::string_view html, const IncludeHandler& include);

}  // namespace pagemoor::pagemodel
