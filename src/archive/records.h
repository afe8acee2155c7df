// The on-disk records of the ZIP format as this library reads and writes them,
// and its own private records: each layout is defined once here, as a size and
// field offsets, and read and written with the little-endian helpers. The
// values that go into the fields are named in archive/zip_format.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::archive {

inline constexpr uint32_t kLocalSignature = 0x04034B50;    // "PK\3\4"
inline constexpr uint32_t kCentralSignature = 0x02014B50;  // "PK\1\2"
inline constexpr uint32_t kEndSignature = 0x06054B50;      // "PK\5\6"
inline constexpr uint32_t kSpanMarker = 0x08074B50;        // "PK\7\8": a spanned set's first bytes
inline constexpr uint32_t kDescriptorSignature = kSpanMarker;  // the same bytes open a data descriptor
inline constexpr uint32_t kZip64EndSignature = 0x06064B50; // "PK\6\6"
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;  // "PK\6\7"

// Local file header: 30 bytes, then the name, the extra field and the data.
struct LocalHeader {
    static constexpr size_t kSize = 30;
    static constexpr size_t kSignature = 0, kVersionNeeded = 4, kFlags = 6, kMethod = 8, kTime = 10,
                            kDate = 12, kCrc = 14, kPackedSize = 18, kUnpackedSize = 22, kNameLength = 26,
                            kExtraLength = 28;
};

// Central directory record: 46 bytes, then name, extra field and comment. The
// same 46 bytes are the record the enumeration exports hand to hosts.
struct CentralRecord {
    static constexpr size_t kSize = 46;
    static constexpr size_t kSignature = 0, kVersionMadeBy = 4, kVersionNeeded = 6, kFlags = 8,
                            kMethod = 10, kTime = 12, kDate = 14, kCrc = 16, kPackedSize = 20,
                            kUnpackedSize = 24, kNameLength = 28, kExtraLength = 30, kCommentLength = 32,
                            kDiskStart = 34, kInternalAttributes = 36, kExternalAttributes = 38,
                            kLocalOffset = 42;
};

// End of central directory record: 22 bytes, then the archive comment.
struct EndRecord {
    static constexpr size_t kSize = 22;
    static constexpr size_t kSignature = 0, kThisDisk = 4, kDirectoryDisk = 6, kEntriesOnDisk = 8,
                            kTotalEntries = 10, kDirectorySize = 12, kDirectoryOffset = 16,
                            kCommentLength = 20;
    static constexpr uint32_t kLargestComment = 65535;
};

// Data descriptor after an entry's data (flag bit 3), in the form with its
// signature and 32-bit sizes.
struct DataDescriptor {
    static constexpr size_t kSize = 16;
    static constexpr size_t kSignature = 0, kCrc = 4, kPackedSize = 8, kUnpackedSize = 12;
};

// The same descriptor with 8-byte sizes, which follows the data of an entry
// whose local header has a Zip64 block.
struct Zip64DataDescriptor {
    static constexpr size_t kSize = 24;
    static constexpr size_t kSignature = 0, kCrc = 4, kPackedSize = 8, kUnpackedSize = 16;
};

// Zip64 end of central directory locator: 20 bytes right before the end record.
struct Zip64Locator {
    static constexpr size_t kSize = 20;
    static constexpr size_t kSignature = 0, kEndRecordDisk = 4, kEndRecordOffset = 8, kTotalDisks = 16;
};

// Zip64 end of central directory record: 56 bytes without its extensible data.
struct Zip64EndRecord {
    static constexpr size_t kSize = 56;
    static constexpr size_t kSignature = 0, kRecordSize = 4, kVersionMadeBy = 12, kVersionNeeded = 14,
                            kThisDisk = 16, kDirectoryDisk = 20, kEntriesOnDisk = 24, kTotalEntries = 32,
                            kDirectorySize = 40, kDirectoryOffset = 48;
};

// Header of the library's own multi-volume kind, in place of the first local
// header; its central records follow with the signature 'A','X',1,2.
struct OwnVolumeHeader {
    static constexpr size_t kSize = 12;
    static constexpr size_t kMagic = 0, kVersion = 4, kEntries = 6, kVolume = 8, kHeaderSize = 10;
    static constexpr std::string_view kMagicBytes{"AXZR", 4};
    static constexpr std::string_view kRecordSignature{"AX\x01\x02", 4};
};

// End trailer of the older single-file kind (files that begin with "QVEP").
struct OldTrailer {
    static constexpr size_t kSize = 18;
    static constexpr size_t kMagic = 0, kSmallCount = 4, kLength = 8;
    static constexpr std::string_view kMagicBytes{"KQB3", 4};
    static constexpr std::string_view kFileMagic{"QVEP", 4};
    static constexpr uint16_t kLargestSmallCount = 50;
    static constexpr uint32_t kSmallestLength = 18;
};

inline constexpr size_t kNameLimit = 260;      // longest name, without its NUL
inline constexpr size_t kCommentLimit = 8192;  // comment and extra-field buffers

// Writes one central record: the signature is put into `record` (46 bytes),
// then the record, its name, extra field and comment are written at the file's
// position, with the lengths the record holds. kOk or kWriteFailed.
Result writeCentralRecord(fs::FileHandle out, uint8_t* record, const char* name, const uint8_t* extra,
                          const char* comment);

}  // namespace zar::archive
