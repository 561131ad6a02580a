// Settings kept as attributes of elements in an XML file, addressed like an
// INI file: an element path ("XML_DEF/playlist") and an attribute name
// ("count"). Element and attribute names are compared with regard to case.
//
// Every call loads the file, works on its own tree and, when it changed
// something, writes the whole file back (atomically, in the encoding the file
// had; a new file is UTF-8). The store is meant for small files such as
// playlists of a few hundred entries.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/XmlTree.h"

namespace pagemoor {

// The file could not be loaded for a change or could not be written.
class XmlWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Stores the value under elementPath/attribute, creating the file, the
// elements and the attribute as needed. The value is stored encoded (see
// EncodeXmlValue). Throws XmlWriteError when the file cannot be read or
// written, or when the path names no element.
void XmlWriteValue(std::string_view file, std::string_view elementPath, std::string_view attribute,
                   std::string_view value);

// The decoded value under elementPath/attribute. A missing attribute gives the
// default (decoded as well), and the default, as given, is written into the
// file under the path. Failing to write it back is not an error: playlists may
// live on read-only media.
std::string XmlReadValue(std::string_view file, std::string_view elementPath, std::string_view attribute,
                         std::string_view defaultValue = "");

// The same on a tree in memory. XmlTreeWriteValue returns false when the path
// names no element (nothing is changed); XmlTreeReadValue sets changed when it
// added the default to the tree.
bool XmlTreeWriteValue(XmlTree& tree, std::string_view elementPath, std::string_view attribute,
                       std::string_view value);
std::string XmlTreeReadValue(XmlTree& tree, std::string_view elementPath, std::string_view attribute,
                             std::string_view defaultValue, bool& changed);

// The stored form of a value: "&amp;" first becomes "&" (so an encoded
// ampersand is not encoded twice), then &, <, > and the double quote become
// entities, and "{ad}" and "{cd}" become the program folder and the root of
// the current drive. Placeholders match without regard to case.
std::string EncodeXmlValue(std::string_view value);

// The value returned for a stored one: "|" becomes CR LF, surrounding blanks
// go, the four entities become characters again ("&amp;" last) and the two
// placeholders are expanded.
std::string DecodeXmlValue(std::string_view stored);

}  // namespace pagemoor
