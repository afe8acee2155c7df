// The archive kinds that identification tells apart, and the groups of kinds
// that the handles, the readers and the drivers treat alike.
#pragma once

#include <cstdint>

namespace zar::archive {

enum class Kind : uint16_t {
    None = 0,
    Zip = 1,
    OwnMultiVolume = 2,       // "AXZR" header, version 1 or 2
    Spanned = 3,              // spanned ZIP set
    FrontDirectory = 4,       // multi-volume set whose first volume starts with the directory
    Lzh = 5,
    Arj = 6,
    Zoo = 7,
    Arc = 8,
    OldSingleFile = 9,        // "QVEP"
    OwnMultiVolume3 = 10,     // "AXZR" header, version 3
    Tar = 11,
    Gzip = 12,                // a gzip-compressed TAR
    SelfExtracting = 13,      // a program holding a ZIP archive
};

// Kinds whose members the library lists but cannot extract.
constexpr bool isForeign(Kind kind) {
    return kind == Kind::Lzh || kind == Kind::Arj || kind == Kind::Zoo || kind == Kind::Arc;
}

// Sets that span several volumes.
constexpr bool isMultiVolume(Kind kind) {
    return kind == Kind::OwnMultiVolume || kind == Kind::Spanned || kind == Kind::FrontDirectory ||
           kind == Kind::OwnMultiVolume3;
}

// Kinds that get a work file when they are opened for reading.
constexpr bool needsWorkFile(Kind kind) {
    return isMultiVolume(kind) || isForeign(kind) || kind == Kind::Tar || kind == Kind::Gzip;
}

// Kinds whose directory is read from the work file, never from the archive.
// The version-3 kind is among them: its one file starts with the library's
// header and directory and has no end record to be found.
constexpr bool isConverted(Kind kind) { return needsWorkFile(kind); }

// Sets whose entries may cross from one volume file to the next, so that an
// entry is gathered before it is read. The version-3 kind keeps all its
// volumes in one file, where its entries lie whole.
constexpr bool gathersEntries(Kind kind) {
    return kind == Kind::OwnMultiVolume || kind == Kind::Spanned || kind == Kind::FrontDirectory;
}

// Kinds that cannot be opened for writing.
constexpr bool isReadOnlyKind(Kind kind) {
    return kind == Kind::OwnMultiVolume || kind == Kind::Spanned || kind == Kind::FrontDirectory ||
           isForeign(kind) || kind == Kind::OwnMultiVolume3 || kind == Kind::SelfExtracting;
}

}  // namespace zar::archive
