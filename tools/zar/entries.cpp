#include "entries.h"

namespace zar::cli {

bool Entry::isDirectory() const {
    return (record.externalAttributes & AX_ATTR_DIRECTORY) != 0 || (!name.empty() && name.back() == '/');
}

int16_t readEntries(AxHandle handle, std::vector<Entry>* entries) {
    entries->clear();
    char name[261];
    // 65535 would mean "no comment wanted"; the library keeps at most 8192.
    std::vector<char> comment(65534);
    Entry entry;
    int16_t result = Ax4ZipFindFirst(handle, &entry.record, name, nullptr, 0, comment.data(),
                                     static_cast<uint16_t>(comment.size()));
    while (result == AX_OK || result == AX_TOO_LONG) {
        name[sizeof name - 1] = '\0';
        comment.back() = '\0';
        entry.name = name;
        entry.comment = comment.data();
        entry.packedSize = entry.record.packedSize;
        entry.unpackedSize = entry.record.unpackedSize;
        Ax4ZipFoundSizes64(handle, &entry.packedSize, &entry.unpackedSize, nullptr, nullptr);
        entries->push_back(entry);
        result = Ax4ZipFindNext(handle, &entry.record, name, nullptr, 0, comment.data(),
                                static_cast<uint16_t>(comment.size()));
    }
    return result == AX_NOTHING_DONE ? int16_t{AX_OK} : result;
}

const char* kindName(uint16_t kind) {
    switch (kind) {
        case AX_KIND_ZIP: return "ZIP archive";
        case AX_KIND_OWN_MULTI_VOLUME: return "zarlib32 multi-volume archive";
        case AX_KIND_SPANNED: return "spanned ZIP set";
        case AX_KIND_FRONT_DIRECTORY: return "multi-volume ZIP set, directory first";
        case AX_KIND_LZH: return "LZH archive";
        case AX_KIND_ARJ: return "ARJ archive";
        case AX_KIND_ZOO: return "ZOO archive";
        case AX_KIND_ARC: return "ARC archive";
        case AX_KIND_OLD_SINGLE_FILE: return "zarlib32 single-file archive (older kind)";
        case AX_KIND_OWN_MULTI_VOLUME_3: return "zarlib32 multi-volume archive, version 3";
        case AX_KIND_TAR: return "TAR archive";
        case AX_KIND_GZIP: return "gzip-compressed file";
        case AX_KIND_SELF_EXTRACTING: return "self-extracting program with a ZIP archive";
        default: return "unknown kind";
    }
}

}  // namespace zar::cli
