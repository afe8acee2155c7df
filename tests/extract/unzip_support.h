// Shared by the tests of the unzip driver: the host's hook that records
// every notice and question, the files an extraction left, and a fixture
// that runs Ax4UnZip into an output directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "common/zip_builder.h"
#include "zarlib32.h"

namespace zar::test::unzip {

// What the host saw: every notice and question, with the entry name shown.
struct Report {
    int16_t kind;
    int16_t code;
    std::string name;
};

struct Host {
    std::vector<Report> reports;
    // Answers a notice or question; notices get 1 and questions 7 by default.
    std::function<int16_t(const Report&)> answer;
    std::function<void()> onProgress;
    std::string progressName;  // the entry name of the progress report in hand
};

inline Host* host = nullptr;

inline int16_t AXAPI hook(StatusRecord record) {
    int16_t kind = record.kind, code = record.code;
    if (kind == AX_STATUS_PROGRESS) {
        host->progressName = record.entryName;
        if (host->onProgress) host->onProgress();
        return 0;
    }
    Report r{kind, code, record.entryName};
    host->reports.push_back(r);
    if (host->answer) return host->answer(r);
    return kind == AX_STATUS_NOTICE ? AX_ANSWER_OK : AX_ANSWER_NO;
}

// The files below `dir` (not the directories), by relative path with '/'
// between its parts, sorted.
inline std::vector<std::string> filesBelow(const std::string& dir) {
    std::vector<std::string> found;
    for (auto& f : std::filesystem::recursive_directory_iterator(dir))
        if (!f.is_directory()) found.push_back(std::filesystem::relative(f.path(), dir).generic_string());
    std::sort(found.begin(), found.end());
    return found;
}

// A file's text, cut short when it is long: what a failed check prints.
inline std::string head(const std::string& path) {
    auto bytes = readBytes(path);
    if (bytes.size() <= 64) return std::string(bytes.begin(), bytes.end());
    return std::string(bytes.begin(), bytes.begin() + 64) + "... (" + std::to_string(bytes.size()) + " bytes)";
}

class Unzip : public ::testing::Test {
protected:
    void SetUp() override {
        tzset();
        Ax4SetCPrint(1);
        Ax4CPrintHook(hook);
        host = &host_;
        out = s / "out";
        std::filesystem::create_directory(out);
    }
    void TearDown() override {
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
        host = nullptr;
    }

    std::string make(const ZipArchive& zip, const std::string& name = "a.zip") {
        std::string path = s / name;
        writeBytes(path, zip.bytes());
        return path;
    }

    // One Ax4UnZip run on an archive opened for it.
    int16_t unzip(const std::string& archive, const char* include, const char* options,
                  const char* exclude = nullptr) {
        AxHandle h;
        int16_t r = Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h);
        if (r != 0) return r;
        r = Ax4UnZip(&h, out.c_str(), include, exclude, options);
        Ax4ZipClose(&h);
        return r;
    }

    std::vector<int16_t> codes() const {
        std::vector<int16_t> out;
        for (const Report& r : host_.reports) out.push_back(r.code);
        return out;
    }

    std::string o(const std::string& name) const { return out + "/" + name; }

    ScopedEnv tz{"TZ", "UTC0"};
    Scratch s;
    std::string out;
    Host host_;
};

}  // namespace zar::test::unzip
