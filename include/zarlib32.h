/* zarlib32: a ZIP archive library with a plain C ABI.
 *
 * Every export returns a signed 16-bit result code unless it says otherwise;
 * the codes are listed below as AX_* constants (docs/result-codes.md gives
 * their texts). The library holds process-wide state and runs one operation
 * at a time per process: no two threads may call it at once.
 *
 * Arguments: pointers are inputs unless a comment says that the export
 * fills them; a null input string counts as empty where a comment allows
 * it. Archive handles (AxHandle) come from Ax4ZipOpen or Ax4ZipCreateMV;
 * exports that take `AxHandle *` may replace the handle (a writing run
 * reopens the archive it rewrote) and always leave a usable value in it.
 *
 * Reports: while reporting is on (Ax4SetCPrint), these calls report through
 * the CPrint hook: Ax4UnZip and Ax4QUnZip (progress, notices, the overwrite
 * question, disk questions), Ax4UnZipPtr (notices), Ax4Zip, Ax4QZip and
 * Ax4ZipPtr (progress, notices for links passed over, the replace question
 * with -.Q, disk questions of a set being written), Ax4ZipOpen of a spanned
 * set (disk questions while its directory is gathered, operation
 * AX_OP_INDEXING). docs/cprint.md describes the records and the answers.
 * No other export reports.
 */
#ifndef ZARLIB32_H
#define ZARLIB32_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention of every export and of the CPrint hook: the callee
 * removes its arguments on 32-bit Windows; elsewhere the platform default. */
#if defined(_WIN32) && !defined(_WIN64)
#define AXAPI __stdcall
#else
#define AXAPI
#endif

#if defined(_WIN32)
#if defined(ZARLIB_BUILDING)
#define ZARLIB_EXPORT __declspec(dllexport)
#else
#define ZARLIB_EXPORT __declspec(dllimport)
#endif
#else
#define ZARLIB_EXPORT __attribute__((visibility("default")))
#endif

/* No export lets a C++ exception escape. */
#if defined(__cplusplus)
#define AX_NOEXCEPT noexcept
#else
#define AX_NOEXCEPT
#endif

/* ---- Result codes ------------------------------------------------------ */

enum {
    AX_OK = 0,
    AX_UNKNOWN_KIND = -1,       /* file of no known kind, or unreadable */
    AX_BAD_ARCHIVE = -2,        /* bad record, missing signature, too short */
    AX_UNKNOWN_METHOD = -3,     /* no decoder for the method, or no such level */
    AX_CANCELLED = -4,          /* Ax4Cancel seen, or an answer not accepted */
    AX_NOTHING_DONE = -7,       /* nothing selected, or the directory ended */
    AX_SOME_ENTRIES_FAILED = -8,/* a run skipped or doubted an entry or a file */
    AX_BAD_OPTION = -9,         /* unknown or malformed option */
    AX_WRITE_FAILED = -10,      /* write failed, create failed, no room */
    AX_SHORT_READ = -11,        /* a read came up short, or a seek failed */
    AX_TOO_LONG = -18,          /* string, name, comment or buffer too long */
    AX_MISSING_ARGUMENT = -19,  /* required argument missing */
    AX_OPTION_CONFLICT = -20,   /* options exclude each other or repeat */
    AX_TOO_MANY = -21,          /* more than 65535 entries in a set over volumes, or no room */
    AX_BAD_DATE = -22,          /* bad date in a date option */
    AX_NOT_WRITABLE = -23,      /* archive not open for writing; bad mode */
    AX_WRONG_PASSWORD = -24,    /* per-entry notice */
    AX_CRC_MISMATCH = -25,      /* per-entry notice */
    AX_NOT_ON_THIS_KIND = -26,  /* not possible on this archive kind */
    AX_FIND_FIRST_NEEDED = -27, /* Ax4ZipFindNext before Ax4ZipFindFirst */
    AX_NOT_REMOVABLE = -28,     /* removable disks needed */
    AX_BAD_TRAILER = -29,       /* bad end trailer of the older single-file kind */
    AX_PATH_NOT_FOUND = 102,    /* path missing, empty, wildcarded, absent */
    AX_DIRECTORY_FAILED = 103,  /* a directory could not be created */
    AX_ACCESS_DENIED = 105,     /* open, create, delete, seek, read failed */
    AX_NOT_OPEN = 106,          /* not the handle of an open archive */
    AX_NO_MEMORY = 108,         /* out of memory */
    AX_BAD_PASSWORD = -12345,   /* password checks: wrong or missing */
    AX_USE_BUILTIN_DIALOG = -10000 /* hook answer: show the built-in dialog */
};

/* ---- Status reports ---------------------------------------------------- */

/* Report kinds (StatusRecord.kind). */
enum { AX_STATUS_NOTICE = 0, AX_STATUS_QUESTION = 1, AX_STATUS_PROGRESS = 2 };

/* Question codes (StatusRecord.code when kind is AX_STATUS_QUESTION). */
enum { AX_ASK_INSERT_DISK = 1, AX_ASK_FILE_EXISTS = 2, AX_ASK_LAST_DISK = 3 };

/* Operations (StatusRecord.operation). */
enum {
    AX_OP_ZIPPING = 0, AX_OP_UNZIPPING = 1, AX_OP_DELETING = 2,
    AX_OP_TESTING = 3, AX_OP_INDEXING = 4
};

/* Answers to reports, as the standard message boxes number them. */
enum { AX_ANSWER_OK = 1, AX_ANSWER_CANCEL = 2, AX_ANSWER_YES = 6, AX_ANSWER_NO = 7,
       AX_ANSWER_YES_TO_ALL = 106 };

#pragma pack(push, 1)
/* The record every report hands to the CPrint hook, byte for byte. */
typedef struct StatusRecord {
    char archiveName[260]; /* the archive being worked on, NUL-terminated */
    char entryName[260];   /* the entry or file being processed */
    int16_t operation;     /* AX_OP_*; -1 after Ax4SetCPrint(1) */
    uint32_t totalBytes;   /* uncompressed size of the current entry or file */
    uint32_t doneBytes;    /* bytes of it processed so far (from 4 GiB on, these three
                              sizes are shifted right alike, keeping their ratio) */
    uint32_t packedBytes;  /* compressed size of the current entry */
    uint16_t method;       /* level code (zipping) or method code (unzipping) */
    uint16_t reserved16;
    uint32_t reserved32;
    int16_t kind;          /* AX_STATUS_* */
    int16_t code;          /* what the notice or question is about */
    int16_t disk;          /* volume asked for by a disk question */
} StatusRecord;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(StatusRecord) == 548, "StatusRecord is a 548-byte external record");
#else
_Static_assert(sizeof(StatusRecord) == 548, "StatusRecord is a 548-byte external record");
#endif

/* The CPrint hook receives a copy of the record and answers a 16-bit value. */
typedef int16_t(AXAPI *AxCPrintHookProc)(StatusRecord record);

/* ---- Run state --------------------------------------------------------- */

/* The settings below are process-wide and keep their values until changed.
 * Strings given to the library and received from it are byte strings: UTF-8
 * on Linux (names pass through unchanged), the ANSI code page on Windows.
 * Paths are at most 260 bytes. No export keeps a pointer the host passed
 * after it returns, and the library never frees host memory. */

/* Reporting: nonzero turns it on. Then progress, per-entry notices and
 * questions go to the hook (Ax4CPrintHook), or without one to the built-in
 * dialogs (on the controlling terminal on Linux). Turning it on clears both
 * names and the size fields of the record and sets `operation` to -1. While
 * it is off, the library answers its own questions: notices 1 (go on), the
 * overwrite question 7 (keep the file), every other question 2 (cancel). */
ZARLIB_EXPORT void AXAPI Ax4SetCPrint(int16_t on) AX_NOEXCEPT;
/* 1 when reporting is on, else 0. */
ZARLIB_EXPORT int16_t AXAPI Ax4GetCPrint(void) AX_NOEXCEPT;
/* Installs the hook every report goes to while reporting is on; null removes
 * it. The hook gets a copy of the StatusRecord (with '\' separators in both
 * names) and answers as docs/cprint.md tells: AX_ANSWER_OK to a notice or a
 * disk question, AX_ANSWER_YES, AX_ANSWER_NO or AX_ANSWER_YES_TO_ALL to the
 * overwrite question, AX_USE_BUILTIN_DIALOG to let the library ask; any
 * other answer to a notice or question cancels the operation (AX_CANCELLED).
 * Progress answers are ignored. The hook runs inside the host's call, on its
 * thread; it may call Ax4Cancel, Ax4ExtendedCPrintInfo and the other run-
 * state exports, never start another operation. */
ZARLIB_EXPORT void AXAPI Ax4CPrintHook(AxCPrintHookProc hook) AX_NOEXCEPT;
/* Stores a flags word for the host. No bits are defined: the library keeps
 * the value and never reads it, so pass 0. */
ZARLIB_EXPORT void AXAPI Ax4SetCPrintFlags(uint32_t flags) AX_NOEXCEPT;
/* Copies min(size, 4) bytes of the current entry's DOS date and time
 * (u16 date, then u16 time) and returns the count; size <= 0 returns size.
 * The unzip run sets them for each entry before its first report, so a hook
 * can read them while it handles that entry's reports. */
ZARLIB_EXPORT int16_t AXAPI Ax4ExtendedCPrintInfo(int16_t size, void *buffer) AX_NOEXCEPT;
/* 0, or the code of the last per-entry problem of the last unzip run
 * (AX_WRONG_PASSWORD, AX_CRC_MISMATCH, AX_UNKNOWN_METHOD, AX_ACCESS_DENIED);
 * an unzip run that noted one returns AX_SOME_ENTRIES_FAILED. Reset at the
 * start of every unzip run. */
ZARLIB_EXPORT int16_t AXAPI Ax4MoreStatus(void) AX_NOEXCEPT;
/* After an option string was refused: the offset in it of the character
 * after the one where parsing stopped; 65535 when the last parse succeeded. */
ZARLIB_EXPORT uint16_t AXAPI Ax4GetParsePlace(void) AX_NOEXCEPT;
/* Selects the option syntax of later calls: 0 the first (every option starts
 * with '-' or '/'), nonzero the second (letters may follow each other: -rp).
 * docs/options.md lists both. */
ZARLIB_EXPORT void AXAPI Ax4SetParseType(int16_t type) AX_NOEXCEPT;
/* -1 when the second syntax is selected, else 0. */
ZARLIB_EXPORT int16_t AXAPI Ax4GetParseType(void) AX_NOEXCEPT;
/* Asks the running operation to stop: it returns AX_CANCELLED at its next
 * check (after each block and each progress report), leaving an archive it
 * was writing as it was. Safe from a hook and from a signal handler. A
 * cancel asked for while nothing runs stops the next operation at once. */
ZARLIB_EXPORT void AXAPI Ax4Cancel(void) AX_NOEXCEPT;
/* Yielding to the window system between blocks (on by default): on Windows
 * the calling thread's message queue is peeked; elsewhere nothing happens. */
ZARLIB_EXPORT void AXAPI Ax4SetDoEvents(int16_t on) AX_NOEXCEPT;
/* 1 when yielding is on, else 0. */
ZARLIB_EXPORT int16_t AXAPI Ax4GetDoEvents(void) AX_NOEXCEPT;
/* Percentage done of a job of `total` units with `remaining` left: 0 when
 * total < 1 or remaining >= total, 100 when remaining < 0. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipPercent(int32_t total, int32_t remaining) AX_NOEXCEPT;

/* ---- Archives ---------------------------------------------------------- */

/* An open archive. AX_NO_ARCHIVE means none. */
typedef uint32_t AxHandle;
#define AX_NO_ARCHIVE 0xFFFFFFFFu

/* Ax4ZipOpen modes (bits 0-2), and the bits that may be added to them. */
enum {
    AX_OPEN_DECIDE = 0,      /* from the file: create, update or read only */
    AX_OPEN_READ = 1,
    AX_OPEN_UPDATE = 2,
    AX_OPEN_CREATE = 3,      /* an existing file is emptied */
    AX_OPEN_SHARED = 0x8,    /* share reading and writing with others */
    AX_OPEN_LONG_NAMES = 0x100 /* names from the long-name extra blocks */
};

/* Archive kinds reported by Ax4IdentifyFile. */
enum {
    AX_KIND_NONE = 0, AX_KIND_ZIP = 1, AX_KIND_OWN_MULTI_VOLUME = 2, AX_KIND_SPANNED = 3,
    AX_KIND_FRONT_DIRECTORY = 4, AX_KIND_LZH = 5, AX_KIND_ARJ = 6, AX_KIND_ZOO = 7, AX_KIND_ARC = 8,
    AX_KIND_OLD_SINGLE_FILE = 9, AX_KIND_OWN_MULTI_VOLUME_3 = 10, AX_KIND_TAR = 11, AX_KIND_GZIP = 12,
    AX_KIND_SELF_EXTRACTING = 13
};

/* Values in a CDR: general-purpose flag bits, and the DOS attribute bits of
 * the external attributes. */
enum {
    AX_FLAG_ENCRYPTED = 0x0001,
    AX_FLAG_DATA_DESCRIPTOR = 0x0008, /* CRC and sizes follow the data */
    AX_FLAG_UTF8 = 0x0800,            /* name and comment are UTF-8 */
    AX_ATTR_READ_ONLY = 0x01,
    AX_ATTR_HIDDEN = 0x02,
    AX_ATTR_SYSTEM = 0x04,
    AX_ATTR_VOLUME_LABEL = 0x08,
    AX_ATTR_DIRECTORY = 0x10,
    AX_ATTR_ARCHIVE = 0x20
};

#pragma pack(push, 1)
/* The central directory record of one entry, as stored (signature "PK\1\2"). */
typedef struct CDR {
    uint32_t signature;
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint16_t time;           /* DOS time, local */
    uint16_t date;           /* DOS date, local */
    uint32_t crc;
    uint32_t packedSize;
    uint32_t unpackedSize;
    uint16_t nameLength;
    uint16_t extraLength;
    uint16_t commentLength;
    uint16_t diskStart;
    uint16_t internalAttributes;
    uint32_t externalAttributes; /* 0 for records made on other hosts than DOS */
    uint32_t localOffset;
} CDR;

/* The same values with the 32-bit fields first, for Basic hosts. */
typedef struct CDRVB32 {
    uint32_t signature;
    uint32_t crc;
    uint32_t packedSize;
    uint32_t unpackedSize;
    uint32_t externalAttributes;
    uint32_t localOffset;
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint16_t time;
    uint16_t date;
    uint16_t nameLength;
    uint16_t extraLength;
    uint16_t commentLength;
    uint16_t diskStart;
    uint16_t internalAttributes;
} CDRVB32;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(CDR) == 46 && sizeof(CDRVB32) == 46, "central records are 46 bytes");
#else
_Static_assert(sizeof(CDR) == 46 && sizeof(CDRVB32) == 46, "central records are 46 bytes");
#endif

/* Which kind of archive the file at `path` holds: on success `*kind`
 * receives an AX_KIND_* value; on failure it is left as it was.
 * AX_UNKNOWN_KIND: no known kind; AX_ACCESS_DENIED: the file cannot be
 * opened (a missing file included). */
ZARLIB_EXPORT int16_t AXAPI Ax4IdentifyFile(const char *path, uint16_t *kind) AX_NOEXCEPT;
/* Opens the archive at `path`; `*handle` receives it, or AX_NO_ARCHIVE on
 * failure. `mode`: AX_OPEN_READ for every kind; AX_OPEN_UPDATE and
 * AX_OPEN_CREATE make sense for ZIP archives only (a writing run on another
 * kind gives AX_NOT_WRITABLE); AX_OPEN_DECIDE creates a missing file,
 * updates a ZIP archive and reads the rest. Add AX_OPEN_LONG_NAMES to see names from long-name extra blocks and
 * AX_OPEN_SHARED to let others read and write meanwhile. Kinds other than
 * ZIP are read through a temporary work file that Ax4ZipClose deletes.
 * AX_PATH_NOT_FOUND, AX_ACCESS_DENIED (no end record either: a cut or
 * damaged ZIP archive), AX_UNKNOWN_KIND, AX_BAD_ARCHIVE, AX_NOT_WRITABLE (a
 * mode outside 0 to 3), AX_NO_MEMORY. Close every handle with Ax4ZipClose. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipOpen(const char *path, int16_t mode, AxHandle *handle) AX_NOEXCEPT;
/* Creates the first volume of a new multi-volume set for Ax4Zip to fill.
 * `kind`: AX_KIND_OWN_MULTI_VOLUME (volumes name.001, name.002, ... on any
 * drive), AX_KIND_SPANNED or AX_KIND_FRONT_DIRECTORY (one name on every disk
 * of a removable drive, labelled "PKBACK# 001", ...), AX_KIND_OWN_MULTI_VOLUME_3
 * (one file, name.001). The sizes bound the first and the later volumes; 0
 * takes the drive's free space. `*handle` receives the archive, or
 * AX_NO_ARCHIVE on failure. AX_NOT_REMOVABLE: a disk kind on a fixed drive. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipCreateMV(const char *archiveName, uint16_t kind, uint32_t firstVolumeSize,
                                           uint32_t nextVolumeSize, AxHandle *handle) AX_NOEXCEPT;
/* Closes the archive and sets `*handle` to AX_NO_ARCHIVE, also when it was
 * no open archive. A new archive that stayed empty is deleted. */
ZARLIB_EXPORT void AXAPI Ax4ZipClose(AxHandle *handle) AX_NOEXCEPT;

/* Enumeration: Ax4ZipFindFirst, then Ax4ZipFindNext until it returns
 * AX_NOTHING_DONE. Each fills `*record` with the entry's central record,
 * `name` (261 bytes, NUL-terminated, '/' separators), and `extra` and
 * `comment` up to their sizes; `extra` and `comment` may be null (or their
 * size 65535) to skip them. AX_TOO_LONG: a part was cut to fit (the record
 * is still filled and the enumeration goes on); AX_FIND_FIRST_NEEDED:
 * Ax4ZipFindNext before Ax4ZipFindFirst; AX_NOT_OPEN. The VB32 twins fill
 * the CDRVB32 layout instead. For kinds other than ZIP the records describe
 * the members as ZIP entries (the method field holds the kind's own method
 * number, external attributes 0 for members made on other systems). */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipFindFirst(AxHandle handle, CDR *record, char *name, uint8_t *extra,
                                            uint16_t extraSize, char *comment, uint16_t commentSize) AX_NOEXCEPT;
ZARLIB_EXPORT int16_t AXAPI Ax4ZipFindNext(AxHandle handle, CDR *record, char *name, uint8_t *extra,
                                           uint16_t extraSize, char *comment, uint16_t commentSize) AX_NOEXCEPT;
ZARLIB_EXPORT int16_t AXAPI Ax4ZipFindFirstVB32(AxHandle handle, CDRVB32 *record, char *name, uint8_t *extra,
                                                uint16_t extraSize, char *comment, uint16_t commentSize) AX_NOEXCEPT;
ZARLIB_EXPORT int16_t AXAPI Ax4ZipFindNextVB32(AxHandle handle, CDRVB32 *record, char *name, uint8_t *extra,
                                               uint16_t extraSize, char *comment, uint16_t commentSize) AX_NOEXCEPT;
/* Reads the record at `*position` and moves it to the next; start from Ax4GetCDR. */
ZARLIB_EXPORT int16_t AXAPI Ax4ReadCDR(AxHandle handle, uint32_t *position, CDR *record, char *name,
                                       uint8_t *extra, uint16_t extraSize, char *comment,
                                       uint16_t commentSize) AX_NOEXCEPT;
/* Offset of the first central record, or 0xFFFFFFFF (unknown handle, or not yet located). */
ZARLIB_EXPORT uint32_t AXAPI Ax4GetCDR(AxHandle handle) AX_NOEXCEPT;
/* Offset of the enumeration's next record, or 0xFFFFFFFF. */
ZARLIB_EXPORT uint32_t AXAPI Ax4GetNextCDR(AxHandle handle) AX_NOEXCEPT;
/* `*count` receives the archive's entry count from its end record; 65535
 * stands for "65535 or more" (Ax4ZipFoundSizes64 gives the full count).
 * AX_TOO_LONG when `count` is null. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipCount(AxHandle handle, uint16_t *count) AX_NOEXCEPT;
/* The full-width sizes and local header offset of the entry the enumeration
 * (Ax4ZipFindFirst/Next and their VB32 forms) read last, where the CDR shows
 * 0xFFFFFFFF for a value past 32 bits, and the archive's full entry count.
 * Any pointer may be null to skip that value. AX_FIND_FIRST_NEEDED before the
 * enumeration has started; the count's read may fail as Ax4ZipCount does. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipFoundSizes64(AxHandle handle, uint64_t *packedSize, uint64_t *unpackedSize,
                                               uint64_t *localOffset, uint64_t *entryCount) AX_NOEXCEPT;
/* The archive comment, NUL-terminated; AX_TOO_LONG when cut to fit. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipComment(AxHandle handle, char *comment, int32_t size) AX_NOEXCEPT;
/* The name an entry is known by (from its long-name block, if any); `name`
 * holds 261 bytes and may be `stored` itself. */
ZARLIB_EXPORT void AXAPI Ax4EffectiveFileName(const char *stored, const uint8_t *extra, uint16_t extraLength,
                                              char *name) AX_NOEXCEPT;

/* ---- Extraction -------------------------------------------------------- */

/* Extracts (or with -T tests) the entries of the open archive `*handle` that
 * `includeSpecs` selects and `excludeSpecs` does not, into `outputDir` (null
 * or empty: the current directory). 0 when every selected entry was handled;
 * AX_SOME_ENTRIES_FAILED when one was skipped or is suspect (Ax4MoreStatus names the
 * last problem); AX_NOTHING_DONE when nothing was processed. */
ZARLIB_EXPORT int16_t AXAPI Ax4UnZip(AxHandle *handle, const char *outputDir, const char *includeSpecs,
                                     const char *excludeSpecs, const char *options) AX_NOEXCEPT;
/* Opens `archiveName` read-only, runs Ax4UnZip on it with `fileSpecs` as the
 * selection and no exclusions, and closes it; the same results. */
ZARLIB_EXPORT int16_t AXAPI Ax4QUnZip(const char *archiveName, const char *outputDir, const char *fileSpecs,
                                      const char *options) AX_NOEXCEPT;

/* Decodes the first entry of the open archive `handle` that `fileSpec` names
 * (a directory part and a file part, empty meaning '*'; a wildcard file part
 * matches in every directory below) into `destination`: its decoded bytes
 * startOffset up to startOffset + count - 1, or up to the entry's end when
 * count is negative. `destination` needs room for count bytes (for the whole
 * entry when count is negative); nothing is written past them nor past the
 * entry's declared size, and a window past the end delivers nothing. Only -T
 * (check the password and method, decode nothing), -.L and the password of
 * `options` count. Successive windows of one entry continue the decode where
 * the previous window ended, so reading an entry window by window costs one
 * pass over its data. No CRC-32 is checked (a window cannot be judged by it):
 * a host that reads a whole entry compares AxCrc32A of its bytes with the
 * entry's record. AX_CRC_MISMATCH: the data is damaged, ending (or turning
 * out invalid) short of the window although the entry declares more, so the
 * window was only partly filled; AX_BAD_PASSWORD, AX_UNKNOWN_METHOD,
 * AX_NOTHING_DONE (no entry matches). */
ZARLIB_EXPORT int16_t AXAPI Ax4UnZipPtr(AxHandle handle, void *destination, int32_t startOffset, int32_t count,
                                        const char *fileSpec, const char *options) AX_NOEXCEPT;

/* Adds a filter for the next extraction with -.D: restored directories that
 * begin with `fromDir` (a drive and/or directory) go under `toDir` instead. */
ZARLIB_EXPORT int16_t AXAPI Ax4AddUnZipPathFilter(const char *fromDir, const char *toDir) AX_NOEXCEPT;
/* 1 when `path` names an existing directory, else 0. */
ZARLIB_EXPORT int16_t AXAPI Ax4DirExist(const char *path) AX_NOEXCEPT;

/* ---- Writing ----------------------------------------------------------- */

/* Adds the files `includeSpecs` selects (less `excludeSpecs`) to the open
 * archive `*handle`, replacing, updating or freshening entries as the options
 * say; with -D deletes the entries they name instead; with no files and -O
 * gives the archive its newest entry's time. The new archive is built beside
 * the old one and takes its place only when the whole run succeeded, so a
 * failed run leaves the archive as it was; `*handle` receives the reopened
 * archive's handle. Symbolic links are followed, a link to a directory walked
 * like a directory unless it leads back into the walk; such a link, and one
 * that leads nowhere, is passed over with a notice (AX_ACCESS_DENIED for a
 * loop, AX_PATH_NOT_FOUND for a broken link), and the run then returns
 * AX_SOME_ENTRIES_FAILED with the archive written all the same
 * (Ax4MoreStatus names the last problem). Files of up to 16 MiB are
 * compressed ahead on worker threads, some 64 MiB of them at a time:
 * one thread per processor, or as many as the environment variable
 * ZARLIB_THREADS says (1 to 64; 1: none besides the caller's). The archive
 * is the same byte for byte, and every report, question and DoEvents step
 * is made on the calling thread in the same order, whatever their number;
 * a cancel stops the workers within a block. */
ZARLIB_EXPORT int16_t AXAPI Ax4Zip(AxHandle *handle, const char *includeSpecs, const char *excludeSpecs,
                                   const char *options) AX_NOEXCEPT;
/* Opens or creates `archiveName` (AX_OPEN_DECIDE), runs Ax4Zip on it with
 * no exclusions and closes it; the same results. */
ZARLIB_EXPORT int16_t AXAPI Ax4QZip(const char *archiveName, const char *includeSpecs,
                                    const char *options) AX_NOEXCEPT;

/* Stores the `length` bytes at `data` (none for 0 or less) as the entry
 * `name` of the open archive `*handle`, through the same run as Ax4Zip: an
 * entry of that name is replaced, and every option of Ax4Zip applies but -D
 * (AX_OPTION_CONFLICT). The name is stored exactly as given, whatever the
 * path options say: a relative name, '/' between directories. The data is
 * staged in a directory of the library's own, private to this user, that is
 * removed afterwards; no other file is touched. AX_PATH_NOT_FOUND for an
 * empty, absolute or otherwise unusable name; `*handle` receives the
 * archive's new handle. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipPtr(AxHandle *handle, const void *data, int32_t length, const char *name,
                                     const char *options) AX_NOEXCEPT;

/* Replaces the archive comment in place (null or empty: none). */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipNewComment(AxHandle handle, const char *comment) AX_NOEXCEPT;
/* Sets the comment of every entry that `pattern` matches in its own directory
 * (empty comment: none) by rebuilding the archive; `*handle` receives the
 * reopened archive's handle. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipNewFileComment(AxHandle *handle, const char *pattern,
                                                 const char *comment) AX_NOEXCEPT;

/* Replaces the stored path prefix `oldPath` by `newPath` in the names of the
 * entries of the archive `archiveName` (opened and closed by name; with
 * `longNames` nonzero, entries are known by their long names), in local
 * headers and central records alike; everything else of every entry is
 * copied unchanged. Only the drive and directory parts of the two paths count:
 * a directory ends with '/' ("OLD" is a file name in no directory, so every
 * name without a drive matches it). Names compare as the file system compares
 * them. The result goes to `newArchiveName` (a file there is replaced only
 * when the run succeeds) or, when that is null, empty or the archive's own
 * name, back over the archive, which a failed or cancelled run leaves as it
 * was; in place, a run that changes nothing rewrites nothing when `changed`
 * is given. `*changed` (may be null) receives how many names changed.
 * AX_TOO_LONG: a new name would exceed 260 characters (nothing is written);
 * AX_NOT_ON_THIS_KIND: not a ZIP archive. */
ZARLIB_EXPORT int16_t AXAPI Ax4ChangeDirPaths(const char *archiveName, const char *newArchiveName,
                                             const char *oldPath, const char *newPath, int16_t longNames,
                                             uint16_t *changed) AX_NOEXCEPT;

/* ---- Codecs: CRC-32 ---------------------------------------------------- */

/* Folds `count` bytes into a running CRC-32. Start at 0xFFFFFFFF and
 * complement the final value; no conditioning happens inside. */
ZARLIB_EXPORT uint32_t AXAPI AxCrc32A(const uint8_t *data, uint32_t count, uint32_t crc) AX_NOEXCEPT;

/* ---- Codecs: Inflate --------------------------------------------------- */

/* Raw Deflate decoding as a resumable stream filter. The caller owns a work
 * buffer of AxInflateUCBufSize() bytes (39028, any alignment) that holds the
 * whole state of one stream, and prepares it with AxInflateUCInit before the
 * first call of each stream.
 *
 * AxInflateUC reads input + inputOffset and writes output + outputOffset. On
 * entry *inputCount and *outputCount give the bytes offered and the room; on
 * every return they hold the bytes taken and the bytes written. Bytes of the
 * room beyond those written may have been overwritten.
 *   0: call again. All offered input was taken, or all of the room was
 *      filled (possibly with all input taken as well): offer the input not
 *      taken plus fresh input, or fresh room, and the decoder continues where
 *      it stopped.
 *  -1: the stream is over: either the final block was decoded and all of its
 *      output delivered (*inputCount then includes up to two bytes after the
 *      stream's last byte that the decoder reads ahead by), or the data are
 *      invalid (*inputCount is the whole count offered; the output decoded
 *      before the fault was delivered). Call AxInflateUCInit before reusing
 *      the buffer.
 * Set lastInput nonzero when the input offered holds the end of the
 * compressed data; without it the decoder waits for its look-ahead bytes. */
ZARLIB_EXPORT uint32_t AXAPI AxInflateUCBufSize(void) AX_NOEXCEPT;
ZARLIB_EXPORT void AXAPI AxInflateUCInit(void *work) AX_NOEXCEPT;
ZARLIB_EXPORT int32_t AXAPI AxInflateUC(const uint8_t *input, uint32_t inputOffset, uint32_t *inputCount,
                                        uint8_t *output, uint32_t outputOffset, uint32_t *outputCount,
                                        void *work, int16_t lastInput) AX_NOEXCEPT;

/* ---- Codecs: Deflate --------------------------------------------------- */

/* Deflate compression into a raw Deflate stream through three caller-owned
 * work buffers (any alignment), whose sizes AxDeflateBufSize stores: 57613,
 * 65536 and 25600 bytes. AxDeflateInit prepares them for a new stream; then
 * AxDeflate is called until it returns -1, advancing the input by the count
 * taken and draining the output written each time, with lastInput nonzero once
 * the rest of the data is offered. It returns 0 when it has taken all offered
 * input and waits for more (lastInput zero), or when it has filled the offered
 * room (or a byte waits and no room was offered); -1 when the stream is
 * complete. inputCount and outputCount hold the counts offered and receive the
 * counts taken and written. chainLimit sets the search effort (8, 25, 55 and
 * 505 are the usual settings; below 8 counts as 10, above 2048 as 2048);
 * dynamicBlocks nonzero codes every block with its own Huffman codes, zero
 * with the fixed codes. The stream depends on the data and these two settings
 * only, not on how input and room are split. A null buffer or count pointer
 * (or a null input or output with a nonzero count) returns -1 at once with
 * nothing taken or written. */
ZARLIB_EXPORT void AXAPI AxDeflateBufSize(uint32_t *mainSize, uint32_t *chainSize, uint32_t *tokenSize) AX_NOEXCEPT;
ZARLIB_EXPORT void AXAPI AxDeflateInit(void *mainBuffer, void *chainBuffer, void *tokenBuffer) AX_NOEXCEPT;
ZARLIB_EXPORT int32_t AXAPI AxDeflate(uint16_t chainLimit, int16_t dynamicBlocks, const uint8_t *input,
                                      uint32_t inputOffset, uint32_t *inputCount, uint8_t *output,
                                      uint32_t outputOffset, uint32_t *outputCount, int16_t lastInput,
                                      void *mainBuffer, void *chainBuffer, void *tokenBuffer) AX_NOEXCEPT;

/* ---- Traditional encryption -------------------------------------------- */

/* One stream at a time: the keys are shared by the whole library, and an
 * archive operation that decrypts or encrypts replaces them. */
/* Sets the keys from the `length` bytes of `password`. */
ZARLIB_EXPORT void AXAPI AxInitKeys(const uint8_t *password, uint16_t length) AX_NOEXCEPT;
/* Encrypts `count` bytes in place and moves the keys on. */
ZARLIB_EXPORT void AXAPI AxEncryptData(uint8_t *buffer, uint32_t count) AX_NOEXCEPT;
/* Decrypts `count` bytes in place and moves the keys on. */
ZARLIB_EXPORT void AXAPI AxDecryptData(uint8_t *buffer, uint32_t count) AX_NOEXCEPT;
/* Fills a plain 12-byte encryption header for an entry of CRC-32 `crc`. */
ZARLIB_EXPORT void AXAPI AxInitHeader(uint8_t *header, uint32_t crc) AX_NOEXCEPT;
/* Checks a password on the entry whose encryption header is next in `file`
 * (an open archive's handle, positioned after the entry's local header):
 * AX_OK (the keys are ready for its data), AX_BAD_PASSWORD or AX_SHORT_READ.
 * `record` is the entry's central record; the VB32 twin takes the Basic
 * layout. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipCheckPassword(uint32_t file, CDR *record, const char *password) AX_NOEXCEPT;
ZARLIB_EXPORT int16_t AXAPI Ax4ZipCheckPasswordVB32(uint32_t file, const CDRVB32 *record,
                                                    const char *password) AX_NOEXCEPT;

/* ---- DOS date and time ------------------------------------------------- */

/* DOS dates and times are local: date = (year - 1980) << 9 | month << 5 | day,
 * time = hour << 11 | minute << 5 | second / 2. The date 0 means no date. */
/* The fields of a DOS date and time; the year is the full year (1980 on). */
ZARLIB_EXPORT void AXAPI Ax4ExpandDosDate(uint16_t date, uint16_t *month, uint16_t *day,
                                          uint16_t *year) AX_NOEXCEPT;
ZARLIB_EXPORT void AXAPI Ax4ExpandDosTime(int16_t time, uint16_t *hour, uint16_t *minute,
                                          uint16_t *second) AX_NOEXCEPT;
/* Years below 80 count as 20xx and 80-99 as 19xx; fields are not checked. */
ZARLIB_EXPORT void AXAPI Ax4CompressDosDate(int16_t month, int16_t day, int16_t year, uint16_t *date) AX_NOEXCEPT;
ZARLIB_EXPORT void AXAPI Ax4CompressDosTime(int16_t hour, int16_t minute, int16_t second,
                                            uint16_t *time) AX_NOEXCEPT;
/* A file's last-write time; a time before 1980 gives the date 0 with its time
 * of day. AX_ACCESS_DENIED when the file cannot be opened. */
ZARLIB_EXPORT int16_t AXAPI Ax4DosGetFileTime(const char *path, uint16_t *date, uint16_t *time) AX_NOEXCEPT;
/* Sets a file's last-write time; the date 0 stands for 1 January 1980. */
ZARLIB_EXPORT int16_t AXAPI Ax4DosSetFileTime(const char *path, uint32_t date, uint32_t time) AX_NOEXCEPT;

/* ---- Text files ------------------------------------------------------- */

/* Uuencodes `source` into `output` (null or empty: the source's name with
 * ".uue"). With `partLimit` (below 2048: kilobytes; below 1: none) text that
 * would be longer goes into numbered parts name.1, name.2, ..., their count
 * in `*parts`; `cutLines` frames the text with cut lines. The text ends with
 * the file's size after "end". Files are complete or absent: a failed run
 * leaves what was there. AX_CANCELLED: a null argument; AX_TOO_LONG: over 900
 * parts. */
ZARLIB_EXPORT int16_t AXAPI Ax4UUEncode(const char *source, const char *output, int32_t partLimit,
                                        uint32_t cutLines, uint16_t *parts) AX_NOEXCEPT;
/* Decodes uuencoded text (".uue" added to a name without extension; name.1
 * goes on with name.2, ...) into the file its "begin" line names, placed in
 * `outputDirectory` (null: the source's directory) whatever directories the
 * name has. AX_UNKNOWN_KIND: no "begin" line; AX_SOME_ENTRIES_FAILED: the text
 * ends early or a line is short; AX_CRC_MISMATCH: a character that is not
 * uuencode; AX_TOO_LONG: a line over 254 characters. */
ZARLIB_EXPORT int16_t AXAPI Ax4UUDecode(const char *source, const char *outputDirectory) AX_NOEXCEPT;
/* Copies a text file turning each LF into CR LF; `endMark` adds a Ctrl-Z. */
ZARLIB_EXPORT int16_t AXAPI Ax4LfToCrLf(const char *source, const char *destination, int16_t endMark) AX_NOEXCEPT;
/* Copies a text file turning CR LF and lone CRs into LF, up to a Ctrl-Z.
 * Both conversions replace the destination only when complete, so the source
 * may be the destination. */
ZARLIB_EXPORT int16_t AXAPI Ax4CrLfToLf(const char *source, const char *destination) AX_NOEXCEPT;

/* ---- Helpers for Basic hosts ------------------------------------------ */

/* (high & 0xFFFF) << 16 | (low & 0xFFFF). */
ZARLIB_EXPORT uint32_t AXAPI AxFarAddr(uint32_t high, uint32_t low) AX_NOEXCEPT;
/* The value itself: a caller that declares a 16-bit result reads its low word. */
ZARLIB_EXPORT uint32_t AXAPI AxLongLow(uint32_t value) AX_NOEXCEPT;
/* value >> 16, unsigned. */
ZARLIB_EXPORT uint32_t AXAPI AxLongHigh(uint32_t value) AX_NOEXCEPT;
/* The older names: LSeg and VarPtr as AxLongLow, VarSeg as AxLongHigh. */
ZARLIB_EXPORT uint32_t AXAPI LSeg(uint32_t value) AX_NOEXCEPT;
ZARLIB_EXPORT uint32_t AXAPI VarSeg(uint32_t value) AX_NOEXCEPT;
ZARLIB_EXPORT uint32_t AXAPI VarPtr(uint32_t value) AX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* ZARLIB32_H */
