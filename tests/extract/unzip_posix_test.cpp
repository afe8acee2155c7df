// The unzip driver on what only POSIX has: "//server/share" names that lead
// to this machine's root, directories whose names hold ':', names with '"',
// and TAR, gzip and ARC files made by their own tools.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "fs/temp_files.h"
#include "platform/platform.h"
#include "unzip_support.h"
#include "zarlib32.h"

namespace {

using zar::test::entry;
using zar::test::readBytes;
using zar::test::readText;
using zar::test::writeText;
using zar::test::ZipArchive;
using zar::test::ZipEntry;
namespace fsys = std::filesystem;
using zar::test::unzip::filesBelow;
using zar::test::unzip::Unzip;

TEST_F(Unzip, UncNamesKeptWithTheirDriveAreRefused) {
    // On POSIX "//server/share/..." is "/server/share/...": a server name of
    // this test's own keeps a regression from touching anyone else's files.
    const std::string server = "zartest-unc-" + fsys::path(s.path()).filename().string();
    struct Restore {
        std::string root;
        ~Restore() {
            std::error_code ec;
            fsys::remove_all(root, ec);
        }
    } restore{"/" + server};
    ZipArchive zip;
    zip.entries.push_back(entry("\\\\" + server + "\\share\\f.txt", "no"));
    zip.entries.push_back(entry("//" + server + "/share/dir/g.txt", "no"));
    ZipEntry dir = entry("//" + server + "/share/made/", "");
    dir.externalAttributes = 0x10;
    zip.entries.push_back(dir);
    zip.entries.push_back(entry("good.txt", "good"));
    const std::string archive = make(zip);
    struct Case {
        const char* options;
        bool filter;  // sends the share into the output directory
        int16_t result;
        std::vector<int16_t> notices;
        std::vector<std::string> files;
    } cases[] = {
        {"-D -.D", false, -8, {105, 105, 105}, {"good.txt"}},
        {"-D -.D -.O", false, -8, {}, {"good.txt"}},
        {"-D", false, 0, {}, {"dir/g.txt", "f.txt", "good.txt"}},  // without -.D the drive is dropped
        {"-D -.D", true, 0, {}, {"good.txt", "unc/dir/g.txt", "unc/f.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options) + (c.filter ? " with a filter" : ""));
        fsys::remove_all(out);
        fsys::create_directory(out);
        host_.reports.clear();
        if (c.filter) {
            ASSERT_EQ(Ax4AddUnZipPathFilter(("//" + server + "/share" + out).c_str(), (out + "/unc").c_str()), 0);
        }
        EXPECT_EQ(unzip(archive, "*.*", c.options), c.result);
        EXPECT_EQ(codes(), c.notices);
        EXPECT_EQ(filesBelow(out), c.files);
        EXPECT_FALSE(fsys::exists("/" + server));
    }
}

// Where paths have no drives, an output directory whose name holds or ends in
// ':' is a directory like any other: entries land inside it, made when missing.
TEST_F(Unzip, OutputDirectoriesWithAColon) {
    if (zar::platform::pathsHaveDrives()) GTEST_SKIP() << "':' ends a drive here";
    ZipArchive zip;
    zip.entries.push_back(entry("DATA/SUB/x.txt", "x"));
    zip.entries.push_back(entry("top.txt", "top"));
    const std::string archive = make(zip);
    struct Case {
        std::string outputDir;  // relative to the scratch directory, the current one
        const char* options;
        std::string from, to;   // a path filter; none when empty
        std::string inside;     // where the files land
        std::vector<std::string> files;
    } cases[] = {
        {"out:", "-D", "", "", "out:", {"DATA/SUB/x.txt", "top.txt"}},
        {"a:b/", "-D", "", "", "a:b", {"DATA/SUB/x.txt", "top.txt"}},
        {"c:", "", "", "", "c:", {"top.txt", "x.txt"}},  // one letter: still no drive
        {"made:/deep:er", "-D", "", "", "made:/deep:er", {"DATA/SUB/x.txt", "top.txt"}},
        {"out:", "-D -.D", "out:/DATA", "moved:", "", {"moved:/SUB/x.txt", "out:/top.txt"}},
    };
    fsys::current_path(s.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outputDir + " " + c.options);
        for (const char* d : {"out:", "a:b", "c:", "made:", "moved:"}) fsys::remove_all(s / d);
        if (!c.from.empty()) {
            ASSERT_EQ(Ax4AddUnZipPathFilter(c.from.c_str(), c.to.c_str()), 0);
        }
        AxHandle h;
        ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h), 0);
        EXPECT_EQ(Ax4UnZip(&h, c.outputDir.c_str(), "*.*", nullptr, c.options), 0);
        Ax4ZipClose(&h);
        EXPECT_TRUE(host_.reports.empty()) << host_.reports.front().name;
        if (c.inside.empty()) {
            std::vector<std::string> all;
            for (const std::string& f : filesBelow(s.path()))
                if (f != "a.zip" && f.rfind("out/", 0) != 0) all.push_back(f);
            EXPECT_EQ(all, c.files);
        } else {
            EXPECT_EQ(filesBelow(s / c.inside), c.files);
            EXPECT_EQ(filesBelow(s.path()).size(), c.files.size() + 1);  // and nothing beside it but the archive
        }
    }
    fsys::current_path("/");
}

TEST_F(Unzip, TarAndGzipKinds) {
    fsys::create_directory(s / "src");
    writeText(s / "src/one.txt", "tar member one\n");
    writeText(s / "src/two.txt", std::string(70000, 't'));
    ASSERT_EQ(zar::test::run("cd " + s.path() + "/src && tar -cf ../t.tar one.txt two.txt && "
                             "gzip -c two.txt > ../two.txt.gz")
                  .status,
              0);
    EXPECT_EQ(unzip(s / "t.tar", "*.*", "-T"), 0);
    EXPECT_TRUE(fsys::is_empty(out));
    EXPECT_EQ(unzip(s / "t.tar", "*.*", ""), 0);
    EXPECT_EQ(readText(o("one.txt")), "tar member one\n");
    EXPECT_EQ(readText(o("two.txt")), std::string(70000, 't'));

    EXPECT_EQ(unzip(s / "two.txt.gz", "*.*", "-T"), 0);
    fsys::remove(o("two.txt"));
    EXPECT_EQ(unzip(s / "two.txt.gz", "*.*", ""), 0);
    EXPECT_EQ(readText(o("two.txt")), std::string(70000, 't'));

    // TAR members are copied, not decoded, and still report their progress,
    // from which a cancel stops the run.
    int progress = 0;
    host_.onProgress = [&] { ++progress; };
    EXPECT_EQ(unzip(s / "t.tar", "*.*", "-T"), 0);
    EXPECT_GE(progress, 4);  // a start and an end for each member
    host_.onProgress = [] { Ax4Cancel(); };
    EXPECT_EQ(unzip(s / "t.tar", "*.*", "-T"), AX_CANCELLED);
    host_.onProgress = nullptr;

    // A TAR cut inside a member's data is caught in test mode too.
    auto bytes = readBytes(s / "t.tar");
    bytes.resize(512 * 4);
    zar::test::writeBytes(s / "cut.tar", bytes);
    int16_t r = unzip(s / "cut.tar", "*.*", "-T");
    EXPECT_TRUE(r == -11 || r == -2) << r;
    EXPECT_TRUE(host_.reports.empty());
}

TEST_F(Unzip, AGzipFileWithoutANameExtractsUnderItsOwnFileName) {
    fsys::create_directories(s / "deep/work");
    writeText(s / "s.tar", "tar bytes\n");
    ASSERT_EQ(zar::test::run("cd " + s.path() + " && gzip -nc s.tar > deep/s.tgz && rm s.tar").status, 0);
    // The archive's own directory is no part of the member's name, however the
    // archive is named: relative to the current directory, or from the root.
    const fsys::path before = fsys::current_path();
    fsys::current_path(s / "deep/work");
    for (const std::string& archive : {std::string("../s.tgz"), s / "deep/s.tgz"}) {
        SCOPED_TRACE(archive);
        fsys::remove_all(out);
        fsys::create_directory(out);
        host_.reports.clear();
        EXPECT_EQ(unzip(archive, "*.*", "-D"), 0);
        EXPECT_EQ(codes(), std::vector<int16_t>{});
        EXPECT_EQ(filesBelow(out), std::vector<std::string>{"s.tar"});
        EXPECT_EQ(readText(o("s.tar")), "tar bytes\n");
    }
    fsys::current_path(before);
}

TEST_F(Unzip, MembersOfKindsWithoutDecoderAreNotices) {
    writeText(s / "one.txt", "arc member\n");
    ASSERT_EQ(zar::test::run("cd " + s.path() + " && arc a t.arc one.txt >/dev/null 2>&1").status, 0);
    EXPECT_EQ(unzip(s / "t.arc", "*.*", ""), 0);
    EXPECT_EQ(codes(), std::vector<int16_t>{-3});
    EXPECT_TRUE(fsys::is_empty(out));
}

TEST_F(Unzip, NamesWithQuotesLeaveNothingRegistered) {
    // The registry's text quotes its paths; a '"' in a name must not keep a
    // file from leaving it.
    ZipArchive zip;
    for (const char* name : {"quote\"dir/f.txt", "dir/quo\"te.txt", "\"both\" \"ends\".txt"})
        zip.entries.push_back(entry(name, std::string("in ") + name));
    const std::string archive = make(zip);
    for (int run = 0; run < 2; ++run) {  // once into an empty directory, once over what the first run made
        SCOPED_TRACE(run);
        EXPECT_EQ(unzip(archive, "*.*", "-D -O"), 0);
        EXPECT_EQ(zar::fs::tempRegistry(), "");
        EXPECT_EQ(filesBelow(out), (std::vector<std::string>{"\"both\" \"ends\".txt", "dir/quo\"te.txt",
                                                             "quote\"dir/f.txt"}));
        EXPECT_EQ(readText(o("quote\"dir/f.txt")), "in quote\"dir/f.txt");
    }
}

}  // namespace
