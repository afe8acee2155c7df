// Feeds arbitrary bytes to the work-file builders of the single-file foreign
// kinds. The first byte picks the builder (LZH, ARJ, ZOO, ARC, TAR, gzip); the
// rest is the archive. Every record handed over must carry a name within the
// name limit, and the listing must end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "archive/end_record.h"
#include "archive/kinds.h"
#include "archive/records.h"
#include "archive/workfile.h"

namespace {

using namespace zar::archive;

class DiscardingSink final : public RecordSink {
public:
    zar::Result add(const MemberRecord& record) override {
        if (record.name.size() > kNameLimit || record.comment.size() > 0xFFFF) std::abort();
        return zar::kOk;
    }
};

constexpr Kind kKinds[] = {Kind::Lzh, Kind::Arj, Kind::Zoo, Kind::Arc, Kind::Tar, Kind::Gzip};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ForeignBuilder builder = foreignBuilder(kKinds[data[0] % std::size(kKinds)]);
    MemorySource source(data + 1, size - 1);
    DiscardingSink sink;
    WorkFileEnd end;
    builder(source, "C:\\dir\\archive.tgz", sink, end);
    if (end.comment.size() > 0xFFFF) std::abort();
    return 0;
}
