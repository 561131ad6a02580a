#include "unrar/RarBackends.h"

#include <archive.h>
#include <archive_entry.h>
#include <unarr.h>

#include <algorithm>
#include <vector>

#include "unrar/unrar.h"

namespace pagemoor::rar {

namespace {

constexpr std::size_t kBlock = 64 * 1024;

// unarr: single RAR 2.0 to 4.x archives. Entries are found by the offset of
// their header, which our catalog knows; in a solid archive the entries
// before the wanted one are decoded in order and dropped, so the decoder's
// window is always the one the packer had.
class UnarrDecoder : public Decoder {
 public:
  explicit UnarrDecoder(Catalog& catalog) : m_catalog(catalog) {
    m_stream = ar_open_file(catalog.volumes().front().path.c_str());
    if (m_stream != nullptr) m_archive = ar_open_rar_archive(m_stream);
  }
  ~UnarrDecoder() override {
    if (m_archive != nullptr) ar_close_archive(m_archive);
    if (m_stream != nullptr) ar_close(m_stream);
  }
  UnarrDecoder(const UnarrDecoder&) = delete;
  UnarrDecoder& operator=(const UnarrDecoder&) = delete;

  int begin(std::size_t index) override {
    if (m_archive == nullptr) return ERAR_BAD_ARCHIVE;
    if (m_catalog.main().solid) {
      for (std::size_t i = m_solidNext; i < index; ++i) {
        if (decodable(i) && start(i) == 0) drain();
      }
    }
    m_solidNext = index + 1;
    return start(index);
  }

  long read(unsigned char* buffer, std::size_t size) override {
    if (m_left == 0) return 0;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_left));
    if (!ar_entry_uncompress(m_archive, buffer, n)) {
      m_left = 0;
      return -ERAR_BAD_DATA;
    }
    m_left -= n;
    return static_cast<long>(n);
  }

  void finish() override {
    // A solid stream goes on where this entry ends.
    if (m_catalog.main().solid) drain();
    m_left = 0;
  }

 private:
  bool decodable(std::size_t index) const {
    const FileHeader& h = m_catalog.entry(index).header;
    return !h.directory && !h.encrypted && h.unpSize > 0;
  }

  int start(std::size_t index) {
    const FileHeader& h = m_catalog.entry(index).header;
    m_left = 0;
    auto offset = static_cast<off64_t>(h.headerOffset);
    if (!ar_parse_entry_at(m_archive, offset) || ar_entry_get_offset(m_archive) != offset)
      return ERAR_BAD_DATA;
    m_left = h.unpSize;
    return 0;
  }

  void drain() {
    std::vector<unsigned char> scratch(kBlock);
    while (read(scratch.data(), scratch.size()) > 0) {
    }
  }

  Catalog& m_catalog;
  ar_stream* m_stream = nullptr;
  ar_archive* m_archive = nullptr;
  std::uint64_t m_left = 0;
  std::size_t m_solidNext = 0;
};

// libarchive: RAR 5, and RAR 4 volume sets given as the list of all their
// volumes. It reads entries in order, one for each of the catalog's
// entries, so the catalog's index is libarchive's count of headers.
class ArchiveDecoder : public Decoder {
 public:
  explicit ArchiveDecoder(Catalog& catalog) : m_catalog(catalog) {}
  ~ArchiveDecoder() override { close(); }
  ArchiveDecoder(const ArchiveDecoder&) = delete;
  ArchiveDecoder& operator=(const ArchiveDecoder&) = delete;

  int begin(std::size_t index) override {
    if (m_archive == nullptr || index < m_next) {
      if (!openArchive()) return ERAR_BAD_ARCHIVE;
    }
    while (m_next <= index) {
      int r = archive_read_next_header(m_archive, &m_entry);
      if (r == ARCHIVE_EOF) return ERAR_EREAD;
      if (r < ARCHIVE_WARN) {
        // A fatal error leaves nothing to read; start over next time.
        close();
        return ERAR_BAD_DATA;
      }
      ++m_next;
    }
    const FileHeader& h = m_catalog.entry(index).header;
    if (!h.unknownSize && archive_entry_size_is_set(m_entry) &&
        static_cast<std::uint64_t>(archive_entry_size(m_entry)) != h.unpSize) {
      return ERAR_BAD_DATA;
    }
    return 0;
  }

  long read(unsigned char* buffer, std::size_t size) override {
    if (m_archive == nullptr) return -ERAR_BAD_DATA;
    la_ssize_t n = archive_read_data(m_archive, buffer, size);
    if (n < 0) return -ERAR_BAD_DATA;
    return static_cast<long>(n);
  }

  void finish() override {}

 private:
  bool openArchive() {
    close();
    // libarchive wants every volume at once.
    m_catalog.readAll();
    std::vector<const char*> names;
    for (const Volume& v : m_catalog.volumes()) names.push_back(v.path.c_str());
    names.push_back(nullptr);
    m_archive = archive_read_new();
    if (m_archive == nullptr) return false;
    archive_read_support_format_rar(m_archive);
    archive_read_support_format_rar5(m_archive);
    if (archive_read_open_filenames(m_archive, names.data(), kBlock) != ARCHIVE_OK) {
      close();
      return false;
    }
    m_next = 0;
    return true;
  }

  void close() {
    if (m_archive != nullptr) archive_read_free(m_archive);
    m_archive = nullptr;
    m_entry = nullptr;
    m_next = 0;
  }

  Catalog& m_catalog;
  archive* m_archive = nullptr;
  archive_entry* m_entry = nullptr;
  std::size_t m_next = 0;  // headers read so far
};

void PutU16(std::string& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<char>(v & 0xff);
  out[at + 1] = static_cast<char>((v >> 8) & 0xff);
}

void PutU32(std::string& out, std::size_t at, std::uint32_t v) {
  PutU16(out, at, v & 0xffff);
  PutU16(out, at + 2, v >> 16);
}

// A RAR 4 block with its check value filled in.
std::string Rar4Block(std::string block) {
  PutU16(block, 5, static_cast<std::uint32_t>(block.size()));
  PutU16(block, 0, Crc32(std::string_view(block).substr(2)) & 0xffff);
  return block;
}

}  // namespace

std::unique_ptr<Decoder> MakeDecoder(Catalog& catalog) {
  if (catalog.format() == Format::Rar4 && !catalog.main().volume)
    return std::make_unique<UnarrDecoder>(catalog);
  return std::make_unique<ArchiveDecoder>(catalog);
}

std::optional<std::string> UnpackComment(const Comment& comment) {
  if (comment.state != Comment::State::Compressed || comment.unpVer < 20 || comment.unpSize == 0 ||
      comment.unpSize > kMaxCommentBytes || comment.packed.size() > kMaxCommentBytes) {
    return std::nullopt;
  }
  // The packed comment is decoded as the only file of a small archive made
  // around it; the check value is ours to compare (old comments keep only
  // 16 bits of it).
  std::string archive("Rar!\x1a\x07\x00", 7);
  std::string main(13, '\0');
  main[2] = 0x73;
  archive += Rar4Block(main);
  std::string file(32 + 3, '\0');
  file[2] = 0x74;
  PutU16(file, 3, 0x8000);
  PutU32(file, 7, static_cast<std::uint32_t>(comment.packed.size()));
  PutU32(file, 11, static_cast<std::uint32_t>(comment.unpSize));
  file[15] = 2;
  PutU32(file, 16, comment.crcIs16 ? 0 : comment.crc);
  file[24] = static_cast<char>(comment.unpVer);
  file[25] = static_cast<char>(comment.method);
  PutU16(file, 26, 3);
  file.replace(32, 3, "CMT");
  archive += Rar4Block(file);
  archive += comment.packed;
  std::string end(7, '\0');
  end[2] = 0x7b;
  PutU16(end, 3, 0x4000);
  archive += Rar4Block(end);

  std::optional<std::string> text;
  ar_stream* stream = ar_open_memory(archive.data(), archive.size());
  ar_archive* ar = stream != nullptr ? ar_open_rar_archive(stream) : nullptr;
  if (ar != nullptr && ar_parse_entry(ar)) {
    std::string out(static_cast<std::size_t>(comment.unpSize), '\0');
    ar_entry_uncompress(ar, out.data(), out.size());
    std::uint32_t crc = Crc32(out);
    if (comment.crcIs16) crc &= 0xffff;
    if (crc == comment.crc) text = std::move(out);
  }
  if (ar != nullptr) ar_close_archive(ar);
  if (stream != nullptr) ar_close(stream);
  return text;
}

}  // namespace pagemoor::rar
