/* The RAR library's interface: seven functions, two records and the result
   codes, with the meanings magazines' installers have always relied on. The
   library (libpagemoor-unrar.so) is loaded at run time by name; this header
   is all a caller needs. Plain C, so any program can use it. */
#ifndef PAGEMOOR_UNRAR_H
#define PAGEMOOR_UNRAR_H

#ifdef __cplusplus
extern "C" {
#endif

#define ERAR_END_ARCHIVE 10 /* no more headers */
#define ERAR_NO_MEMORY 11
#define ERAR_BAD_DATA 12    /* CRC error, damaged data (also: encrypted data we cannot read) */
#define ERAR_BAD_ARCHIVE 13 /* not a RAR archive (or one this library cannot read) */
#define ERAR_UNKNOWN_FORMAT 14
#define ERAR_EOPEN 15   /* an archive or volume cannot be opened */
#define ERAR_ECREATE 16 /* an output file cannot be created */
#define ERAR_ECLOSE 17
#define ERAR_EREAD 18
#define ERAR_EWRITE 19
#define ERAR_SMALL_BUF 20 /* comment larger than the buffer: cut */
#define ERAR_UNKNOWN 21   /* the data callback stopped the extraction */

#define RAR_OM_LIST 0
#define RAR_OM_EXTRACT 1

#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

#define RAR_VOL_ASK 0    /* a volume is missing: the callback may provide it */
#define RAR_VOL_NOTIFY 1 /* the next volume is being opened */

/* RARHeaderData.Flags */
#define RHDF_SPLITBEFORE 0x01
#define RHDF_SPLITAFTER 0x02
#define RHDF_ENCRYPTED 0x04
#define RHDF_SOLID 0x10
#define RHDF_DIRECTORY 0xE0

struct RARHeaderData {
  char ArcName[260];
  char FileName[260]; /* UTF-8 here, cut at 259 bytes (the file itself keeps its whole name) */
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int UnpSize;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime; /* DOS date and time */
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

struct RAROpenArchiveData {
  char* ArcName;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState; /* 0 no comment, 1 read, ERAR_SMALL_BUF cut, other codes errors */
};

/* Return 0 (or below) from the volume callback to stop, above 0 to go on;
   from the data callback -1 stops the extraction. */
typedef int (*CHANGEVOLPROC)(char* ArcName, int Mode);
typedef int (*PROCESSDATAPROC)(unsigned char* Addr, int Size);

void* RAROpenArchive(struct RAROpenArchiveData* ArchiveData);
int RARCloseArchive(void* hArcData);
int RARReadHeader(void* hArcData, struct RARHeaderData* HeaderData);
int RARProcessFile(void* hArcData, int Operation, char* DestPath, char* DestName);
void RARSetChangeVolProc(void* hArcData, CHANGEVOLPROC ChangeVolProc);
void RARSetProcessDataProc(void* hArcData, PROCESSDATAPROC ProcessDataProc);
void RARSetPassword(void* hArcData, char* Password);

#ifdef __cplusplus
}
#endif

#endif
