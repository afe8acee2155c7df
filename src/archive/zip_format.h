// The vocabulary of the ZIP format as this library reads and writes it:
// compression methods, general-purpose flag bits, version numbers, host
// systems, internal and external attribute bits, and the tags of the extra
// blocks it knows (the Zip64 block and the library's own "KW" blocks). The
// record layouts that carry these values are in archive/records.h.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "zarlib32.h"

namespace zar::archive {

// ---- Compression methods (the method field) ---------------------------------

inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodShrunk = 1;
inline constexpr uint16_t kMethodReducedFirst = 2;  // reduced with factor 1 ...
inline constexpr uint16_t kMethodReducedLast = 5;   // ... to factor 4
inline constexpr uint16_t kMethodImploded = 6;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodDeflate64 = 9;
inline constexpr uint16_t kMethodLibraryImploded = 10;  // the data-compression-library variant of implode
inline constexpr uint16_t kMethodReserved11 = 11;
inline constexpr uint16_t kMethodBzip2 = 12;
// AES encryption: the real method is in the entry's AES extra block.
inline constexpr uint16_t kMethodAes = 99;

// ---- General-purpose flag bits ------------------------------------------------

inline constexpr uint16_t kFlagEncrypted = 0x0001;
// Bits 1-2: for deflated entries, how hard the compressor worked (below);
// for imploded entries, the dictionary size and the number of trees.
inline constexpr uint16_t kFlagMethodOptions = 0x0006;
inline constexpr unsigned kMethodOptionsShift = 1;
inline constexpr uint16_t kFlagImplode8kDictionary = 0x0002;
inline constexpr uint16_t kFlagImplodeThreeTrees = 0x0004;
// CRC and sizes follow the data in a data descriptor; the local header holds zeros.
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
// Strong encryption (certificates or a strong cipher), not the traditional scheme.
inline constexpr uint16_t kFlagStrongEncryption = 0x0040;
// Name and comment are UTF-8.
inline constexpr uint16_t kFlagUtf8 = 0x0800;

// The deflate settings of flag bits 1-2, as the value of the two bits.
inline constexpr uint16_t kDeflateNormal = 0;
inline constexpr uint16_t kDeflateMaximum = 1;
inline constexpr uint16_t kDeflateFast = 2;
inline constexpr uint16_t kDeflateSuperFast = 3;

constexpr uint16_t methodOptions(uint16_t flags) {
    return static_cast<uint16_t>((flags & kFlagMethodOptions) >> kMethodOptionsShift);
}
constexpr uint16_t methodOptionFlags(uint16_t options) {
    return static_cast<uint16_t>(options << kMethodOptionsShift & kFlagMethodOptions);
}

// ---- Version numbers (version made by, low byte; version needed) ------------

inline constexpr uint16_t kVersionStored = 10;
inline constexpr uint16_t kVersionNoData = 11;  // directory and volume-label entries
inline constexpr uint16_t kVersionDeflated = 20;
inline constexpr uint16_t kVersionZip64 = 45;

// ---- Host systems (version made by, high byte) ------------------------------

enum class HostSystem : uint8_t {
    Dos = 0,
    Amiga = 1,
    OpenVms = 2,
    Unix = 3,
    VmCms = 4,
    AtariSt = 5,
    Os2 = 6,
    Macintosh = 7,
    Cpm = 9,
    WindowsNtfs = 10,
    Mvs = 11,
    Vfat = 14,
    MacOsX = 19,
};

constexpr HostSystem hostSystem(uint16_t versionMadeBy) { return static_cast<HostSystem>(versionMadeBy >> 8); }
constexpr uint16_t versionMadeBy(HostSystem host, uint8_t version) {
    return static_cast<uint16_t>(static_cast<uint16_t>(host) << 8 | version);
}

// ---- Attributes ---------------------------------------------------------------

// Internal attributes, bit 0: the data is text.
inline constexpr uint16_t kInternalText = 0x0001;

// The DOS attribute byte, the low byte of the external attributes of entries
// made on DOS hosts. The platform layer reports files with the same bits.
inline constexpr uint8_t kDosReadOnly = 0x01;
inline constexpr uint8_t kDosHidden = 0x02;
inline constexpr uint8_t kDosSystem = 0x04;
inline constexpr uint8_t kDosVolumeLabel = 0x08;
inline constexpr uint8_t kDosDirectory = 0x10;
inline constexpr uint8_t kDosArchive = 0x20;
inline constexpr uint8_t kDosNormal = 0x80;
inline constexpr uint32_t kDosAttributeMask = 0xFF;

static_assert(kFlagEncrypted == AX_FLAG_ENCRYPTED && kFlagDataDescriptor == AX_FLAG_DATA_DESCRIPTOR &&
              kFlagUtf8 == AX_FLAG_UTF8);
static_assert(kDosReadOnly == AX_ATTR_READ_ONLY && kDosHidden == AX_ATTR_HIDDEN && kDosSystem == AX_ATTR_SYSTEM &&
              kDosVolumeLabel == AX_ATTR_VOLUME_LABEL && kDosDirectory == AX_ATTR_DIRECTORY &&
              kDosArchive == AX_ATTR_ARCHIVE);
static_assert(kDosReadOnly == platform::kAttrReadOnly && kDosHidden == platform::kAttrHidden &&
              kDosSystem == platform::kAttrSystem && kDosVolumeLabel == platform::kAttrVolumeLabel &&
              kDosDirectory == platform::kAttrDirectory && kDosArchive == platform::kAttrArchive &&
              kDosNormal == platform::kAttrNormal);

// ---- Extra blocks ---------------------------------------------------------------
//
// The extra field is a run of blocks: a u16 tag, a u16 data size, the data.

// Zip64: the 64-bit uncompressed size, compressed size, local header offset
// and disk number, each present only where the record holds all ones.
inline constexpr uint16_t kTagZip64 = 0x0001;

// The library's own blocks: the tag "KW", then data that starts with a
// two-byte subtag, 'Z' and a letter.
inline constexpr uint16_t kTagPrivate = 'K' | 'W' << 8;
inline constexpr uint8_t kPrivateSubtagLead = 'Z';
inline constexpr char kVersionSubtag = 'R';   // "ZR": the file's version number
inline constexpr char kLongNameSubtag = 'r';  // "Zr": the file's long name

// All ones in a 32-bit size or offset: the value is out of range and lives in
// the Zip64 records, or (for positions the library keeps) it is not known.
inline constexpr uint32_t kAllOnes32 = 0xFFFFFFFFu;
// All ones in a 16-bit count or disk number: the value lives in the Zip64 end record.
inline constexpr uint16_t kAllOnes16 = 0xFFFF;

}  // namespace zar::archive
