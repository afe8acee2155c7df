// The table of work-file builders, one per single-file foreign kind.
#include "archive/workfile.h"
#include "archive/workfile_builders.h"

namespace zar::archive {

ForeignBuilder foreignBuilder(Kind kind) {
    switch (kind) {
        case Kind::Lzh: return buildLzhRecords;
        case Kind::Arj: return buildArjRecords;
        case Kind::Zoo: return buildZooRecords;
        case Kind::Arc: return buildArcRecords;
        case Kind::Tar: return buildTarRecords;
        case Kind::Gzip: return buildGzipRecords;
        default: return nullptr;
    }
}

}  // namespace zar::archive
