/* zarlib32: a ZIP archive library with a plain C ABI.
 *
 * Every export returns a signed 16-bit result code unless it says otherwise;
 * the codes are listed below as AX_* constants. The library holds process-wide
 * state and runs one operation at a time per process.
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

/* ---- Result codes ------------------------------------------------------ */

enum {
    AX_OK = 0,
    AX_UNKNOWN_KIND = -1,       /* file of no known kind, or unreadable */
    AX_BAD_ARCHIVE = -2,        /* bad record, missing signature, too short */
    AX_UNKNOWN_METHOD = -3,     /* no decoder for the method, or no such level */
    AX_CANCELLED = -4,          /* Ax4Cancel seen, or an answer not accepted */
    AX_NOTHING_DONE = -7,       /* nothing selected, or the directory ended */
    AX_SOME_ENTRIES_FAILED = -8,/* an unzip run skipped or doubted an entry */
    AX_BAD_OPTION = -9,         /* unknown or malformed option */
    AX_WRITE_FAILED = -10,      /* write failed, create failed, no room */
    AX_SHORT_READ = -11,        /* a read came up short, or a seek failed */
    AX_TOO_LONG = -18,          /* string, name, comment or buffer too long */
    AX_MISSING_ARGUMENT = -19,  /* required argument missing */
    AX_OPTION_CONFLICT = -20,   /* options exclude each other or repeat */
    AX_TOO_MANY = -21,          /* more than 65535 entries, or no room */
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
    uint32_t doneBytes;    /* bytes of it processed so far */
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

ZARLIB_EXPORT void AXAPI Ax4SetCPrint(int16_t on);
ZARLIB_EXPORT int16_t AXAPI Ax4GetCPrint(void);
ZARLIB_EXPORT void AXAPI Ax4CPrintHook(AxCPrintHookProc hook);
ZARLIB_EXPORT void AXAPI Ax4SetCPrintFlags(uint32_t flags);
/* Copies min(size, 4) bytes of the current entry's DOS date and time
 * (u16 date, then u16 time) and returns the count; size <= 0 returns size. */
ZARLIB_EXPORT int16_t AXAPI Ax4ExtendedCPrintInfo(int16_t size, void *buffer);
ZARLIB_EXPORT int16_t AXAPI Ax4MoreStatus(void);
ZARLIB_EXPORT uint16_t AXAPI Ax4GetParsePlace(void);
ZARLIB_EXPORT void AXAPI Ax4SetParseType(int16_t type);
ZARLIB_EXPORT int16_t AXAPI Ax4GetParseType(void);
ZARLIB_EXPORT void AXAPI Ax4Cancel(void);
ZARLIB_EXPORT void AXAPI Ax4SetDoEvents(int16_t on);
ZARLIB_EXPORT int16_t AXAPI Ax4GetDoEvents(void);
/* Percentage done of a job of `total` units with `remaining` left. */
ZARLIB_EXPORT int16_t AXAPI Ax4ZipPercent(int32_t total, int32_t remaining);

/* ---- Codecs ------------------------------------------------------------ */

/* Folds `count` bytes into a running CRC-32. Start at 0xFFFFFFFF and
 * complement the final value; no conditioning happens inside. */
ZARLIB_EXPORT uint32_t AXAPI AxCrc32A(const uint8_t *data, uint32_t count, uint32_t crc);

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
ZARLIB_EXPORT void AXAPI AxDeflateBufSize(uint32_t *mainSize, uint32_t *chainSize, uint32_t *tokenSize);
ZARLIB_EXPORT void AXAPI AxDeflateInit(void *mainBuffer, void *chainBuffer, void *tokenBuffer);
ZARLIB_EXPORT int32_t AXAPI AxDeflate(uint16_t chainLimit, int16_t dynamicBlocks, const uint8_t *input,
                                      uint32_t inputOffset, uint32_t *inputCount, uint8_t *output,
                                      uint32_t outputOffset, uint32_t *outputCount, int16_t lastInput,
                                      void *mainBuffer, void *chainBuffer, void *tokenBuffer);

#ifdef __cplusplus
}
#endif

#endif /* ZARLIB32_H */
