// Turning the references of a page into file paths.
#pragma once

#include <string>
#include <string_view>

namespace pagemoor {

// "%" and two hexadecimal digits become that character; when the reference
// holds "/", a leading "file:///" or "file://" (any case) goes, every "|"
// becomes ":" and every "/" a "\". Old magazines' Windows form, kept as the
// original system produced it; HostPath makes it a host path.
std::string ReferenceToPath(std::string_view reference);

// A reference as a full host path: blanks around it removed, ReferenceToPath,
// then a path that is not absolute (no drive letter and colon, no leading
// "\\", no leading "/") is joined to the folder of the current document, or
// to the base when there is one; "." and ".." steps are resolved. A drive
// letter path cannot exist here and stays unresolved (returned as it is, in
// host form). currentDocument empty: relative to the current folder.
std::string ExpandReference(std::string_view reference, std::string_view currentDocument,
                            std::string_view base = {});

}  // namespace pagemoor
