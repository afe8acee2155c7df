// Builds small stored ZIP archives in memory, field by field, so tests can
// make exactly the archive (or the damage) they need.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zar::test {

inline void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

inline void putText(std::vector<uint8_t>& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

inline void put64(std::vector<uint8_t>& out, uint64_t v) {
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}

inline uint32_t crcOf(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

struct ZipEntry {
    std::string name;
    std::string data;
    std::string comment;
    uint16_t time = 0x6000;  // 12:00:00
    uint16_t date = 0x5A21;  // 2025-01-01
    uint32_t externalAttributes = 0x20;
    uint16_t versionMadeBy = 20;
    std::vector<uint8_t> extra;
    uint16_t method = 0;
    uint16_t flags = 0;
    std::optional<std::string> packed;  // the stored bytes when they are not `data` itself
    std::optional<uint32_t> crc;        // a CRC-32 other than that of `data`
    // Written as Zip64 writers do: all ones in the sizes of both records and
    // in the central offset, the real values in a Zip64 block ahead of `extra`.
    bool zip64 = false;

    const std::string& stored() const { return packed ? *packed : data; }
    uint32_t storedCrc() const { return crc ? *crc : crcOf(data); }
};

inline ZipEntry entry(std::string name, std::string data, std::string comment = "") {
    ZipEntry e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.comment = std::move(comment);
    return e;
}

struct ZipArchive {
    std::vector<ZipEntry> entries;
    std::string comment;
    std::vector<uint8_t> prefix;  // bytes before the first local header (a program stub)

    // The archive's bytes: local headers and data, the central directory, the
    // end record and the comment.
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out = prefix;
        std::vector<uint32_t> offsets;
        for (const ZipEntry& e : entries) {
            offsets.push_back(static_cast<uint32_t>(out.size()));
            put32(out, 0x04034B50);
            put16(out, e.zip64 ? 45 : 10);  // version needed
            put16(out, e.flags);
            put16(out, e.method);
            put16(out, e.time);
            put16(out, e.date);
            put32(out, e.storedCrc());
            std::vector<uint8_t> extra;
            if (e.zip64) {
                put16(extra, 1);
                put16(extra, 16);
                put64(extra, e.data.size());
                put64(extra, e.stored().size());
            }
            extra.insert(extra.end(), e.extra.begin(), e.extra.end());
            put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.stored().size()));
            put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.data.size()));
            put16(out, static_cast<uint32_t>(e.name.size()));
            put16(out, static_cast<uint32_t>(extra.size()));
            putText(out, e.name);
            out.insert(out.end(), extra.begin(), extra.end());
            putText(out, e.stored());
        }
        uint32_t directoryStart = static_cast<uint32_t>(out.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            const ZipEntry& e = entries[i];
            put32(out, 0x02014B50);
            put16(out, e.versionMadeBy);
            put16(out, e.zip64 ? 45 : 10);  // version needed
            put16(out, e.flags);
            put16(out, e.method);
            put16(out, e.time);
            put16(out, e.date);
            put32(out, e.storedCrc());
            std::vector<uint8_t> extra;
            if (e.zip64) {
                put16(extra, 1);
                put16(extra, 24);
                put64(extra, e.data.size());
                put64(extra, e.stored().size());
                put64(extra, offsets[i]);
            }
            extra.insert(extra.end(), e.extra.begin(), e.extra.end());
            put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.stored().size()));
            put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.data.size()));
            put16(out, static_cast<uint32_t>(e.name.size()));
            put16(out, static_cast<uint32_t>(extra.size()));
            put16(out, static_cast<uint32_t>(e.comment.size()));
            put16(out, 0);
            put16(out, 0);
            put32(out, e.externalAttributes);
            put32(out, e.zip64 ? 0xFFFFFFFFu : offsets[i]);
            putText(out, e.name);
            out.insert(out.end(), extra.begin(), extra.end());
            putText(out, e.comment);
        }
        uint32_t directorySize = static_cast<uint32_t>(out.size()) - directoryStart;
        put32(out, 0x06054B50);
        put16(out, 0);
        put16(out, 0);
        put16(out, static_cast<uint32_t>(entries.size()));
        put16(out, static_cast<uint32_t>(entries.size()));
        put32(out, directorySize);
        put32(out, directoryStart);
        put16(out, static_cast<uint32_t>(comment.size()));
        putText(out, comment);
        return out;
    }
};

}  // namespace zar::test
