// The archive kinds that identification tells apart.
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

}  // namespace zar::archive
