/* The ABI of the 32-bit zarlib32.dll, checked where it is compiled: a C host
 * built for i686 that sees nothing but the public header and links the import
 * library. The records that cross the ABI have their sizes and every field
 * its offset; every export is taken with its declared type spelt out with
 * __stdcall, so an export of another calling convention fails to compile
 * (-Werror=incompatible-pointer-types), and one whose arguments the DLL does
 * not take (another "@n" in its symbol) fails to link. The program is never
 * run: these machines cannot execute 32-bit code. */
#include <stddef.h>

#include "zarlib32.h"

#define AT(type, field, offset) _Static_assert(offsetof(type, field) == (offset), #type "." #field)

_Static_assert(sizeof(void *) == 4, "this check is for the 32-bit DLL");
_Static_assert(sizeof(StatusRecord) == 548, "StatusRecord");
AT(StatusRecord, archiveName, 0);
AT(StatusRecord, entryName, 260);
AT(StatusRecord, operation, 520);
AT(StatusRecord, totalBytes, 522);
AT(StatusRecord, doneBytes, 526);
AT(StatusRecord, packedBytes, 530);
AT(StatusRecord, method, 534);
AT(StatusRecord, reserved16, 536);
AT(StatusRecord, reserved32, 538);
AT(StatusRecord, kind, 542);
AT(StatusRecord, code, 544);
AT(StatusRecord, disk, 546);

_Static_assert(sizeof(CDR) == 46, "CDR");
AT(CDR, signature, 0);
AT(CDR, versionMadeBy, 4);
AT(CDR, versionNeeded, 6);
AT(CDR, flags, 8);
AT(CDR, method, 10);
AT(CDR, time, 12);
AT(CDR, date, 14);
AT(CDR, crc, 16);
AT(CDR, packedSize, 20);
AT(CDR, unpackedSize, 24);
AT(CDR, nameLength, 28);
AT(CDR, extraLength, 30);
AT(CDR, commentLength, 32);
AT(CDR, diskStart, 34);
AT(CDR, internalAttributes, 36);
AT(CDR, externalAttributes, 38);
AT(CDR, localOffset, 42);

_Static_assert(sizeof(CDRVB32) == 46, "CDRVB32");
AT(CDRVB32, signature, 0);
AT(CDRVB32, crc, 4);
AT(CDRVB32, packedSize, 8);
AT(CDRVB32, unpackedSize, 12);
AT(CDRVB32, externalAttributes, 16);
AT(CDRVB32, localOffset, 20);
AT(CDRVB32, versionMadeBy, 24);
AT(CDRVB32, versionNeeded, 26);
AT(CDRVB32, flags, 28);
AT(CDRVB32, method, 30);
AT(CDRVB32, time, 32);
AT(CDRVB32, date, 34);
AT(CDRVB32, nameLength, 36);
AT(CDRVB32, extraLength, 38);
AT(CDRVB32, commentLength, 40);
AT(CDRVB32, diskStart, 42);
AT(CDRVB32, internalAttributes, 44);

_Static_assert(sizeof(AxHandle) == 4, "AxHandle");

/* The hook the host hands over is __stdcall too. */
static int16_t __stdcall hook(StatusRecord record) { return (int16_t)record.kind; }
static const AxCPrintHookProc hookType = hook;

/* Each export's address in a pointer of its declared type, stored where the
 * optimiser must keep it, so that every import is bound. */
static const void *volatile sink;
#define CHECK(ret, name, args)                       \
    {                                                \
        ret(__stdcall *const check) args = name;     \
        sink = (const void *)check;                  \
        ++bound;                                     \
    }

int main(void) {
    int bound = 0;
    CHECK(void, Ax4SetCPrint, (int16_t))
    CHECK(int16_t, Ax4GetCPrint, (void))
    CHECK(void, Ax4CPrintHook, (AxCPrintHookProc))
    CHECK(void, Ax4SetCPrintFlags, (uint32_t))
    CHECK(int16_t, Ax4ExtendedCPrintInfo, (int16_t, void*))
    CHECK(int16_t, Ax4MoreStatus, (void))
    CHECK(uint16_t, Ax4GetParsePlace, (void))
    CHECK(void, Ax4SetParseType, (int16_t))
    CHECK(int16_t, Ax4GetParseType, (void))
    CHECK(void, Ax4Cancel, (void))
    CHECK(void, Ax4SetDoEvents, (int16_t))
    CHECK(int16_t, Ax4GetDoEvents, (void))
    CHECK(int16_t, Ax4ZipPercent, (int32_t, int32_t))
    CHECK(int16_t, Ax4IdentifyFile, (const char*, uint16_t*))
    CHECK(int16_t, Ax4ZipOpen, (const char*, int16_t, AxHandle*))
    CHECK(int16_t, Ax4ZipCreateMV, (const char*, uint16_t, uint32_t, uint32_t, AxHandle*))
    CHECK(void, Ax4ZipClose, (AxHandle*))
    CHECK(int16_t, Ax4ZipFindFirst, (AxHandle, CDR*, char*, uint8_t*, uint16_t, char*, uint16_t))
    CHECK(int16_t, Ax4ZipFindNext, (AxHandle, CDR*, char*, uint8_t*, uint16_t, char*, uint16_t))
    CHECK(int16_t, Ax4ZipFindFirstVB32, (AxHandle, CDRVB32*, char*, uint8_t*, uint16_t, char*, uint16_t))
    CHECK(int16_t, Ax4ZipFindNextVB32, (AxHandle, CDRVB32*, char*, uint8_t*, uint16_t, char*, uint16_t))
    CHECK(int16_t, Ax4ReadCDR, (AxHandle, uint32_t*, CDR*, char*, uint8_t*, uint16_t, char*, uint16_t))
    CHECK(uint32_t, Ax4GetCDR, (AxHandle))
    CHECK(uint32_t, Ax4GetNextCDR, (AxHandle))
    CHECK(int16_t, Ax4ZipCount, (AxHandle, uint16_t*))
    CHECK(int16_t, Ax4ZipFoundSizes64, (AxHandle, uint64_t*, uint64_t*, uint64_t*, uint64_t*))
    CHECK(int16_t, Ax4ZipComment, (AxHandle, char*, int32_t))
    CHECK(void, Ax4EffectiveFileName, (const char*, const uint8_t*, uint16_t, char*))
    CHECK(int16_t, Ax4UnZip, (AxHandle*, const char*, const char*, const char*, const char*))
    CHECK(int16_t, Ax4QUnZip, (const char*, const char*, const char*, const char*))
    CHECK(int16_t, Ax4UnZipPtr, (AxHandle, void*, int32_t, int32_t, const char*, const char*))
    CHECK(int16_t, Ax4AddUnZipPathFilter, (const char*, const char*))
    CHECK(int16_t, Ax4DirExist, (const char*))
    CHECK(int16_t, Ax4Zip, (AxHandle*, const char*, const char*, const char*))
    CHECK(int16_t, Ax4QZip, (const char*, const char*, const char*))
    CHECK(int16_t, Ax4ZipPtr, (AxHandle*, const void*, int32_t, const char*, const char*))
    CHECK(int16_t, Ax4ZipNewComment, (AxHandle, const char*))
    CHECK(int16_t, Ax4ZipNewFileComment, (AxHandle*, const char*, const char*))
    CHECK(int16_t, Ax4ChangeDirPaths, (const char*, const char*, const char*, const char*, int16_t, uint16_t*))
    CHECK(uint32_t, AxCrc32A, (const uint8_t*, uint32_t, uint32_t))
    CHECK(uint32_t, AxInflateUCBufSize, (void))
    CHECK(void, AxInflateUCInit, (void*))
    CHECK(int32_t, AxInflateUC, (const uint8_t*, uint32_t, uint32_t*, uint8_t*, uint32_t, uint32_t*, void*, int16_t))
    CHECK(void, AxDeflateBufSize, (uint32_t*, uint32_t*, uint32_t*))
    CHECK(void, AxDeflateInit, (void*, void*, void*))
    CHECK(int32_t, AxDeflate, (uint16_t, int16_t, const uint8_t*, uint32_t, uint32_t*, uint8_t*, uint32_t, uint32_t*, int16_t, void*, void*, void*))
    CHECK(void, AxInitKeys, (const uint8_t*, uint16_t))
    CHECK(void, AxEncryptData, (uint8_t*, uint32_t))
    CHECK(void, AxDecryptData, (uint8_t*, uint32_t))
    CHECK(void, AxInitHeader, (uint8_t*, uint32_t))
    CHECK(int16_t, Ax4ZipCheckPassword, (uint32_t, CDR*, const char*))
    CHECK(int16_t, Ax4ZipCheckPasswordVB32, (uint32_t, const CDRVB32*, const char*))
    CHECK(void, Ax4ExpandDosDate, (uint16_t, uint16_t*, uint16_t*, uint16_t*))
    CHECK(void, Ax4ExpandDosTime, (int16_t, uint16_t*, uint16_t*, uint16_t*))
    CHECK(void, Ax4CompressDosDate, (int16_t, int16_t, int16_t, uint16_t*))
    CHECK(void, Ax4CompressDosTime, (int16_t, int16_t, int16_t, uint16_t*))
    CHECK(int16_t, Ax4DosGetFileTime, (const char*, uint16_t*, uint16_t*))
    CHECK(int16_t, Ax4DosSetFileTime, (const char*, uint32_t, uint32_t))
    CHECK(int16_t, Ax4UUEncode, (const char*, const char*, int32_t, uint32_t, uint16_t*))
    CHECK(int16_t, Ax4UUDecode, (const char*, const char*))
    CHECK(int16_t, Ax4LfToCrLf, (const char*, const char*, int16_t))
    CHECK(int16_t, Ax4CrLfToLf, (const char*, const char*))
    CHECK(uint32_t, AxFarAddr, (uint32_t, uint32_t))
    CHECK(uint32_t, AxLongLow, (uint32_t))
    CHECK(uint32_t, AxLongHigh, (uint32_t))
    CHECK(uint32_t, LSeg, (uint32_t))
    CHECK(uint32_t, VarSeg, (uint32_t))
    CHECK(uint32_t, VarPtr, (uint32_t))
    return bound == 68 && hookType != NULL ? 0 : 1;
}
