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
  bool Extract();

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

  // The body of Extract once the library is there and a name is given.
  bool runExtract();
  // The library's data callback; it finds the running component itself.
  static int processDataCallback(unsigned char* addr, int size);
};

}  // namespace pagemoor
