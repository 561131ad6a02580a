// RAR header reading from arbitrary bytes: the bytes as they are, and behind
// a RAR 4 and a RAR 5 signature, read block by block with every name and
// comment looked at. No crash, no hang, every block inside the bytes, no
// allocation beyond what the bytes can hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "unrar/RarHeaders.h"

namespace {

using namespace pagemoor::rar;

constexpr std::string_view kPrefixes[] = {
    {},
    std::string_view("Rar!\x1a\x07\x00", 7),
    std::string_view("Rar!\x1a\x07\x01\x00", 8),
};

void Check(bool condition) {
  if (!condition) std::abort();
}

void LookAt(const Comment& comment, std::uint64_t size) {
  // Texts come from the bytes, never from a declared size.
  Check(comment.text.size() <= size && comment.packed.size() <= size);
  Check(comment.text.size() <= kMaxCommentBytes && comment.packed.size() <= kMaxCommentBytes);
}

void ReadAll(std::string_view bytes) {
  MemorySource source(bytes);
  HeaderReader reader(source);
  if (reader.open() != ReadStatus::Ok) return;
  LookAt(reader.main().comment, bytes.size());
  Block block;
  std::uint64_t last = 0;
  while (reader.next(block) == ReadStatus::Ok) {
    // Blocks move forward and start inside the bytes.
    Check(block.offset >= last && block.offset < bytes.size() && block.next > block.offset);
    last = block.next;
    LookAt(block.comment, bytes.size());
    if (block.kind == BlockKind::File || block.kind == BlockKind::Service) {
      const FileHeader& f = block.file;
      Check(f.rawName.size() <= bytes.size());
      Check(f.dataOffset > f.headerOffset);
      // Names are decoded into bounded UTF-8.
      Check(f.name.size() <= 4 * 4096 + 4 * f.rawName.size());
      NextVolumeName(f.name, f.splitAfter);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (std::string_view prefix : kPrefixes) {
    std::string bytes(prefix);
    bytes += input;
    ReadAll(bytes);
  }
  // The packed name form on its own.
  DecodeRar4Name(input.substr(0, 4096), true);
  return 0;
}
