// Shared by the end-record tests: the result and the location the search
// gives for the bytes of an archive.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/end_record.h"

namespace zar::test::endRecord {

using archive::EndKind;
using archive::EndLocation;

struct Found {
    Result result;
    EndLocation location;
};

inline Found locate(const std::vector<uint8_t>& bytes, EndKind kind = EndKind::Zip) {
    archive::MemorySource source(bytes.data(), bytes.size());
    Found f;
    f.result = archive::locateEndRecord(source, kind, &f.location);
    return f;
}

}  // namespace zar::test::endRecord
