#include "unrar/RarCatalog.h"

#include <sys/stat.h>

#include <utility>

#include "common/HostPaths.h"
#include "unrar/unrar.h"

namespace pagemoor::rar {

namespace {

// How often one missing volume is asked for before we give up.
constexpr int kMaxAsks = 100;

int StatusCode(ReadStatus status) {
  switch (status) {
    case ReadStatus::BadCrc:
      return ERAR_BAD_DATA;
    case ReadStatus::Truncated:
      return ERAR_EREAD;
    default:
      return ERAR_BAD_ARCHIVE;
  }
}

// The volume file of that name, matched without regard to case as the
// magazines' authors' systems did.
std::optional<std::string> FindVolume(const std::string& path) {
  std::optional<std::string> found = ResolveExisting(path);
  // Only a regular file: the readers behind us open volumes by name and
  // would wait for ever on a FIFO.
  struct stat st {};
  if (found && ::stat(found->c_str(), &st) == 0 && S_ISREG(st.st_mode)) return found;
  return std::nullopt;
}

}  // namespace

int Catalog::open(const std::string& path) {
  auto source = std::make_unique<FileSource>(path);
  if (!source->ok()) return ERAR_EOPEN;
  HeaderReader reader(*source);
  if (reader.open() != ReadStatus::Ok) return ERAR_BAD_ARCHIVE;
  m_format = reader.format();
  m_main = reader.main();
  // Encrypted headers hide the file list; solid volume sets are beyond both
  // decoders we have.
  if (m_main.encryptedHeaders || (m_main.volume && m_main.solid)) return ERAR_BAD_ARCHIVE;
  m_comment = m_main.comment;
  m_volumes.push_back(Volume{path, std::move(source)});
  readVolume(reader);
  if (m_format == Format::Rar4) {
    // RAR 1.5 packing (unpack version below 2.0) neither decoder reads.
    for (const Entry& e : m_entries) {
      if (!e.header.directory && e.header.unpVer < 20) return ERAR_BAD_ARCHIVE;
    }
  }
  return 0;
}

void Catalog::setVolumeHandlers(AskVolume ask, NotifyVolume notify) {
  m_ask = std::move(ask);
  m_notify = std::move(notify);
}

void Catalog::readVolume(HeaderReader& reader) {
  std::size_t volume = m_volumes.size() - 1;
  bool fileHere = false;
  bool lastSplitAfter = false;
  bool sawEnd = false;
  bool endSaysNext = false;
  Block block;
  for (;;) {
    ReadStatus status = reader.next(block);
    if (status == ReadStatus::End) break;
    if (status != ReadStatus::Ok) {
      m_stop = StatusCode(status);
      m_next = Next::None;
      return;
    }
    switch (block.kind) {
      case BlockKind::File:
        addFile(block, volume);
        fileHere = true;
        lastSplitAfter = block.file.splitAfter;
        break;
      case BlockKind::Service:
      case BlockKind::OldComment:
        if (block.comment.state == Comment::State::None) break;
        if (!fileHere) {
          // Every volume repeats the archive comment; the first one counts.
          if (volume == 0 && m_comment.state == Comment::State::None) m_comment = block.comment;
        } else if (!m_entries.empty() && m_entries.back().comment.state == Comment::State::None) {
          m_entries.back().comment = block.comment;
        }
        break;
      case BlockKind::End:
        sawEnd = true;
        endSaysNext = block.nextVolume;
        break;
      case BlockKind::Other:
        break;
    }
  }
  if (sawEnd) {
    m_next = endSaysNext ? Next::Needed : Next::None;
  } else if (m_main.volume) {
    // Older volumes end without an end block: a split file says that more
    // follows, otherwise a following volume is read when it is there.
    m_next = lastSplitAfter ? Next::Needed : Next::IfThere;
  } else {
    m_next = Next::None;
  }
  if (m_next == Next::None) m_stop = ERAR_END_ARCHIVE;
}

void Catalog::addFile(const Block& block, std::size_t volume) {
  const FileHeader& f = block.file;
  if (f.splitBefore) {
    // A part of the file before it; one that continues nothing we saw (the
    // set was opened at a later volume) is passed over.
    if (!m_entries.empty() && !m_entries.back().complete && m_entries.back().header.rawName == f.rawName) {
      Entry& e = m_entries.back();
      e.parts.push_back(Part{volume, f.dataOffset, f.packSize});
      e.complete = !f.splitAfter;
      e.crc = f.crc;
      e.hasCrc = f.hasCrc;
    }
    return;
  }
  Entry e;
  e.header = f;
  e.volume = volume;
  e.parts.push_back(Part{volume, f.dataOffset, f.packSize});
  e.complete = !f.splitAfter;
  e.crc = f.crc;
  e.hasCrc = f.hasCrc;
  m_entries.push_back(std::move(e));
}

bool Catalog::openNextVolume() {
  Next kind = m_next;
  m_next = Next::None;
  const std::string last = m_volumes.back().path;
  std::string expected = NextVolumeName(last, m_main.newNumbering);
  std::optional<std::string> found = FindVolume(expected);
  if (!found) found = FindVolume(NextVolumeName(last, !m_main.newNumbering));
  std::unique_ptr<FileSource> source;
  std::unique_ptr<HeaderReader> reader;
  for (int asked = 0;; ++asked) {
    if (found) {
      source = std::make_unique<FileSource>(*found);
      reader = std::make_unique<HeaderReader>(*source);
      if (source->ok() && reader->open() == ReadStatus::Ok && reader->format() == m_format &&
          reader->main().volume && !reader->main().encryptedHeaders) {
        break;
      }
      expected = *found;
    }
    if (kind == Next::IfThere) {
      m_stop = ERAR_END_ARCHIVE;
      return false;
    }
    // A caller that always says "try again" without a volume appearing
    // would keep us here for good.
    std::optional<std::string> answer = m_ask && asked < kMaxAsks ? m_ask(expected) : std::nullopt;
    if (!answer) {
      m_stop = ERAR_EOPEN;
      return false;
    }
    expected = *answer;
    found = FindVolume(expected);
  }
  if (m_notify && !m_notify(*found)) {
    m_stop = ERAR_EOPEN;
    return false;
  }
  m_volumes.push_back(Volume{*found, std::move(source)});
  readVolume(*reader);
  return true;
}

int Catalog::need(std::size_t index) {
  while (index >= m_entries.size()) {
    if (m_next == Next::None || !openNextVolume()) return m_stop != 0 ? m_stop : ERAR_END_ARCHIVE;
  }
  return 0;
}

int Catalog::complete(std::size_t index) {
  while (!m_entries[index].complete) {
    if (m_next == Next::None || !openNextVolume()) {
      // The set ends before the file does.
      return m_stop == ERAR_END_ARCHIVE || m_stop == 0 ? ERAR_EREAD : m_stop;
    }
  }
  return 0;
}

void Catalog::readAll() {
  while (m_next != Next::None && openNextVolume()) {
  }
}

}  // namespace pagemoor::rar
