// Shared by the work-file builder tests: a sink that keeps every record, the
// builders run over bytes or over a file, and the expected DOS date and time
// of a moment. What runs independent tools is in workfile_tools.h.
#pragma once

#include <gtest/gtest.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "archive/end_record.h"
#include "archive/workfile.h"
#include "common/civil_time.h"
#include "common/scratch.h"
#include "fs/file_io.h"

namespace zar::test {

using archive::MemberRecord;
using archive::WorkFileEnd;

// The moment the tools' sample files are dated: 2001-02-03 04:05:06 UTC.
inline constexpr time_t kFebruary2001 = 981173106;

class CollectingSink final : public archive::RecordSink {
public:
    Result add(const MemberRecord& record) override {
        records.push_back(record);
        return kOk;
    }
    std::vector<MemberRecord> records;
};

struct Listing {
    Result result = kOk;
    std::vector<MemberRecord> records;
    WorkFileEnd end;
};

inline Listing listBytes(archive::Kind kind, const std::vector<uint8_t>& bytes, const char* path = "archive") {
    archive::ForeignBuilder builder = archive::foreignBuilder(kind);
    EXPECT_NE(builder, nullptr);
    Listing listing;
    if (!builder) return listing;
    archive::MemorySource source(bytes.data(), bytes.size());
    CollectingSink sink;
    listing.result = builder(source, path, sink, listing.end);
    listing.records = std::move(sink.records);
    return listing;
}

inline Listing listFile(archive::Kind kind, const std::string& path) {
    Listing listing;
    fs::File file(fs::openFile(path.c_str(), platform::kAccessRead, platform::kShareRead,
                               fs::Disposition::OpenExisting, 0, false));
    EXPECT_TRUE(file.valid()) << path;
    if (!file.valid()) {
        listing.result = kAccessDenied;
        return listing;
    }
    archive::FileSource source(file.get());
    CollectingSink sink;
    listing.result = archive::foreignBuilder(kind)(source, path.c_str(), sink, listing.end);
    listing.records = std::move(sink.records);
    return listing;
}

// Fixes the zone for the tests that convert times: every tool run and the
// library see the same one. On Windows the library converts with the system's
// zone, which no variable changes: expectations there come from localDos.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) : env_(std::make_unique<ScopedEnv>("TZ", zone)) { ::tzset(); }
    ~ScopedZone() {
        env_.reset();
        ::tzset();
    }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

private:
    std::unique_ptr<ScopedEnv> env_;
};

struct Dos {
    uint16_t date, time;
};

inline Dos dos(int year, int month, int day, int hour, int minute, int second) {
    Dos d;
    d.date = year < 1980 ? 0 : static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
    d.time = static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2);
    return d;
}

// The DOS date and time of the instant `t` on this machine's local clock.
inline Dos localDos(time_t t) {
    const struct tm f = localFields(t);
    return dos(f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
}

// Splits text into lines, and a line into blank-separated words.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

inline std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

inline std::string repeat(const std::string& piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

}  // namespace zar::test
