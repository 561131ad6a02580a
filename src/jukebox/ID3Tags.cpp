#include "jukebox/ID3Tags.h"

// Placeholder until the reader lands.
namespace pagemoor {
bool TID3v1Tag::ReadFromFile(const std::string&) { return false; }
bool TID3v1Tag::ReadFromBytes(std::string_view) { return false; }
bool TID3v1Tag::ReadFromBlock(std::string_view) { return false; }
const std::string& GenreName(int) { static const std::string none; return none; }
}  // namespace pagemoor
