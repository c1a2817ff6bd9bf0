/* The interface of the unzip library "UnZDll.dll": one command record, one callback, two exports.
 *
 * Fields that hold addresses are pointer-sized; every other field is a 32-bit little-endian integer in the
 * order given. On a 32-bit build the records have their historical sizes (148, 72 and 540 bytes), which the
 * static assertions at the end check. Booleans are -1 for true and 0 for false. Texts are NUL-terminated
 * 8-bit strings that stay valid for the duration of the call; names of archives and members are in the file
 * system's encoding.
 */
#ifndef QUORREL_UNZDLL_ABI_H
#define QUORREL_UNZDLL_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Action codes of the callback. */
enum {
  UNZ_ACTION_MEMBER_BEGINS = 1, /* Text: member name, Value: its uncompressed size */
  UNZ_ACTION_PROGRESS = 2,      /* Value: bytes written since the previous report */
  UNZ_ACTION_BATCH_ENDS = 3,
  UNZ_ACTION_MEMBER_COUNT = 5,   /* Value: members in the batch */
  UNZ_ACTION_BATCH_SIZE = 6,     /* Value: uncompressed bytes in the batch */
  UNZ_ACTION_PASSWORD = 8,       /* Text: member name; answered with Answer 1 and the password in Text,
                                    Value: attempts left, decreased by the caller for each password given */
  UNZ_ACTION_CRC_ERROR = 9,      /* Text: member name; Answer 1 keeps the damaged file, 0 drops it */
  UNZ_ACTION_FILE_EXISTS = 10,   /* Text: member name; Answer bit 0: the existing file is older than the
                                    member; answered with Value 1 (overwrite) or 0 (keep) */
  UNZ_ACTION_MEMBER_SKIPPED = 11 /* Text: member name */
};

/* Callback results. */
enum { UNZ_CALLBACK_CONTINUE = 0, UNZ_CALLBACK_STOP = -1 };

#define UNZ_TEXT_SIZE 512

typedef struct UnzipCallbackData {
  int32_t Reserved0;
  void* Caller; /* the command's Caller, unchanged */
  int32_t Reserved8;
  int32_t Reserved12;
  int32_t ActionCode;       /* UNZ_ACTION_* */
  int32_t Answer;           /* in and out */
  int32_t Value;            /* in and out */
  char Text[UNZ_TEXT_SIZE]; /* NUL-terminated; in: a member name, out: a password */
} UnzipCallbackData;

typedef int32_t (*UnzipCallback)(UnzipCallbackData* data);

typedef struct UnzipFileSpec {
  const char* FileSpec; /* a member name or a pattern with * and ? */
  char Reserved[68];
} UnzipFileSpec;

/* The command. The library relies on Version, Callback, Password, ZipFileName, FileSpecCount and FileSpecs;
 * the option flags tell it how the caller means to treat existing files, which the caller decides anyway
 * through UNZ_ACTION_FILE_EXISTS. Members are written under the process's current directory. */
typedef struct UnzipCommand {
  int32_t Reserved0;
  void* Caller;    /* handed back in every callback */
  int32_t Version; /* UNZ_COMMAND_VERSION */
  UnzipCallback Callback;
  int32_t Reserved16;
  int32_t Reserved20;
  const char* Password;  /* tried first on encrypted members; NULL when none */
  int32_t OverwriteOnly; /* offset 28 */
  int32_t Reserved32;
  int32_t Reserved36;
  int32_t ExtractFiles; /* offset 40, always -1 */
  int32_t Reserved44;
  int32_t UpdateOlder;    /* offset 48 */
  int32_t FreshenOlder;   /* offset 52 */
  int32_t Option4;        /* offset 56 */
  int32_t NeverOverwrite; /* offset 60 */
  int32_t FileSpecCount;
  const char* ZipFileName;
  UnzipFileSpec* FileSpecs; /* FileSpecCount entries; NULL: every member */
  int32_t Reserved76[7];
  int32_t Fixed104; /* always 3 */
  int32_t Reserved108[9];
  int32_t Fixed144; /* always 7 */
} UnzipCommand;

#define UNZ_COMMAND_VERSION 160

/* Exports. UnzDllExec returns when the work is done, calling the callback on the calling thread meanwhile,
 * and answers the number of members written. GetUnzDllVersion answers the library's version. */
typedef int32_t (*UnzDllExecFunc)(UnzipCommand* command);
typedef int32_t (*GetUnzDllVersionFunc)(void);

#if defined(__cplusplus) && (UINTPTR_MAX == 0xFFFFFFFFu)
static_assert(sizeof(UnzipCommand) == 148, "UnzipCommand is 148 bytes");
static_assert(offsetof(UnzipCommand, ZipFileName) == 68, "ZipFileName at 68");
static_assert(offsetof(UnzipCommand, Fixed144) == 144, "last field at 144");
static_assert(sizeof(UnzipFileSpec) == 72, "UnzipFileSpec is 72 bytes");
static_assert(offsetof(UnzipCallbackData, ActionCode) == 16, "ActionCode at 16");
static_assert(offsetof(UnzipCallbackData, Text) == 28, "Text at 28");
#endif

#ifdef __cplusplus
}
#endif

#endif
