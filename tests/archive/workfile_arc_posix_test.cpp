// ARC work files from arc itself: archives written with each of its packing
// choices, checked against what arc lists of the same files. Runs arc: POSIX
// only (the built headers are in workfile_arc_test.cpp).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/kinds.h"
#include "workfile_tools.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;

// One member as `arc v` lists it: name, length, stowage, size now, date, time, CRC.
struct Reported {
    std::string name, stowage;
    uint32_t length, sizeNow;
    uint16_t crc;
    Dos when;  // to the minute: arc shows no seconds
};

std::vector<Reported> reportedByArc(const std::string& dir, const std::string& archive) {
    std::string out;
    runIn(dir, "arc v '" + archive + "'", &out);
    static const std::map<std::string, int> months = {{"Jan", 1}, {"Feb", 2}, {"Mar", 3}, {"Apr", 4},
                                                      {"May", 5}, {"Jun", 6}, {"Jul", 7}, {"Aug", 8},
                                                      {"Sep", 9}, {"Oct", 10}, {"Nov", 11}, {"Dec", 12}};
    std::vector<Reported> members;
    for (const std::string& line : lines(out)) {
        std::vector<std::string> w = words(line);
        // name length stowage SF size-now day month year time crc
        if (w.size() != 10 || !months.count(w[6])) continue;
        int hour = 0, minute = 0;
        char half = 'a';
        std::sscanf(w[8].c_str(), "%d:%d%c", &hour, &minute, &half);
        hour = hour % 12 + (half == 'p' ? 12 : 0);
        int year = std::stoi(w[7]);
        members.push_back({w[0], w[2], static_cast<uint32_t>(std::stoul(w[1])),
                           static_cast<uint32_t>(std::stoul(w[4])), static_cast<uint16_t>(std::stoul(w[9], nullptr, 16)),
                           dos(year < 80 ? 2000 + year : 1900 + year, months.at(w[6]), std::stoi(w[5]), hour, minute, 0)});
    }
    return members;
}

TEST(ArcWorkFile, ArchivesOfArcListWhatArcReports) {
    ScopedZone zone("Etc/GMT+5");
    Scratch scratch;
    const std::vector<std::string> data = {"hello hello hello hello\n", repeat("the quick brown fox, ", 80), "x"};
    const std::vector<std::string> names = {"a.txt", "b.txt", "c"};
    for (size_t i = 0; i < names.size(); ++i) writeFileAt(scratch / names[i], data[i], kFebruary2001);
    const Dos local = dos(2001, 2, 2, 23, 5, 6);
    // Stowage as arc names it, and the method byte it writes.
    const std::map<std::string, uint16_t> methods = {{"--", 2}, {"Packed", 3}, {"Squeezed", 4}, {"Crunched", 8},
                                                     {"Squashed", 9}};
    for (const char* command : {"a", "as", "aq"}) {
        SCOPED_TRACE(command);
        const std::string archive = std::string(command) + ".arc";
        runIn(scratch.path(), std::string("arc ") + command + " " + archive + " a.txt b.txt c");
        Listing listing = listFile(Kind::Arc, scratch / archive);
        ASSERT_EQ(listing.result, kOk);
        std::vector<Reported> reported = reportedByArc(scratch.path(), archive);
        ASSERT_EQ(reported.size(), 3u);
        ASSERT_EQ(listing.records.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            const MemberRecord& got = listing.records[i];
            const Reported& want = reported[i];
            EXPECT_EQ(got.name, names[i]);
            EXPECT_EQ(got.name, want.name);
            EXPECT_EQ(got.unpackedSize, want.length);
            EXPECT_EQ(got.unpackedSize, data[i].size());
            EXPECT_EQ(got.packedSize, want.sizeNow);
            EXPECT_EQ(got.crc, want.crc);
            ASSERT_TRUE(methods.count(want.stowage)) << want.stowage;
            EXPECT_EQ(got.method, methods.at(want.stowage));
            EXPECT_EQ(got.date, want.when.date);
            EXPECT_EQ(got.time & ~31u, want.when.time);
            EXPECT_EQ(got.date, local.date);
            EXPECT_EQ(got.time, local.time);
            EXPECT_EQ(got.externalAttributes, 0u);
            EXPECT_EQ(got.localOffset, 0u);
            EXPECT_TRUE(got.comment.empty());
        }
        if (std::string(command) == "as") {
            EXPECT_EQ(listing.records[1].method, 2);
        } else if (std::string(command) == "aq") {
            EXPECT_EQ(listing.records[1].method, 9);
        }
    }
}

}  // namespace
