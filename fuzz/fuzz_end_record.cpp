// Feeds arbitrary file tails to the end-record search, both kinds. The found
// record must lie inside the data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "archive/end_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zar::archive;
    for (EndKind kind : {EndKind::Zip, EndKind::OldSingleFile}) {
        MemorySource source(data, size);
        EndLocation location;
        zar::Result result = locateEndRecord(source, kind, &location);
        if (result == zar::kOk && location.endRecord != EndLocation::kNotFound && location.endRecord + 18 > size)
            std::abort();
    }
    return 0;
}
