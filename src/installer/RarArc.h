// TRAR: the RAR component. A thin client of the RAR library, which it loads
// by name when it is created and releases when it is destroyed. Without the
// library (or with one that lacks any of the seven functions) every Extract
// reports error 50.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "unrar/unrar.h"

namespace pagemoor {

class TRAR {
 public:
  // Our own code for a library that failed to load.
  static constexpr int kLibraryMissing = 50;
  // Our own codes for an extraction we stopped: the next file would not fit
  // on the target's disk, or the archive writes beyond extract::OutputLimit
  // of its size (a bomb). StopReason says more.
  static constexpr int kNotEnoughSpace = 51;
  static constexpr int kHostileArchive = 52;
  // The library's file name.
  static constexpr const char* kLibraryName = "libpagemoor-unrar.so";

  // Loads the library: from `libraryPath` when given, else from the first of
  // LibraryCandidates() that loads.
  explicit TRAR(const std::string& libraryPath = {});

  // Where the library is looked for: beside the running executable, then in
  // ../lib/pagemoor/ from it (an installed copy), then by name through the
  // system's search path. Never the program folder of --program or
  // /develope: that is a magazine's folder, and a library lying there came
  // with the magazine.
  static std::vector<std::string> LibraryCandidates();
  ~TRAR();
  TRAR(const TRAR&) = delete;
  TRAR& operator=(const TRAR&) = delete;

  std::string ArchiveName;
  std::vector<std::string> FilesToExtract;  // names as the headers give them; empty = all
  std::vector<std::string> FilesToTest;
  std::string TargetDir;
  bool Stop = false;
  // True when the library loaded and all seven functions were found.
  bool LoadedDLL() const { return m_loaded; }

  std::function<int(TRAR& sender, const unsigned char* addr, int blockSize, int position)> OnProcessData;
  std::function<int(TRAR& sender, const std::string& arcName, int mode)> OnVolumeChange;
  std::function<void(TRAR& sender, int error)> OnError;
  std::function<void(TRAR& sender, const std::string& comment)> OnComment;
  std::function<void(TRAR& sender, const RARHeaderData& listedFile)> OnListFile;
  std::function<void(TRAR& sender, const RARHeaderData& eFile)> OnExtracting;
  std::function<void(TRAR& sender, const RARHeaderData& eFile, bool result)> OnExtract;
  std::function<void(TRAR& sender, const RARHeaderData& eFile)> OnTesting;
  std::function<void(TRAR& sender, const RARHeaderData& eFile, bool result)> OnTested;
  std::function<void(TRAR& sender, const RARHeaderData& eFile, std::string& password)> OnReqPassword;

  // Extracts the archive into TargetDir (the current folder when empty),
  // raising the events; true when nothing failed.
  //
  // Bounded in what the library writes for it: before each file the free
  // space of the target's file system is compared with the file's size, and
  // while the bytes come (the data callback, always installed) neither that
  // space nor the archive's output budget may be exceeded. Either ends the
  // extraction: the file under way is removed by the library, and
  // kNotEnoughSpace or kHostileArchive goes to OnError.
  bool Extract();

  // When the last Extract was stopped by its bounds: kNotEnoughSpace or
  // kHostileArchive (else 0), and why, one English line for a log or a
  // message (names escaped).
  int StopCode = 0;
  std::string StopReason;

  // The texts of an error code: English for the log, Czech for the reader.
  static std::string ErrorTextEnglish(int code);
  static std::string ErrorTextCzech(int code);

 private:
  void* m_module = nullptr;
  bool m_loaded = false;
  // The seven functions.
  void* (*m_open)(RAROpenArchiveData*) = nullptr;
  int (*m_close)(void*) = nullptr;
  int (*m_readHeader)(void*, RARHeaderData*) = nullptr;
  int (*m_processFile)(void*, int, char*, char*) = nullptr;
  void (*m_setChangeVolProc)(void*, CHANGEVOLPROC) = nullptr;
  void (*m_setProcessDataProc)(void*, PROCESSDATAPROC) = nullptr;
  void (*m_setPassword)(void*, char*) = nullptr;
  long long m_position = 0;   // running total of the data callback's blocks
  bool m_extracting = false;  // an Extract runs (a nested one returns false)
  // The bounds of the running Extract.
  unsigned long long m_archiveBytes = 0;  // the volumes seen so far
  unsigned long long m_written = 0;       // by every file of this Extract
  unsigned long long m_declared = 0;      // the sizes its headers declared so far
  unsigned long long m_fileWritten = 0;   // by the file under way
  unsigned long long m_fileRoom = 0;      // free space when that file began
  int m_guardStop = 0;                    // our code when the data callback stopped the library
  std::string m_fileName;                 // of the file under way, escaped

  // The body of Extract once the library is there and a name is given.
  bool runExtract();
  // Before a file is extracted: 0, or the code that stops the extraction.
  int checkRoom(const RARHeaderData& header);
  // The library's data callback; it finds the running component itself.
  static int processDataCallback(unsigned char* addr, int size);
};

}  // namespace pagemoor
