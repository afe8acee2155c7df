// LZH work files of header levels 0, 1 and 2 written by jlha, checked against
// what lhasa lists of the same files. Runs both: POSIX only (the built headers
// are in workfile_lzh_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive/kinds.h"
#include "workfile_tools.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;

// One member as lhasa lists it.
struct Reported {
    uint32_t packed, size;
    std::string method;
    uint16_t crc;
    std::string name;
};

std::vector<Reported> reportedByLhasa(const std::string& dir, const std::string& archive) {
    std::string out;
    runIn(dir, "lhasa v '" + archive + "'", &out);
    std::vector<Reported> members;
    for (const std::string& line : lines(out)) {
        // [generic] packed size ratio method crc month day year-or-time name
        std::vector<std::string> w = words(line);
        if (w.size() != 10 || w[0] != "[generic]") continue;
        members.push_back({static_cast<uint32_t>(std::stoul(w[1])), static_cast<uint32_t>(std::stoul(w[2])), w[4],
                           static_cast<uint16_t>(std::stoul(w[5], nullptr, 16)), w[9]});
    }
    return members;
}

std::string slashes(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

TEST(LzhWorkFile, EveryHeaderLevelOfJlhaListsWhatLhasaReports) {
    ScopedZone zone("Etc/GMT+5");  // five hours behind UTC, for jlha (Java) and the library alike
    Scratch scratch;
    std::filesystem::create_directories(scratch / "sub/deep");
    const std::string small = "hello hello hello hello\n", large = repeat("the quick brown fox, ", 80);
    writeFileAt(scratch / "a.txt", small, kFebruary2001);
    writeFileAt(scratch / "sub/deep/b.txt", large, kFebruary2001);
    const Dos local = dos(2001, 2, 2, 23, 5, 6);
    const struct {
        const char* command;
        const char* method;
    } cases[] = {
        {"a0", "-lh5-"}, {"a1", "-lh5-"}, {"a2", "-lh5-"}, {"a1z", "-lh0-"}, {"a2o6", "-lh6-"}, {"a0o7", "-lh7-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const std::string archive = std::string(c.command) + ".lzh";
        runIn(scratch.path(), std::string("jlha ") + c.command + " " + archive + " a.txt sub/deep/b.txt");
        Listing listing = listFile(Kind::Lzh, scratch / archive);
        ASSERT_EQ(listing.result, kOk);
        std::vector<Reported> reported = reportedByLhasa(scratch.path(), archive);
        ASSERT_EQ(reported.size(), 2u);
        ASSERT_EQ(listing.records.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            const MemberRecord& got = listing.records[i];
            const Reported& want = reported[i];
            EXPECT_EQ(slashes(got.name), want.name);  // level 0 stores '\'; readers turn it into '/'
            EXPECT_EQ(got.packedSize, want.packed);
            EXPECT_EQ(got.unpackedSize, want.size);
            EXPECT_EQ(got.unpackedSize, i == 0 ? small.size() : large.size());
            EXPECT_EQ(std::string("-lh") + static_cast<char>('0' + got.method) + "-", want.method);
            EXPECT_EQ(want.method, c.method);
            EXPECT_EQ(got.crc, want.crc);
            EXPECT_EQ(got.date, local.date);
            EXPECT_EQ(got.time, local.time);
            EXPECT_EQ(got.externalAttributes, 0x20u);
            EXPECT_EQ(got.localOffset, 0u);
            EXPECT_EQ(got.flags, 0);
            EXPECT_TRUE(got.comment.empty());
        }
    }

    // Directory members of level 2: an empty file name under a directory header.
    runIn(scratch.path(), "jlha a2 dirs.lzh sub");
    Listing dirs = listFile(Kind::Lzh, scratch / "dirs.lzh");
    ASSERT_EQ(dirs.result, kOk);
    std::vector<Reported> reported = reportedByLhasa(scratch.path(), "dirs.lzh");
    ASSERT_EQ(dirs.records.size(), reported.size());
    for (size_t i = 0; i < reported.size(); ++i) {
        EXPECT_EQ(dirs.records[i].name, reported[i].name);
        EXPECT_EQ(dirs.records[i].method, reported[i].method == "-lhd-" ? 'd' - '0' : 5);
    }
}

}  // namespace
