// The application's title: the caption of boxes that belong to no window
// (the console's input prompt). "Pagemoor" at start; the viewer makes it the
// project's name.
#pragma once

#include <string>
#include <string_view>

namespace pagemoor {

const std::string& ApplicationTitle();
void SetApplicationTitle(std::string_view title);

}  // namespace pagemoor
