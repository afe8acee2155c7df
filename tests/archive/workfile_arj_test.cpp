// ARJ work files: archives written by arj (Unix and DOS hosts, comments,
// directories, a middle volume of a multi-volume set), checked against what
// arj lists of the same files; the archive comment through a whole work file;
// and headers built field by field for extended headers, member types and
// damage of every kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/kinds.h"
#include "archive/records.h"
#include "common/bytes.h"
#include "common/zip_builder.h"
#include "fs/temp_files.h"
#include "workfile_support.h"

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

// One ARJ header, field by field, with its extended headers and data.
struct Header {
    uint16_t id = 60000;
    uint8_t fixedSize = 30;
    uint8_t hostOs = 0;         // MS-DOS: DOS date and time
    uint8_t flags = 0;
    uint8_t method = 1;
    uint8_t type = 0;           // binary file
    uint32_t stamp = 0x2A4320A3;  // DOS date (high) and time (low): 2001-02-03 04:05:06
    uint32_t unpacked = 100;
    uint32_t crc = 0xCAFEF00D;
    std::string name = "member.txt", comment;
    bool terminated = true;     // the name and comment end with NULs
    std::vector<std::string> extensions;
    std::string data = "data";

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> basic;
        basic.push_back(fixedSize);  // 4: size of the fixed part
        basic.push_back(11);         // 5: archiver version
        basic.push_back(1);          // 6: version needed
        basic.push_back(hostOs);     // 7: host OS
        basic.push_back(flags);      // 8: flags
        basic.push_back(method);     // 9: method
        basic.push_back(type);       // 10: file type
        basic.push_back(0);          // 11: reserved
        put32(basic, stamp);         // 12: modification time
        put32(basic, type <= 1 ? static_cast<uint32_t>(data.size()) : 0);  // 16: packed size
        put32(basic, unpacked);      // 20: unpacked size
        put32(basic, crc);           // 24: CRC-32
        put16(basic, 0);             // 28: file spec position
        put16(basic, 0x20);          // 30: access mode
        put16(basic, 0);             // 32: host data
        basic.resize(fixedSize, 0);  // further times or a continuation position
        putText(basic, name);
        if (terminated) basic.push_back(0);
        putText(basic, comment);
        if (terminated) basic.push_back(0);
        std::vector<uint8_t> out;
        put16(out, id);
        put16(out, static_cast<uint32_t>(basic.size()));
        out.insert(out.end(), basic.begin(), basic.end());
        put32(out, 0x12345678);      // basic header CRC (not checked)
        for (const std::string& e : extensions) {
            put16(out, static_cast<uint32_t>(e.size()));
            putText(out, e);
            put32(out, 0x9ABCDEF0);  // its CRC
        }
        put16(out, 0);
        if (type <= 1) putText(out, data);
        return out;
    }
};

const std::vector<uint8_t> kEnd = {0x60, 0xEA, 0, 0};

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(ArjWorkFile, BuiltHeaders) {
    Header main;
    main.type = 2, main.name = "built.arj", main.comment = "no line end";
    Header extended;
    extended.extensions = {"first extension", "second"}, extended.name = "ext.txt", extended.data = repeat("d", 300);
    Header text;
    text.type = 1, text.flags = 0x01 | 0x10, text.name = "text.txt", text.comment = "one line\n";
    Header directory;
    directory.type = 3, directory.name = "folder";
    Header label;
    label.type = 4, label.name = "LABEL";
    Header longer;
    longer.fixedSize = 46, longer.name = "later.txt";  // the fixed part of newer versions
    Header nameless;
    nameless.terminated = false, nameless.name = "unterminated";
    const std::vector<uint8_t> members =
        join({main.bytes(), extended.bytes(), text.bytes(), directory.bytes(), label.bytes(), longer.bytes()});
    const struct {
        const char* what;
        std::vector<uint8_t> tail;
    } ends[] = {
        {"the closing header", kEnd},
        {"the closing header and more", join({kEnd, std::vector<uint8_t>(100, 0x55)})},
        {"a part of the closing header", {0x60, 0xEA}},
        {"nothing", {}},
    };
    for (const auto& e : ends) {
        Listing listing = listBytes(Kind::Arj, join({members, e.tail}));
        ASSERT_EQ(listing.result, kOk) << e.what;
        EXPECT_EQ(listing.end.comment, "no line end");
        ASSERT_EQ(listing.records.size(), 5u) << e.what;
        const struct {
            const char* name;
            uint16_t flags, internal;
            uint32_t external, packed;
            const char* comment;
        } expected[] = {
            {"ext.txt", 0, 0, 32, 300, ""},  {"text.txt", 1, 1, 32, 4, "one line"}, {"folder", 0, 1, 16, 0, ""},
            {"LABEL", 0, 0, 8, 0, ""},       {"later.txt", 0, 0, 32, 4, ""},
        };
        for (size_t i = 0; i < 5; ++i) {
            const MemberRecord& r = listing.records[i];
            EXPECT_EQ(r.name, expected[i].name);
            EXPECT_EQ(r.flags, expected[i].flags) << r.name;
            EXPECT_EQ(r.internalAttributes, expected[i].internal) << r.name;
            EXPECT_EQ(r.externalAttributes, expected[i].external) << r.name;
            EXPECT_EQ(r.packedSize, expected[i].packed) << r.name;
            EXPECT_EQ(r.comment, expected[i].comment) << r.name;
            EXPECT_EQ(r.time, 0x20A3);
            EXPECT_EQ(r.date, 0x2A43);
            EXPECT_EQ(r.crc, 0xCAFEF00Du);
            EXPECT_EQ(r.unpackedSize, 100u);
            EXPECT_EQ(r.method, 1);
        }
    }
    Listing unterminated = listBytes(Kind::Arj, join({nameless.bytes(), kEnd}));
    ASSERT_EQ(unterminated.result, kOk);
    EXPECT_EQ(unterminated.records.at(0).name, "unterminated");

    // A Unix host stores a Unix time in the same four bytes.
    Header unix;
    unix.hostOs = 2, unix.stamp = 981173106;
    ScopedZone zone("UTC0");
    Listing listing = listBytes(Kind::Arj, join({unix.bytes(), kEnd}));
    ASSERT_EQ(listing.records.size(), 1u);
    EXPECT_EQ(listing.records[0].date, dos(2001, 2, 3, 4, 5, 6).date);
    EXPECT_EQ(listing.records[0].time, dos(2001, 2, 3, 4, 5, 6).time);
}

TEST(ArjWorkFile, DamagedHeaders) {
    auto changed = [](auto change) {
        Header h;
        change(h);
        return join({h.bytes(), kEnd});
    };
    auto cut = [](Header h, size_t length) {
        std::vector<uint8_t> bytes = h.bytes();
        bytes.resize(length);
        return bytes;
    };
    Header plain, extended;
    extended.extensions = {"extension"};
    std::vector<uint8_t> fixedTooLarge = plain.bytes();
    fixedTooLarge[4] = 200;  // the fixed part would run past the basic header
    std::vector<uint8_t> dataPastTheEnd = plain.bytes();
    storeLe32(&dataPastTheEnd[16], 1000);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        Result result;
    } cases[] = {
        {"wrong id", changed([](Header& h) { h.id = 0xEA61; }), kBadArchive},
        {"fixed part below 30", changed([](Header& h) { h.fixedSize = 29; }), kBadArchive},
        {"fixed part larger than the basic header", fixedTooLarge, kBadArchive},
        {"basic header over 2600 bytes", changed([](Header& h) { h.comment = std::string(2600, 'c'); }),
         kBadArchive},
        {"name of 260 bytes", changed([](Header& h) { h.name = repeat("n", 260); }), kOk},
        {"name of 261 bytes", changed([](Header& h) { h.name = repeat("n", 261); }), kTooLong},
        {"fixed part cut", cut(plain, 20), kShortRead},
        {"name cut", cut(plain, 38), kShortRead},
        {"header CRC cut", cut(plain, 4 + 30 + 11 + 1 + 2), kShortRead},
        // The basic header, its CRC, the extension's size, data and CRC, then one byte of the next size.
        {"extended header chain cut", cut(extended, 4 + 30 + 12 + 4 + 2 + 9 + 4 + 1), kShortRead},
        // The file ends inside the data: the list ends after the last whole header.
        {"data past the end", dataPastTheEnd, kOk},
    };
    for (const auto& c : cases) EXPECT_EQ(listBytes(Kind::Arj, c.bytes).result, c.result) << c.what;

    // A packed size that sends the next header past the 32-bit range.
    std::vector<uint8_t> wrapped = Header().bytes();
    storeLe32(&wrapped[16], 0xFFFFFFF0);
    Listing listing = listBytes(Kind::Arj, wrapped);
    EXPECT_EQ(listing.result, kBadArchive);
    EXPECT_EQ(listing.records.size(), 1u);
}

}  // namespace

namespace {

TEST(ForeignBuilders, OneForEachSingleFileForeignKind) {
    using zar::archive::foreignBuilder;
    using zar::archive::Kind;
    const Kind foreign[] = {Kind::Lzh, Kind::Arj, Kind::Zoo, Kind::Arc, Kind::Tar, Kind::Gzip};
    for (size_t i = 0; i < std::size(foreign); ++i) {
        ASSERT_NE(foreignBuilder(foreign[i]), nullptr) << static_cast<int>(foreign[i]);
        for (size_t j = 0; j < i; ++j) EXPECT_NE(foreignBuilder(foreign[i]), foreignBuilder(foreign[j]));
    }
    for (Kind other : {Kind::None, Kind::Zip, Kind::OwnMultiVolume, Kind::Spanned, Kind::FrontDirectory,
                       Kind::OldSingleFile, Kind::OwnMultiVolume3, Kind::SelfExtracting})
        EXPECT_EQ(foreignBuilder(other), nullptr) << static_cast<int>(other);
}

}  // namespace
