// Unpacking a project's data package: the archive parts named in the project
// description file, extracted one after another into the project folder.
// The start-up sequence calls this in normal mode; what it shows and when it
// stops the run is the start-up's business.
#pragma once

#include <functional>
#include <string>

namespace pagemoor {

class TRAR;
class TChiefUnzip;

struct UnpackResult {
  // False when the first part does not exist; nothing was unpacked then.
  bool firstPartFound = false;
  // The value of key file1 as read (the start-up's fatal message names it).
  std::string firstPartValue;
  // The number of parts the description file gives (at least 1, at most 999).
  int partCount = 1;
  // The parts that existed and were handed to an extractor.
  int partsUnpacked = 0;
  // RAR parts that could not be unpacked because the RAR library is missing.
  int rarPartsWithoutLibrary = 0;

  // Why the unpacking stopped before its end: a file of a part would not fit
  // on the disk, or a part unpacks far beyond its size (a bomb). The later
  // parts are not touched then; the project folder holds what was written.
  enum class Stop { None, NotEnoughSpace, HostileArchive };
  Stop stopped = Stop::None;
  // The value of that part's key as read, and the extractor's StopReason.
  std::string stoppedPart;
  std::string stopReason;
};

// Reads the part count and the part names from `descriptionFile` (section
// "uniproject" key "files", section "files" keys "file1", "file2", ...),
// checks the first part, then for every part: creates `projectDir` (one
// level, a failure ignored), hands "Extracting Data ... Part " + i to
// `showProgress`, and when the part (`programDir` + its value) exists,
// extracts it completely into `projectDir` with whichever extractor reads it.
// Extraction results are ignored, except the two stops of the extractors'
// bounds (UnpackResult::stopped), which end the unpacking at once; missing
// later parts are skipped. At the end `projectDir` becomes the current folder
// (a failure ignored; not after a stop).
UnpackResult UnpackDataPackage(const std::string& descriptionFile, const std::string& programDir,
                               const std::string& projectDir, TRAR& rar, TChiefUnzip& unzip,
                               const std::function<void(const std::string& text)>& showProgress);

}  // namespace pagemoor
