// Memory extraction over hostile archives, with windows the input chooses.
// Input: one control byte (the kind of file by its extension, the options,
// which entry is asked for), three windows of five bytes each (a 24-bit start
// and a 16-bit count; a negative count asks for the whole entry), then the
// archive's bytes. Each window goes into a buffer of exactly its size, so
// AddressSanitizer catches any byte written past it; a whole-entry window
// gets a buffer of the entry's declared size. Every window is read twice: as
// it comes, going on from the decode of the window before, and once more from
// a decode begun afresh; both must give the same result and the same bytes.
// Only the library's result codes may come back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "extract/memory_extract.h"
#include "zarlib32.h"

namespace {

const std::string& base() {
    static const std::string path = "/tmp/zar-fuzz-unzip-ptr-" + std::to_string(::getpid());
    return path;
}

constexpr size_t kWindows = 3;
constexpr size_t kWindowBytes = 5;
constexpr size_t kHeader = 1 + kWindows * kWindowBytes;
// Whole-entry windows of entries that declare more are not asked for.
constexpr uint32_t kLargestWhole = 1u << 24;

bool knownResult(int16_t r) {
    switch (r) {
        case AX_OK: case AX_UNKNOWN_KIND: case AX_BAD_ARCHIVE: case AX_UNKNOWN_METHOD: case AX_NOTHING_DONE:
        case AX_SHORT_READ: case AX_TOO_LONG: case AX_MISSING_ARGUMENT: case AX_CRC_MISMATCH:
        case AX_NOT_ON_THIS_KIND: case AX_BAD_TRAILER: case AX_ACCESS_DENIED: case AX_NO_MEMORY:
        case AX_BAD_PASSWORD:
            return true;
        default:
            return false;
    }
}

struct Window {
    int32_t start;
    int32_t count;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const extensions[] = {".zip", ".tar", ".tgz", ".gz"};
    static const char* const options[] = {"", "-S/pw/", "-.L -S/pw/", "-T -S/pw/"};
    if (size < kHeader) return 0;
    const uint8_t control = data[0];
    Window windows[kWindows];
    for (size_t i = 0; i < kWindows; ++i) {
        const uint8_t* w = data + 1 + i * kWindowBytes;
        const int16_t count = static_cast<int16_t>(w[3] | w[4] << 8);
        windows[i] = {static_cast<int32_t>(w[0] | w[1] << 8 | w[2] << 16), count < 0 ? -1 : count};
    }

    const std::string archive = base() + extensions[control & 3];
    FILE* f = std::fopen(archive.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data + kHeader, 1, size - kHeader, f);
    std::fclose(f);

    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) == 0) {
        // The entry asked for: the first ("*"), or the n-th by its name.
        CDR record{};
        char name[261] = "*";
        const int wanted = (control >> 4) & 3;
        int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0);
        for (int i = 0; i < wanted && r == 0; ++i) r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0);
        // By name, some other entry may be the one found: only "*" is surely
        // the first, whose declared size sizes a whole-entry buffer.
        const bool first = wanted == 0 || r != 0;
        const char* spec = first ? "*" : name;
        if (first) r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0);
        const uint32_t declared = r == 0 ? record.unpackedSize : 0;
        const char* option = options[(control >> 2) & 3];

        for (const Window& w : windows) {
            if (w.count < 0 && (!first || declared > kLargestWhole)) continue;
            const size_t room = w.count < 0 ? declared : static_cast<size_t>(w.count);
            std::vector<uint8_t> resumed(room, 0xA5), fresh(room, 0xA5);
            // A buffer of no bytes still needs an address.
            uint8_t spare;
            const int16_t a = Ax4UnZipPtr(h, room ? resumed.data() : &spare, w.start, w.count, spec, option);
            zar::extract::forgetMemoryDecode();
            const int16_t b = Ax4UnZipPtr(h, room ? fresh.data() : &spare, w.start, w.count, spec, option);
            if (!knownResult(a) || a != b || resumed != fresh) __builtin_trap();
        }
        Ax4ZipClose(&h);
    }
    zar::extract::forgetMemoryDecode();
    std::remove(archive.c_str());
    return 0;
}
