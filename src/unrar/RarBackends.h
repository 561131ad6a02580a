// The decoders behind the library, each used where it is strong:
// - unarr for single RAR 2.0 to 4.x archives, solid ones included;
// - libarchive for RAR 5 and for RAR 4 volume sets (given every volume).
// Both sit behind Decoder: begin an entry of the catalog, read its bytes in
// blocks. The catalog (our own header reader) decides which entry is which;
// a decoder only turns packed data into bytes.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "unrar/RarCatalog.h"

namespace pagemoor::rar {

class Decoder {
 public:
  virtual ~Decoder() = default;
  // Starts entry `index` of the catalog (a file, not encrypted, complete);
  // the entries before it that were not read are decoded and dropped where
  // the archive is solid. 0 or an ERAR_ code.
  virtual int begin(std::size_t index) = 0;
  // The next bytes of the entry: a count, 0 at its end, or minus an ERAR_ code.
  virtual long read(unsigned char* buffer, std::size_t size) = 0;
  // Done with the entry, whether it was read to its end or not.
  virtual void finish() = 0;
};

// The decoder for the catalog's archive; it keeps a reference to it.
std::unique_ptr<Decoder> MakeDecoder(Catalog& catalog);

// The text of a packed RAR 4 comment, or nothing when it cannot be decoded
// (RAR 1.5 packing, damaged data).
std::optional<std::string> UnpackComment(const Comment& comment);

}  // namespace pagemoor::rar
