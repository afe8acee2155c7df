// Shared by the tests of Ax4ChangeDirPaths: every entry as the enumeration
// reports it, an entry's data, a sample archive with what a rename must carry,
// and a fixture with a temporary directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "common/zip_builder.h"
#include "zarlib32.h"

namespace zar::test::changePaths {

// Everything of an entry but its name, as the enumeration reports it.
struct Listed {
    std::string name;
    CDR record;
    std::string extra, comment;
};

inline std::vector<Listed> listOf(const std::string& archive, int16_t mode = AX_OPEN_READ) {
    std::vector<Listed> out;
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), mode, &h) != 0) return out;
    CDR record;
    char name[261], comment[1024];
    uint8_t extra[1024];
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, extra, sizeof extra, comment, sizeof comment); r == 0;
         r = Ax4ZipFindNext(h, &record, name, extra, sizeof extra, comment, sizeof comment))
        out.push_back({name, record, std::string(reinterpret_cast<char*>(extra), record.extraLength), comment});
    Ax4ZipClose(&h);
    return out;
}

inline std::string dataOf(const std::string& archive, const std::string& name) {
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != 0) return "(no archive)";
    std::string out(1 << 20, '\0');
    uint32_t size = 0;
    CDR record;
    char stored[261];
    for (int16_t r = Ax4ZipFindFirst(h, &record, stored, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, stored, nullptr, 0, nullptr, 0))
        if (name == stored) size = record.unpackedSize;
    const int16_t r = Ax4UnZipPtr(h, out.data(), 0, -1, name.c_str(), "");
    Ax4ZipClose(&h);
    out.resize(size);
    return r == 0 ? out : "(code " + std::to_string(r) + ")";
}

// A small archive with what a rename must carry: a directory entry, stored
// and deflated data, an entry comment, an extra field of another writer's, a
// name made on DOS in code page 437, and the archive comment.
inline ZipArchive sample() {
    ZipArchive a;
    ZipEntry dir = entry("docs/", "");
    dir.externalAttributes = 0x10;
    ZipEntry text = entry("docs/a.txt", "text of a\n", "comment of a");
    text.extra = {0x55, 0x54, 0x05, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44};  // an extended timestamp
    ZipEntry deep = entry("docs/deep/b.txt", std::string(100000, 'b'));
    ZipEntry other = entry("docsother/c.txt", "c");
    ZipEntry accented = entry("docs/r\x82sum\x82.txt", "cp437 name");  // "résumé" in code page 437
    ZipEntry top = entry("top.txt", "top");
    a.entries = {dir, text, deep, other, accented, top};
    a.comment = "the archive comment";
    return a;
}

class ChangePaths : public ::testing::Test {
protected:
    std::string make(const ZipArchive& a, const std::string& name = "a.zip") {
        zar::test::writeBytes(s / name, a.bytes());
        return s / name;
    }
    std::vector<std::string> leftInTemp() {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(temp)) out.push_back(e.path().filename().string());
        return out;
    }

    ScopedEnv tz{"TZ", "UTC0"};
    Scratch s;
    const std::string temp = s / "tmp";
    bool madeTemp = std::filesystem::create_directory(temp);
    ScopedTempDirectory tmp{temp};
};

}  // namespace zar::test::changePaths
