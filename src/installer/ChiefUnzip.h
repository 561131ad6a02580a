// TChiefUnzip: the ZIP reader that the installer and the start-up use.
//
// Reads the central directory (ZIP64 records accepted), then each entry's
// data through its local header. Methods 0 (stored), 1 (shrunk), 6 (imploded)
// and 8 (deflated, zlib); an entry of any other method, an encrypted entry and
// a symbolic-link entry are not extracted. Entry names without the UTF-8 flag
// are code page 852 (DOS-era Czech tools) and become UTF-8 names on disk.
// Every write goes through extract::TargetFolder: an entry that would land
// outside the target folder is refused and logged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pagemoor {

// What happened to one entry (the optional report callback).
struct UnzipReport {
  std::string entryName;   // as stored, decoded to UTF-8
  std::string path;        // where it went (or would have gone) on disk
  std::uint64_t size = 0;  // uncompressed size
  bool extracted = false;
  std::string message;  // why not, when not ("CRC error", "unsupported method 9", ...)
};

class TChiefUnzip {
 public:
  // Unzip's negative results.
  static constexpr int kNoArchiveOrTarget = -500;  // ZipFileName or TargetDirectory empty
  static constexpr int kCannotOpen = -1;           // the archive cannot be opened
  static constexpr int kNotZip = -2;               // no end-of-central-directory record
  static constexpr int kBadArchive = -3;           // the central directory cannot be read
  static constexpr int kTargetUnusable = -4;       // the target folder cannot be made or opened
  static constexpr int kBusy = -5;                 // an extraction of this object is running
  static constexpr int kNotEnoughSpace = -6;       // the next file would not fit on the disk: stopped
  static constexpr int kHostileArchive = -7;       // it would unpack beyond extract::OutputLimit

  std::string ZipFileName;
  std::string TargetDirectory;
  std::string FilesToExtract = "*.*";  // a DOS mask, matched against the file name part, any case
  bool DontRecurse = false;            // write entries without their folder part

  // Optional: progress and result per entry.
  std::function<void(const UnzipReport&)> OnReport;
  // Optional: asked before an existing file is overwritten (its host path);
  // false keeps the file.
  std::function<bool(const std::string& path)> OnQueryOverwrite;
  // Optional: one line per refused entry (unsafe name, link) and per damaged
  // one; the installer hands these to the console.
  std::function<void(const std::string& text)> OnLog;

  // Extracts every entry that matches the mask; the number of files
  // extracted, or one of the negative codes above. While it works, pending
  // window events are processed now and then (platform().processEvents()).
  //
  // Bounded in what it writes: entries whose bytes overlap an earlier
  // entry's are refused (logged, skipped); an archive whose entries add up
  // to more than extract::OutputLimit of its size is refused whole, before
  // anything is written; before each file the free space of the target's
  // file system is compared with the file's size, and the extraction stops
  // at the first file that would not fit (or whose writing runs out of
  // space). No file grows beyond the size its entry declares.
  int Unzip();

  // Why the last Unzip ended with kNotEnoughSpace or kHostileArchive: one
  // English line for a log or a message (entry names escaped); empty else.
  std::string StopReason;

 private:
  bool m_running = false;
};

}  // namespace pagemoor
