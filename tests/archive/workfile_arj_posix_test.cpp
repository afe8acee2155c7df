// ARJ work files from arj itself (Unix and DOS hosts, comments, directories, a
// middle volume of a multi-volume set), checked against what arj lists of the
// same files, and the archive comment through a whole work file. Runs arj:
// POSIX only (the built headers are in workfile_arj_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/kinds.h"
#include "archive/records.h"
#include "common/bytes.h"
#include "common/zip_builder.h"
#include "fs/temp_files.h"
#include "workfile_tools.h"

namespace {

using namespace zar;
using namespace zar::test;
using archive::Kind;

// One member as `arj v` lists it.
struct Reported {
    std::string name, comment, host;
    uint32_t original, compressed;
    Dos when;
};

std::vector<Reported> reportedByArj(const std::string& dir, const std::string& archive) {
    std::string out;
    runIn(dir, "arj v '" + archive + "'", &out);
    std::vector<Reported> members;
    std::vector<std::string> all = lines(out);
    for (size_t i = 0; i < all.size(); ++i) {
        // "001) name", then the comment lines, then "rev host original compressed ratio date time ..."
        const std::string& line = all[i];
        if (line.size() < 5 || line[3] != ')' || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
        Reported r;
        r.name = line.substr(5);
        std::string comment;
        for (++i; i < all.size(); ++i) {
            std::vector<std::string> w = words(all[i]);
            if (w.size() >= 7 && w[0] == "11" && (w[1] == "UNIX" || w[1] == "MS-DOS")) {
                r.host = w[1];
                r.original = static_cast<uint32_t>(std::stoul(w[2]));
                r.compressed = static_cast<uint32_t>(std::stoul(w[3]));
                int yy, mo, dd, hh, mi, ss;
                std::sscanf(w[5].c_str(), "%d-%d-%d", &yy, &mo, &dd);
                std::sscanf(w[6].c_str(), "%d:%d:%d", &hh, &mi, &ss);
                r.when = dos(yy < 80 ? 2000 + yy : 1900 + yy, mo, dd, hh, mi, ss);
                break;
            }
            comment += all[i] + "\n";
        }
        // arj prints a blank line after a comment.
        while (!comment.empty() && comment.back() == '\n') comment.pop_back();
        r.comment = comment;
        members.push_back(r);
    }
    return members;
}

struct ArjTree {
    Scratch scratch;
    std::string small = "hello hello hello hello\n", large = repeat("the quick brown fox, ", 80);
    std::string archiveComment;

    ArjTree() {
        std::filesystem::create_directories(scratch / "sub/deep");
        writeFileAt(scratch / "a.txt", small, kFebruary2001);
        writeFileAt(scratch / "sub/deep/b.txt", large, kFebruary2001);
        setTime(scratch / "sub/deep", kFebruary2001);
        // Longer than 260 characters: the archive comment is not held to the name limit.
        for (int i = 1; i <= 10; ++i) archiveComment += "archive comment line " + std::to_string(i) + " of ten\n";
        writeText(scratch / "comment.txt", archiveComment);
        archiveComment.pop_back();  // listed without the line end of its last line
        writeText(scratch / "file-comment.txt", "a comment for a.txt\nsecond line\n");
    }
};

TEST(ArjWorkFile, ArchivesOfArjListWhatArjReports) {
    ScopedZone zone("Etc/GMT+5");  // five hours behind UTC
    ArjTree tree;
    const Dos local = dos(2001, 2, 2, 23, 5, 6);
    const struct {
        const char* archive;
        const char* options;
        uint16_t method;
        const char* host;
    } cases[] = {
        {"unix.arj", "-m1", 1, "UNIX"},
        {"fastest.arj", "-m4", 4, "UNIX"},
        {"stored.arj", "-m0", 0, "UNIX"},
        {"dos.arj", "-m1 -2d", 1, "MS-DOS"},  // DOS date and time in the headers
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        const std::string archive = c.archive;
        runIn(tree.scratch.path(), "arj a " + archive + " " + c.options + " -y a.txt sub/deep/b.txt && arj c " +
                                       archive + " -y -zcomment.txt && arj c " + archive +
                                       " a.txt -y -jzfile-comment.txt");
        Listing listing = listFile(Kind::Arj, tree.scratch / archive);
        ASSERT_EQ(listing.result, kOk);
        EXPECT_EQ(listing.end.comment, tree.archiveComment);
        std::vector<Reported> reported = reportedByArj(tree.scratch.path(), archive);
        ASSERT_EQ(reported.size(), 2u);
        ASSERT_EQ(listing.records.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            const MemberRecord& got = listing.records[i];
            const Reported& want = reported[i];
            EXPECT_EQ(want.host, c.host);
            EXPECT_EQ(got.name, want.name);
            EXPECT_EQ(got.comment, want.comment);
            EXPECT_EQ(got.unpackedSize, want.original);
            EXPECT_EQ(got.packedSize, want.compressed);
            EXPECT_EQ(got.date, want.when.date);
            EXPECT_EQ(got.time, want.when.time);
            EXPECT_EQ(got.date, local.date);
            EXPECT_EQ(got.time, local.time);
            EXPECT_EQ(got.crc, crcOf(i == 0 ? tree.small : tree.large));
            EXPECT_EQ(got.method, c.method);
            EXPECT_EQ(got.flags, 0);
            EXPECT_EQ(got.internalAttributes, 0);
            EXPECT_EQ(got.externalAttributes, 32u);
            EXPECT_EQ(got.localOffset, 0u);
        }
        EXPECT_EQ(listing.records[0].comment, "a comment for a.txt\nsecond line");
        EXPECT_TRUE(listing.records[1].comment.empty());
    }
}

TEST(ArjWorkFile, DirectoriesAndAMiddleVolume) {
    ScopedZone zone("UTC0");
    ArjTree tree;
    runIn(tree.scratch.path(), "arj a dirs.arj -r -a1 -y sub");
    Listing dirs = listFile(Kind::Arj, tree.scratch / "dirs.arj");
    ASSERT_EQ(dirs.result, kOk);
    std::vector<Reported> reported = reportedByArj(tree.scratch.path(), "dirs.arj");
    ASSERT_EQ(dirs.records.size(), reported.size());
    bool sawDirectory = false;
    for (size_t i = 0; i < reported.size(); ++i) {
        EXPECT_EQ(dirs.records[i].name, reported[i].name);
        bool directory = dirs.records[i].name == "sub/deep";
        sawDirectory |= directory;
        EXPECT_EQ(dirs.records[i].externalAttributes, directory ? 16u : 32u) << reported[i].name;
        EXPECT_EQ(dirs.records[i].internalAttributes, directory ? 1 : 0) << reported[i].name;
    }
    EXPECT_TRUE(sawDirectory);

    // The second volume starts with the rest of a file, whose header carries
    // the position it continues from in its fixed part.
    std::string data;
    uint32_t state = 12345;
    for (int i = 0; i < 150000; ++i) data += static_cast<char>((state = state * 1103515245 + 12345) >> 24);
    writeText(tree.scratch / "big.bin", data);
    runIn(tree.scratch.path(), "arj a volumes.arj -m0 -v60k -y big.bin");
    Listing middle = listFile(Kind::Arj, tree.scratch / "volumes.a01");
    ASSERT_EQ(middle.result, kOk);
    reported = reportedByArj(tree.scratch.path(), "volumes.a01");
    ASSERT_EQ(reported.size(), 1u);
    ASSERT_EQ(middle.records.size(), 1u);
    EXPECT_EQ(middle.records[0].name, "big.bin");
    EXPECT_EQ(middle.records[0].packedSize, reported[0].compressed);
    EXPECT_EQ(middle.records[0].unpackedSize, reported[0].original);
}

TEST(ArjWorkFile, ArchiveCommentReachesTheWorkFileEndRecord) {
    ArjTree tree;
    runIn(tree.scratch.path(), "arj a c.arj -y a.txt && arj c c.arj -y -zcomment.txt");
    const std::string path = tree.scratch / "c.arj";
    fs::File archive(fs::openFile(path.c_str(), platform::kAccessRead, platform::kShareRead,
                                  fs::Disposition::OpenExisting, 0, false));
    ASSERT_TRUE(archive.valid());
    fs::FileHandle work = fs::kInvalidFile;
    std::string workName;
    archive::VolumeInfo info{99, 99};
    ScopedEnv tmp("TMPDIR", tree.scratch.path().c_str());
    fs::FileHandle file = archive.get();
    ASSERT_EQ(archive::buildWorkFile(&file, path.c_str(), Kind::Arj, &work, &workName, &info), kOk);
    EXPECT_EQ(info.volume, 0);
    fs::closeFile(work);
    std::vector<uint8_t> bytes = readBytes(workName);
    fs::unregisterTempFile(workName.c_str());
    fs::deleteFile(workName.c_str());

    // One central record with its name, then the end record and the comment.
    const size_t recordSize = 46 + 5;
    ASSERT_EQ(bytes.size(), recordSize + 22 + tree.archiveComment.size());
    const uint8_t* end = bytes.data() + recordSize;  // the end record
    EXPECT_EQ(loadLe32(bytes.data()), archive::kCentralSignature);
    EXPECT_EQ(loadLe32(end), archive::kEndSignature);
    EXPECT_EQ(loadLe16(end + 10), 1);
    EXPECT_EQ(loadLe32(end + 12), recordSize);
    EXPECT_EQ(loadLe16(end + 20), tree.archiveComment.size());
    EXPECT_EQ(std::string(bytes.begin() + recordSize + 22, bytes.end()), tree.archiveComment);
}

}  // namespace
