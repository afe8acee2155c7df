// Identification over arbitrary bytes; the extension comes from the first byte.
#include <cstddef>
#include <cstdint>

#include "archive/identify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const names[] = {"a.zip", "a.tar", "a.sqs", "a.tgz", "a"};
    const char* name = names[size == 0 ? 0 : data[0] % 5];
    zar::archive::MemorySource source(data, size);
    zar::archive::Kind kind;
    zar::archive::identifyBytes(source, name, &kind);
    return 0;
}
