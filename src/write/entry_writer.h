// The entry writer: turns one file on disk, one directory or the volume label
// into one ZIP entry at the end of a run's data file, and appends its central
// record to the run's directory file. The local header is written first as a
// placeholder of its final length and patched once the CRC and the sizes are
// known; no data descriptor is ever written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/handles.h"
#include "codec/deflate.h"
#include "frame/options.h"
#include "frame/result.h"
#include "fs/file_io.h"
#include "fs/file_list.h"

namespace zar::write {

// Levels above this one are refused; 5 to 9 are accepted but only an empty
// file, a directory or the label can be written at them.
inline constexpr uint16_t kHighestLevel = 9;

// Writes a local header at the file's position: the signature is put into
// `header` (30 bytes), and so is the length of `name`, so that the header
// always describes the bytes that follow it; then the name and the extra field
// of the header's extra length. kOk, kTooLong for a name over 65535 bytes, or
// kWriteFailed.
Result writeLocalHeader(fs::FileHandle file, uint8_t* header, std::string_view name, const uint8_t* extra);

// Prepares a fresh 46-byte entry record for `file` under `storedName`: made by
// version 20 on DOS (on Unix, with the mode in the upper 16 bits of the
// external attributes, when the file has a Unix mode), the file's DOS date
// and time, listed size and attribute byte,
// the name length, no extra field and no comment, disk 0, flag bit 0 when the
// options carry a password, and the local header at the data file's end. The
// data file is left positioned at its end. Version needed, method, CRC and
// compressed size are left to writeEntry. `*extent` gets the listed size and
// the offset at their full width; the record holds all ones for a value past
// 32 bits. kOk; kAccessDenied when the end cannot be found.
Result initEntryRecord(uint8_t* record, const fs::FileRecord& file, const std::string& storedName,
                       uint32_t optionFlags, fs::FileHandle dataFile, archive::EntryExtent* extent);

class AheadData;

// One entry to write.
struct EntryRequest {
    uint16_t level = frame::kDefaultLevel;  // 0 stores; 1 to 4 deflate
    std::string diskPath;                   // the file on disk (OEM); for the label, the label
    fs::FileHandle dataFile = fs::kInvalidFile;       // read and write: encryption reads the data back
    fs::FileHandle directoryFile = fs::kInvalidFile;  // receives the central record
    uint8_t* record = nullptr;              // 46 bytes from initEntryRecord, completed here
    archive::EntryExtent* extent = nullptr; // from initEntryRecord; out: the final sizes
    std::string* storedName = nullptr;      // in: as listed; out: as stored (separators '/')
    uint8_t* extra = nullptr;               // out: kCommentLimit bytes, length in the record (the
                                            // central extra field: its Zip64 block, then private blocks)
    const char* comment = nullptr;          // of the record's comment length (0 for a new entry)
    std::string_view password;              // empty: the entry is not encrypted
    bool versionBlock = false;              // -.V: add the file's version
    bool longNames = false;                 // -.L: keep the case; store 8.3 forms with a long-name block
                                            // (without: upper case where names ignore case)
    bool longNamesAsIs = false;             // -.LR: with -.L, store the name exactly as given
    AheadData* ahead = nullptr;             // the file's data, compressed ahead on a worker thread
};

// Writes one entry at the record's local-header offset: the method and flag
// bits from the level, the name in its final form, the private extra blocks,
// the data (compressed, or stored when that does not pay; encrypted under a
// password) and the patched local header. A directory (attribute 0x10) or the
// volume label (0x08) is written without data and no file is opened; the
// label keeps its form under long names, as it names no file. Flag bit 0 is
// set exactly when a password is given, whatever the record held. Of a
// file, exactly its listed size is written: bytes it gained since it was
// listed are not taken, so the entry's sizes and CRC always describe its data.
// On success the data file is positioned at its end and the central record
// has been appended to the directory file. kOk; kUnknownMethod for a level
// above 9 (before anything is written) or a non-empty file at a level without
// a method; kAccessDenied (a file that cannot be opened, a failed seek, an
// encryption header or encrypted data that cannot be written back, a failed
// truncation); kWriteFailed; kShortRead (the file shrank since it was listed);
// kTooLong (a name over 260 characters); kNoMemory;
// kCancelled; kDirectoryFailed from the short-name search. Any failure leaves
// partial data behind in the data file, which the run discards.
Result writeEntry(const EntryRequest& request);

// Compresses `size` bytes of `file`, from its position, to the data file's
// position, computing the CRC-32 and whether every byte is text (9 to 13, 26,
// 32 to 126). `*level` is 0 to store, 1 to 4 to deflate; it is set to 0 when
// the data ends up stored: an empty file, a file under 6 bytes, or one whose
// deflated form is not smaller than the file (the attempt is then cut off and
// the file stored instead, its CRC not computed twice). Progress is reported
// before every piece of 65520 bytes and once more at the end; a cancel is seen
// after each report and each compressor call. A file shorter than a piece is
// read once, even when it is stored after all. When deflating was given up, the
// data file is cut at its position, right after the stored data. kOk,
// kUnknownMethod (a level above 4 for a non-empty file), kShortRead,
// kWriteFailed, kAccessDenied, kNoMemory, kCancelled (the cancel flag is then
// cleared).
Result compressFile(fs::FileHandle file, fs::FileHandle dataFile, uint64_t size, uint16_t* level,
                    uint64_t* packedSize, uint32_t* crc, bool* text);

// Where the reports of compressing one file go: to the host as they are made
// on the calling thread, or into a list that a worker thread keeps for the
// calling thread to replay, in the same order, when it writes the entry.
class PackReports {
public:
    // A run over the file starts at `level` (0 stores).
    virtual void start(uint16_t level, uint64_t size) = 0;
    // Before each piece, with the bytes taken so far; false stops the run.
    virtual bool piece(uint64_t done) = 0;
    // After each compressor call or stored piece; false stops the run.
    virtual bool block() = 0;

protected:
    ~PackReports() = default;
};

// The reports of the calling thread: the status record's method, sizes and
// done bytes, the progress report and the DoEvents step, and the cancel flag
// seen after each (the flag is left set; the closing of the entry takes it).
PackReports& hostReports();

// One file compressed into memory, and what its runs found.
struct Packed {
    bool opened = false;      // the file could be opened; kAccessDenied otherwise
    bool ran = false;         // a run started, so the entry's closing report is due
    uint16_t level = 0;       // in: as asked; out: 0 when the data ended up stored
    uint64_t size = 0;        // of the file, as listed
    uint64_t packedSize = 0;
    uint32_t crc = 0;
    bool text = true;
    std::vector<uint8_t> data;  // the entry's data as stored, before encryption
};

// Compresses `size` bytes of `file` into `packed->data` as compressFile does
// (the same runs, reports and fall-back to storing), with the caller's own
// piece buffers and deflate work area (kDeflateWorkSize bytes), so that it
// may run off the calling thread. The closing report is left to the caller.
inline constexpr size_t kDeflateWorkSize =
    size_t{codec::kDeflateMainSize} + codec::kDeflateChainSize + codec::kDeflateTokenSize;
Result packFile(fs::FileHandle file, archive::WorkBuffers& buffers, uint8_t* deflateWork, PackReports& reports,
                Packed* packed);

// A file's data compressed ahead on a worker thread. take() waits for it,
// replays the worker's reports to the host as they come, and hands the
// result over: the worker's result, or kCancelled when the host cancelled
// during a replayed report.
class AheadData {
public:
    virtual Result take(Packed* packed) = 0;

protected:
    ~AheadData() = default;
};

}  // namespace zar::write
