// An open archive and the records of its central directory, read through the
// enumeration exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zarlib32.h"

namespace zar::cli {

// Closes the archive when it goes out of scope.
class OpenArchive {
public:
    OpenArchive() = default;
    ~OpenArchive() { close(); }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;

    int16_t open(const std::string& path, int16_t mode) {
        close();
        return Ax4ZipOpen(path.c_str(), mode, &handle_);
    }
    void close() {
        if (handle_ != AX_NO_ARCHIVE) Ax4ZipClose(&handle_);
    }
    AxHandle& handle() { return handle_; }

private:
    AxHandle handle_ = AX_NO_ARCHIVE;
};

struct Entry {
    CDR record{};
    // The sizes at their full width; the record shows 0xFFFFFFFF for one past 32 bits.
    uint64_t packedSize = 0;
    uint64_t unpackedSize = 0;
    std::string name;
    std::string comment;
    bool isDirectory() const;
    bool isEncrypted() const { return (record.flags & AX_FLAG_ENCRYPTED) != 0; }
};

// Every entry in directory order: 0, or the code that stopped the reading.
// A name or comment cut to fit its buffer is kept as cut.
int16_t readEntries(AxHandle handle, std::vector<Entry>* entries);

// "ZIP archive", "TAR archive" and so on, for AX_KIND_* values.
const char* kindName(uint16_t kind);

}  // namespace zar::cli
