#include "jukebox/ID3Tags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <istream>

#include "common/ByteReader.h"
#include "common/Encoding.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"

namespace pagemoor {

namespace {

// The names as the tagging tools of the time wrote them, odd spellings
// included: a tag's genre must read the way those tools showed it.
// clang-format off
const std::array<std::string, kGenreCount> kGenres = {
    "Blues",             "Classic Rock",      "Country",           "Dance",             "Disco",
    "Funk",              "Grunge",            "Hip-Hop",           "Jazz",              "Metal",
    "New Age",           "Oldies",            "Other",             "Pop",               "R&B",
    "Rap",               "Reggae",            "Rock",              "Techno",            "Industrial",
    "Alternative",       "Ska",               "Death Metal",       "Pranks",            "Soundtrack",
    "Euro-Techno",       "Ambient",           "Trip-Hop",          "Vocal",             "Jazz+Funk",
    "Fusion",            "Trance",            "Classical",         "Instrumental",      "Acid",
    "House",             "Game",              "Sound Clip",        "Gospel",            "Noise",
    "AlternRock",        "Bass",              "Soul",              "Punk",              "Space",
    "Meditative",        "Instrumental Pop",  "Instrumental Rock", "Ethnic",            "Gothic",
    "Darkwave",          "Techno-Industrial", "Electronic",        "Pop-Folk",          "Eurodance",
    "Dream",             "Southern Rock",     "Comedy",            "Cult",              "Gangsta",
    "Top 40",            "Christian Rap",     "Pop/Funk",          "Jungle",            "Native American",
    "Cabaret",           "New Wave",          "Psychedelic",       "Rave",              "Showtunes",
    "Trailer",           "Lo-Fi",             "Tribal",            "Acid Punk",         "Acid Jazz",
    "Polka",             "Retro",             "Musical",           "Rock & Roll",       "Hard Rock",
    "Folk",              "Folk/Rock",         "National Folk",     "Swing",             "Fast Fusion",
    "Bebob",             "Latin",             "Revival",           "Celtic",            "Bluegrass",
    "Avantgarde",        "Gothic Rock",       "Progressive Rock",  "Psychedelic Rock",  "Symphonic Rock",
    "Slow Rock",         "Big Band",          "Chorus",            "Easy Listening",    "Acoustic",
    "Humour",            "Speech",            "Chanson",           "Opera",             "Chamber Music",
    "Sonata",            "Symphony",          "Booty Bass",        "Primus",            "Porn Groove",
    "Satire",            "Slow Jam",          "Club",              "Tango",             "Samba",
    "Folklore",          "Ballad",            "Power Ballad",      "Rhythmic Soul",     "Freestyle",
    "Duet",              "Punk Rock",         "Drum Solo",         "Acapella",          "Euro-House",
    "Dance Hall",        "Goa",               "Drum & Bass",       "Club-House",        "Hardcore",
    "Terror",            "Indie",             "BritPop",           "Negerpunk",         "Polsk Punk",
    "Beat",              "Christian Gangs",   "Heavy Metal",       "Black Metal",       "Crossover",
    "Contemporary Ch?",  "Cristian Rock",     "Merengue",          "Salsa",             "Thrash Metal",
    "Anime",             "JPop",              "Synthpop",
};
// clang-format on

// Cut at the first zero byte, then strip trailing blanks and control
// characters; taggers padded with either.
std::string TextField(std::string_view field) {
  if (std::size_t zero = field.find('\0'); zero != std::string_view::npos) field = field.substr(0, zero);
  while (!field.empty() && static_cast<unsigned char>(field.back()) <= ' ') field.remove_suffix(1);
  return DecodeText(field);
}

}  // namespace

const std::string& GenreName(int code) {
  static const std::string none;
  if (code < 0 || code >= kGenreCount) return none;
  return kGenres[static_cast<std::size_t>(code)];
}

bool TID3v1Tag::ReadFromBlock(std::string_view block) {
  *this = TID3v1Tag();
  ByteReader r(block);
  if (block.size() != kBlockSize || !r.tag("TAG")) return false;
  Exists = true;
  Title = TextField(r.bytes(30));
  Artist = TextField(r.bytes(30));
  Album = TextField(r.bytes(30));
  Year = TextField(r.bytes(4));
  const std::string_view comment = r.bytes(30);
  Comment = TextField(comment);
  // A zero in the comment's 29th byte marks the 30th as the track number; a
  // zero track there is just a short comment.
  ByteReader end(comment.substr(28));
  const std::uint8_t marker = end.u8();
  const std::uint8_t track = end.u8();
  if (marker == 0 && track != 0) {
    Version11 = true;
    Track = track;
  }
  GenreCode = r.u8();
  Genre = GenreName(GenreCode);
  return true;
}

bool TID3v1Tag::ReadFromBytes(std::string_view fileBytes) {
  if (fileBytes.size() < kBlockSize) {
    *this = TID3v1Tag();
    return false;
  }
  return ReadFromBlock(fileBytes.substr(fileBytes.size() - kBlockSize));
}

bool TID3v1Tag::ReadFromStream(std::istream& stream, std::uint64_t size) {
  *this = TID3v1Tag();
  if (size < kBlockSize) return false;
  std::string block(kBlockSize, '\0');
  stream.clear();
  stream.seekg(static_cast<std::streamoff>(size - kBlockSize), std::ios::beg);
  if (!stream.read(block.data(), static_cast<std::streamsize>(kBlockSize))) return false;
  return ReadFromBlock(block);
}

bool TID3v1Tag::ReadFromFile(const std::string& path) {
  *this = TID3v1Tag();
  const auto found = ResolveExisting(path);
  if (!found || !FileExists(*found)) return false;
  // Titles are computed for every entry after each change of the list, so
  // nothing is logged here: playing the entry says why it was refused.
  if (WhereIs(*found) != PlaceOfFile::Inside) return false;
  // Only the end of the file is read. O_NONBLOCK and the regular-file check:
  // a FIFO or a device in a list must not stop the jukebox.
  const int fd = ::open(found->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  std::string block(kBlockSize, '\0');
  bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= static_cast<off_t>(kBlockSize) &&
              ::pread(fd, block.data(), kBlockSize, st.st_size - static_cast<off_t>(kBlockSize)) ==
                  static_cast<ssize_t>(kBlockSize);
  ::close(fd);
  return read && ReadFromBlock(block);
}

}  // namespace pagemoor
