// Reading the multi-volume sets the zip run writes, independently of the
// library: the volumes' bytes are joined in order, the directory is found
// where the set's kind keeps it, and every entry is located in the joined
// bytes from its disk and offset. A set can then be "stitched" into one
// ordinary archive (the joined bytes plus a fresh directory with absolute
// offsets) for independent tools to judge.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zar::test {

inline uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }
inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | uint32_t(le16(b, at + 2)) << 16; }
inline void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { put16(b, at, uint16_t(v)), put16(b, at + 2, uint16_t(v >> 16)); }
inline bool startsWith(const std::vector<uint8_t>& b, size_t at, const std::string& s) {
    return b.size() >= at + s.size() && std::memcmp(b.data() + at, s.data(), s.size()) == 0;
}

struct SetEntry {
    std::vector<uint8_t> record;  // 46 bytes as the set holds it
    std::string name;
    std::vector<uint8_t> extra;
    uint16_t disk = 0;            // 0-based
    uint64_t position = 0;        // of the local header in the joined bytes
};

struct SetImage {
    std::vector<std::vector<uint8_t>> volumes;
    std::vector<uint8_t> joined;
    std::vector<SetEntry> entries;
    std::string error;  // empty when the set could be read
};

// Kind numbers as Ax4ZipCreateMV takes them.
enum : uint16_t { kFrontHeaderKind = 2, kSpannedKind = 3, kFrontDirectoryKind = 4, kSingleFileKind = 10 };

// Reads a set from its volumes' bytes (one file for the single-file kind).
inline SetImage readSet(uint16_t kind, std::vector<std::vector<uint8_t>> volumes) {
    SetImage image;
    image.volumes = std::move(volumes);
    std::vector<uint64_t> starts;
    for (const auto& v : image.volumes) {
        starts.push_back(image.joined.size());
        image.joined.insert(image.joined.end(), v.begin(), v.end());
    }
    if (image.volumes.empty()) return image.error = "no volume", image;
    const std::vector<uint8_t>& first = image.volumes.front();
    const std::vector<uint8_t>& last = image.volumes.back();

    // Where the records are, how many, their signature and the disk base.
    std::vector<uint8_t> directory;
    size_t records = 0, count = 0, names = 0;
    std::string signature = "PK\1\2";
    int diskBase = 0;
    if (kind == kSpannedKind || kind == kFrontDirectoryKind) {
        if (last.size() < 22 || !startsWith(last, last.size() - 22, "PK\5\6")) return image.error = "no end record", image;
        const size_t end = last.size() - 22;
        count = le16(last, end + 10);
        const uint32_t size = le32(last, end + 12), offset = le32(last, end + 16);
        if (le16(last, end + 4) != image.volumes.size() - 1) return image.error = "wrong last disk", image;
        if (kind == kSpannedKind) {
            if (le16(last, end + 6) != image.volumes.size() - 1) return image.error = "wrong directory disk", image;
            if (uint64_t{offset} + size != end) return image.error = "directory not before the end record", image;
            directory.assign(last.begin() + offset, last.begin() + end);
        } else {
            if (le16(last, end + 6) != 0 || offset != 0) return image.error = "directory not at the front", image;
            if (end < 16 || !startsWith(last, end - 16, "PK\7\b_FILLER12345")) return image.error = "no filler", image;
            if (first.size() < size) return image.error = "short first volume", image;
            directory.assign(first.begin(), first.begin() + size);
        }
    } else {
        if (first.size() < 12 || !startsWith(first, 0, "AXZR")) return image.error = "no front header", image;
        if (le16(first, 8) != 1 || le16(first, 10) != 12) return image.error = "bad header fields", image;
        count = le16(first, 6);
        directory = first;
        records = 12;
        names = 12 + 46 * count;
        signature = "AX\1\2";
        diskBase = 1;
    }

    size_t at = records;
    for (size_t i = 0; i < count; ++i) {
        SetEntry e;
        if (!startsWith(directory, at, signature)) return image.error = "bad record signature", image;
        e.record.assign(directory.begin() + at, directory.begin() + at + 46);
        const uint16_t nameLength = le16(e.record, 28), extraLength = le16(e.record, 30);
        size_t from = signature == "AX\1\2" ? names : at + 46;
        if (directory.size() < from + nameLength + extraLength) return image.error = "names cut off", image;
        e.name.assign(directory.begin() + from, directory.begin() + from + nameLength);
        e.extra.assign(directory.begin() + from + nameLength, directory.begin() + from + nameLength + extraLength);
        if (signature == "AX\1\2") {
            names = from + nameLength + extraLength;
            at += 46;
        } else {
            at += 46 + nameLength + extraLength + le16(e.record, 32);
        }
        const int disk = int(le16(e.record, 34)) - diskBase;
        if (disk < 0 || size_t(disk) >= (kind == kSingleFileKind ? size_t(0xFFFF) : image.volumes.size()))
            return image.error = "disk out of range", image;
        e.disk = uint16_t(disk);
        // The single file holds all its volumes; its offsets are the file's.
        e.position = (kind == kSingleFileKind ? 0 : starts[disk]) + le32(e.record, 42);
        if (!startsWith(image.joined, e.position, "PK\3\4")) return image.error = "no local header for " + e.name, image;
        if (le16(image.joined, e.position + 26) != nameLength ||
            !startsWith(image.joined, e.position + 30, e.name))
            return image.error = "local header of " + e.name + " names another", image;
        image.entries.push_back(std::move(e));
    }
    return image;
}

// One ordinary archive: the joined volumes, then a directory whose records
// point at the absolute positions, then the end record.
inline std::vector<uint8_t> stitch(const SetImage& image) {
    std::vector<uint8_t> out = image.joined;
    const size_t start = out.size();
    for (const SetEntry& e : image.entries) {
        std::vector<uint8_t> record = e.record;
        std::memcpy(record.data(), "PK\1\2", 4);
        put16(record, 32, 0);  // no comment
        put16(record, 34, 0);
        put32(record, 42, uint32_t(e.position));
        out.insert(out.end(), record.begin(), record.end());
        out.insert(out.end(), e.name.begin(), e.name.end());
        out.insert(out.end(), e.extra.begin(), e.extra.end());
    }
    std::vector<uint8_t> end(22, 0);
    std::memcpy(end.data(), "PK\5\6", 4);
    put16(end, 8, uint16_t(image.entries.size()));
    put16(end, 10, uint16_t(image.entries.size()));
    put32(end, 12, uint32_t(out.size() - start));
    put32(end, 16, uint32_t(start));
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

}  // namespace zar::test
