// Reads one entry of an open archive into memory through the library, sized
// by its central record.
#pragma once

#include <string>

#include "zarlib32.h"

namespace zar::test {

// The data of the entry stored under `name` (exactly so) in the open archive
// `h`, with the extraction `options`, into `*out`: the result of Ax4UnZipPtr,
// or AX_NOTHING_DONE when no entry has that name.
inline int16_t readEntry(AxHandle h, const std::string& name, std::string* out, const char* options = "") {
    CDR record;
    char stored[261];
    bool found = false;
    out->clear();
    for (int16_t r = Ax4ZipFindFirst(h, &record, stored, nullptr, 0, nullptr, 0); r == 0 && !found;
         r = Ax4ZipFindNext(h, &record, stored, nullptr, 0, nullptr, 0)) {
        found = name == stored;
        if (found) out->resize(record.unpackedSize);
    }
    if (!found) return AX_NOTHING_DONE;
    return Ax4UnZipPtr(h, out->data(), 0, -1, name.c_str(), options);
}

}  // namespace zar::test
