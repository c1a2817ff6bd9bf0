/* The phone file-system plugin interface: its exports, the callbacks the host hands to it and the find record.
 *
 * Shared by the host's binding (src/phone/SGHFS) and the plugins built here (the virtual phone, test plugins).
 * Texts are NUL-terminated 8-bit strings in Windows-1251. Every buffer the host passes for the plugin to write
 * into holds SGHFS_BUFFER_SIZE bytes: at most 65535 characters and the terminating NUL. Numbers keep 32 bits;
 * only a find handle, which a plugin may make from an address, is pointer-sized. The C calling convention of
 * the platform is used throughout. */
#ifndef QUORREL_SGHFS_ABI_H
#define QUORREL_SGHFS_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SGHFS_BUFFER_SIZE 65536
#define SGHFS_MAX_TEXT (SGHFS_BUFFER_SIZE - 1)
#define SGHFS_MAX_PATH 260

/* Find record: the fields and order of the Windows ANSI directory entry record. */
#define SGHFS_ATTR_DIRECTORY 0x10u
#define SGHFS_ATTR_ARCHIVE 0x20u
#define SGHFS_ATTR_NORMAL 0x80u

typedef struct SghfsFileTime {
  uint32_t dwLowDateTime;
  uint32_t dwHighDateTime;
} SghfsFileTime;

typedef struct SghfsFindData {
  uint32_t dwFileAttributes;
  SghfsFileTime ftCreationTime;
  SghfsFileTime ftLastAccessTime;
  SghfsFileTime ftLastWriteTime;
  uint32_t nFileSizeHigh;
  uint32_t nFileSizeLow;
  uint32_t dwReserved0;
  uint32_t dwReserved1;
  char cFileName[SGHFS_MAX_PATH];
  char cAlternateFileName[14];
} SghfsFindData;

#ifdef __cplusplus
static_assert(sizeof(SghfsFindData) == 320, "the find record keeps the Windows layout");
#endif

typedef intptr_t SghfsHandle;
#define SGHFS_INVALID_HANDLE ((SghfsHandle)-1)

/* Copy flags of FsPutFile. */
#define SGHFS_COPY_OVERWRITE 1

/* Results of the file operations: 0 means the file was copied. */
#define SGHFS_FILE_OK 0
#define SGHFS_FILE_EXISTS 1
#define SGHFS_FILE_NOTFOUND 2
#define SGHFS_FILE_READERROR 3
#define SGHFS_FILE_WRITEERROR 4
#define SGHFS_FILE_USERABORT 5
#define SGHFS_FILE_NOTSUPPORTED 6

/* Message types of the log callback (the host shows every line alike). */
#define SGHFS_MSG_CONNECT 1
#define SGHFS_MSG_DISCONNECT 2
#define SGHFS_MSG_DETAILS 3
#define SGHFS_MSG_TRANSFERCOMPLETE 4
#define SGHFS_MSG_IMPORTANTERROR 6

/* Request types of the request callback. */
#define SGHFS_REQUEST_OTHER 0
#define SGHFS_REQUEST_CONFIRM 1

/* Callbacks the host hands to FsInit. The progress callback answers 0 to go on, anything else to abort. */
typedef int32_t (*SghfsProgressProc)(int32_t pluginNr, const char* sourceName, const char* targetName,
                                     int32_t percentDone);
typedef void (*SghfsLogProc)(int32_t pluginNr, int32_t msgType, const char* logText);
/* Answers a question of the plugin; non-zero is yes. returnedText holds maxLen bytes. */
typedef int32_t (*SghfsRequestProc)(int32_t pluginNr, int32_t requestType, const char* title, const char* text,
                                    char* returnedText, int32_t maxLen);
/* Called by FsCompileJava while the list may be read and replaced with FsJavaGetList / FsJavaSetList. */
typedef void (*SghfsJavaListProc)(int32_t argument);

/* The exports, in the order the host looks them up. */
typedef int32_t (*SghfsFsInit)(int32_t pluginNr, SghfsProgressProc progress, SghfsLogProc log,
                               SghfsRequestProc request);
typedef int32_t (*SghfsFsSetup)(int32_t reserved1, int32_t reserved2, int32_t port, int32_t speed, const char* options);
typedef int32_t (*SghfsFsConnect)(void);
typedef int32_t (*SghfsFsDisconnect)(const char* root);
typedef int32_t (*SghfsFsSendCommand)(const char* command, char* reply);
typedef SghfsHandle (*SghfsFsFindFirst)(const char* path, SghfsFindData* findData);
typedef int32_t (*SghfsFsFindNext)(SghfsHandle handle, SghfsFindData* findData);
typedef int32_t (*SghfsFsFindClose)(SghfsHandle handle);
typedef int32_t (*SghfsFsGetFile)(const char* remoteName, char* localName, int32_t copyFlags, const void* info);
typedef int32_t (*SghfsFsPutFile)(const char* localName, char* remoteName, int32_t copyFlags);
typedef int32_t (*SghfsFsDeleteFile)(const char* remoteName);
typedef int32_t (*SghfsFsRenMovFile)(const char* oldName, const char* newName, int32_t move, int32_t overwrite,
                                     const void* info);
typedef void (*SghfsFsGetDefRootName)(char* name, int32_t maxLen);
typedef int32_t (*SghfsFsExecuteFile)(intptr_t window, char* remoteName, const char* verb);
typedef int32_t (*SghfsFsVersion)(char* buffer);
typedef int32_t (*SghfsFsIsBusy)(void);
typedef int32_t (*SghfsFsCompileJava)(int32_t flag, SghfsJavaListProc listProc);
typedef int32_t (*SghfsFsJavaGetList)(char* buffer);
typedef int32_t (*SghfsFsJavaSetList)(const char* buffer);
/* Optional, looked up after the others: non-zero while the plugin holds a connection to the phone that it can
 * still use, 0 when it has none or gave it up (a phone that stopped answering, a cable pulled). */
typedef int32_t (*SghfsFsIsConnected)(void);

#if defined(__GNUC__)
#define SGHFS_EXPORT __attribute__((visibility("default")))
#else
#define SGHFS_EXPORT
#endif

/* Prototypes for plugins that define the exports; a host looks them up by name instead. */
SGHFS_EXPORT int32_t FsInit(int32_t pluginNr, SghfsProgressProc progress, SghfsLogProc log, SghfsRequestProc request);
SGHFS_EXPORT int32_t FsSetup(int32_t reserved1, int32_t reserved2, int32_t port, int32_t speed, const char* options);
SGHFS_EXPORT int32_t FsConnect(void);
SGHFS_EXPORT int32_t FsDisconnect(const char* root);
SGHFS_EXPORT int32_t FsSendCommand(const char* command, char* reply);
SGHFS_EXPORT SghfsHandle FsFindFirst(const char* path, SghfsFindData* findData);
SGHFS_EXPORT int32_t FsFindNext(SghfsHandle handle, SghfsFindData* findData);
SGHFS_EXPORT int32_t FsFindClose(SghfsHandle handle);
SGHFS_EXPORT int32_t FsGetFile(const char* remoteName, char* localName, int32_t copyFlags, const void* info);
SGHFS_EXPORT int32_t FsPutFile(const char* localName, char* remoteName, int32_t copyFlags);
SGHFS_EXPORT int32_t FsDeleteFile(const char* remoteName);
SGHFS_EXPORT int32_t FsRenMovFile(const char* oldName, const char* newName, int32_t move, int32_t overwrite,
                                  const void* info);
SGHFS_EXPORT void FsGetDefRootName(char* name, int32_t maxLen);
SGHFS_EXPORT int32_t FsExecuteFile(intptr_t window, char* remoteName, const char* verb);
SGHFS_EXPORT int32_t FsVersion(char* buffer);
SGHFS_EXPORT int32_t FsIsBusy(void);
SGHFS_EXPORT int32_t FsCompileJava(int32_t flag, SghfsJavaListProc listProc);
SGHFS_EXPORT int32_t FsJavaGetList(char* buffer);
SGHFS_EXPORT int32_t FsJavaSetList(const char* buffer);
SGHFS_EXPORT int32_t FsIsConnected(void);

#ifdef __cplusplus
}
#endif

#endif
