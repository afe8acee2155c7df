// Writes arbitrary bytes to a file, opens it as an archive of whatever kind it
// is identified as (building the work file of converted kinds), and walks the
// whole directory with cut and uncut buffers, in both name modes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "zarlib32.h"

namespace {

std::string scratchFile(const char* extension) {
    return "/tmp/zar-fuzz-" + std::to_string(::getpid()) + extension;
}

void walk(AxHandle h, uint16_t extraSize, uint16_t commentSize) {
    CDR record;
    char name[261];
    uint8_t extra[64];
    char comment[64];
    int16_t r = Ax4ZipFindFirst(h, &record, name, extra, extraSize, comment, commentSize);
    for (int i = 0; i < 100000 && (r == 0 || r == AX_TOO_LONG); ++i)
        r = Ax4ZipFindNext(h, &record, name, extra, extraSize, comment, commentSize);
    uint16_t count;
    Ax4ZipCount(h, &count);
    char archiveComment[32];
    Ax4ZipComment(h, archiveComment, sizeof archiveComment);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const extensions[] = {".zip", ".tar", ".tgz", ".sqs"};
    if (size == 0) return 0;
    std::string path = scratchFile(extensions[data[0] & 3]);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    for (int16_t mode : {int16_t{AX_OPEN_READ}, int16_t{AX_OPEN_READ | AX_OPEN_LONG_NAMES}}) {
        AxHandle h;
        if (Ax4ZipOpen(path.c_str(), mode, &h) != 0) break;
        walk(h, 64, 64);
        walk(h, 3, 5);
        Ax4ZipClose(&h);
    }
    std::remove(path.c_str());
    return 0;
}
