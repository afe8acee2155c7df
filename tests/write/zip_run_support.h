// Shared by the zip-run tests: names as stored with and without long names,
// deterministic data, the entries of an archive, and a fixture with a tree of
// files to zip, a temporary directory of its own, and a check that no
// temporary file of the library is left.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/entry_data.h"
#ifndef _WIN32
#include "common/run.h"
#endif
#include "common/scratch.h"
#include "common/short_names.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace zar::test::zipRun {

// An entry's data as a reader other than the library gives it where one runs
// (Info-ZIP unzip, on POSIX); on Windows, where none does, as the library
// extracts it into memory.
#ifdef _WIN32
inline std::string entryText(const std::string& archive, const std::string& name) {
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != 0) return "(no archive)";
    std::string out;
    const int16_t r = readEntry(h, name, &out);
    Ax4ZipClose(&h);
    return r == 0 ? out : "(code " + std::to_string(r) + ")";
}
#else
inline std::string entryText(const std::string& archive, const std::string& name) {
    return run("unzip -p " + quote(archive) + " " + name).output;
}

// What each independent tool says of an archive: empty when all accept it.
// POSIX only: the tools run there.
inline std::string rejections(const std::string& archive, const std::string& password = "") {
    const std::string p = password.empty() ? "" : password;
    const std::string a = quote(archive);
    struct Tool {
        const char* name;
        std::string command;
    } tools[] = {
        {"unzip -t", "unzip -tq " + (p.empty() ? "" : "-P " + quote(p) + " ") + a + " 2>&1"},
        {"zipfile", "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); z.setpassword(sys.argv[2].encode()); "
                    "bad = z.testzip(); sys.exit(1 if bad else 0)' " + a + " " + quote(p.empty() ? "x" : p) + " 2>&1"},
        {"7z t", "7z t -bd -p" + quote(p.empty() ? "x" : p) + " " + a + " 2>&1"},
        {"bsdtar", "bsdtar -tf " + a + " >/dev/null 2>&1"},
    };
    std::string out;
    for (const Tool& t : tools) {
        auto r = run(t.command);
        if (r.status != 0) out += std::string(t.name) + ": " + r.output + "\n";
    }
    return out;
}
#endif

// Deterministic bytes: a compressible run, then noise.
inline std::string mixedBytes(size_t size) {
    std::string out(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = i < size / 2 ? "abcabcabd"[i % 9] : static_cast<char>(x >> 24);
    }
    return out;
}

// Every file of a tree, by its path below the root ('/' between its parts).
inline std::map<std::string, std::string> filesOf(const std::string& root) {
    std::map<std::string, std::string> out;
    for (auto& f : std::filesystem::recursive_directory_iterator(root))
        if (f.is_regular_file())
            out[std::filesystem::relative(f.path(), root).generic_string()] = readText(f.path().string());
    return out;
}

// Names of the entries of an archive, through the library.
inline std::vector<std::string> entryNames(const std::string& archive) {
    std::vector<std::string> names;
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != 0) return names;
    CDR record;
    char name[261];
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
        names.push_back(name);
    Ax4ZipClose(&h);
    return names;
}

inline std::vector<std::string> sortedNames(const std::string& archive) {
    auto names = entryNames(archive);
    std::sort(names.begin(), names.end());
    return names;
}

class ZipRun : public ::testing::Test {
protected:
    void SetUp() override {
        tzset();
        std::filesystem::create_directories(s / "tmp");
        src = s / "src";
        std::filesystem::create_directories(src + "/sub/deep");
        std::filesystem::create_directories(src + "/empty");
        writeText(src + "/a.txt", "first file\n");
        writeText(src + "/b.txt", std::string(5000, 'b'));
        writeText(src + "/zero.txt", "");
        writeText(src + "/sub/c.bin", mixedBytes(300000));
        writeText(src + "/sub/deep/d.txt", "deep down\n");
    }

    int16_t zip(const std::string& archive, const std::string& spec, const char* options,
                const char* exclude = nullptr) {
        AxHandle h;
        int16_t r = Ax4ZipOpen(archive.c_str(), 0, &h);
        if (r != 0) return r;
        r = Ax4Zip(&h, spec.c_str(), exclude, options);
        Ax4ZipClose(&h);
        return r;
    }

    // An archive of the three text files, in the order a, b, zero.
    void zipTextFiles(const std::string& archive, const char* options = "") {
        for (const char* name : {"a.txt", "b.txt", "zero.txt"}) ASSERT_EQ(zip(archive, src + "/" + name, options), 0);
    }

    // True when no temporary file of the library is left anywhere we look.
    bool noTemporaryFiles() const { return zar::test::noTemporaryFiles({s / "tmp", s.path()}); }

    Scratch s;
    ScopedTempDirectory tmp{s / "tmp"};
    ScopedEnv tz{"TZ", "UTC0"};
    std::string src;
};

}  // namespace zar::test::zipRun
