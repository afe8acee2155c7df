// zar list, test, extract and identify, on archives zar writes and on
// archives made by other tools.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "tools/zar_support.h"

namespace zar::test {
namespace {

namespace fs = std::filesystem;

class ZarRead : public ::testing::Test {
protected:
    void SetUp() override {
        writeTree(scratch.path(), tree);
        fs::create_directories(scratch / "tree/emptydir");
    }
    ZarRun in(std::vector<std::string> args, const std::string& input = {}) {
        return zar(scratch.path(), std::move(args), input);
    }
    // Sets a file's time to a local date and time.
    void setTime(const std::string& name, int year, int month, int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
        t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
        struct timespec times[2] = {{std::mktime(&t), 0}, {std::mktime(&t), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (scratch / name).c_str(), times, 0), 0);
    }

    Scratch scratch;
    const std::map<std::string, std::string> tree = sampleTree();
};

TEST_F(ZarRead, SplitSetsOfZipReadLikeAnyArchive) {
    std::string noise;
    for (int i = 0; i < 40000; ++i) noise += std::to_string(i * 2654435761u % 1000003) + ",";
    writeText(scratch / "tree/noise.txt", noise);
    ASSERT_EQ(zar::test::run("cd " + quote(scratch.path()) + " && zip -q -0 -r -s 64k set.zip tree").status, 0);
    ASSERT_TRUE(fs::exists(scratch / "set.z02"));
    ZarRun list = in({"list", "set.zip"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_TRUE(contains(list.out, "tree/noise.txt"));
    EXPECT_EQ(in({"test", "set"}).status, 0);
    ZarRun extract = in({"extract", "-d", "out", "set.zip"});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(fileText(scratch / "out/tree/noise.txt"), noise);

    // On a disk, with nobody to insert the last one, zar says what it needs.
    fs::create_directories(scratch / "drive");
    fs::copy_file(scratch / "set.z01", scratch / "drive/set.zip");
    writeText(scratch / "drive/.volume-label", "PKBACK# 001");
    ScopedEnv removable("ZARLIB_REMOVABLE", (scratch / "drive").c_str());
    ZarRun disk = in({"list", "drive/set.zip"});
    EXPECT_EQ(disk.status, 130);
    EXPECT_TRUE(contains(disk.err, "needs its last disk")) << disk.err;
}

TEST_F(ZarRead, AddListTestExtractGiveTheTreeBack) {
    setTime("tree/readme.txt", 2021, 3, 4, 5, 6, 8);
    ASSERT_EQ(in({"add", "a.zip", "tree"}).status, 0);

    ZarRun list = in({"list", "a.zip"});
    ASSERT_EQ(list.status, 0) << list.err;
    for (const auto& [name, text] : tree) EXPECT_TRUE(contains(list.out, "  " + name + "\n")) << name;
    EXPECT_TRUE(contains(list.out, "tree/emptydir/\n"));
    EXPECT_TRUE(contains(list.out, "Deflated   ")) << list.out;
    // Made on Unix: the mode is in the record, and no DOS letters.
    EXPECT_TRUE(contains(list.out, "2021-03-04 05:06  -       tree/readme.txt\n")) << list.out;
    EXPECT_TRUE(contains(list.out, "10 entries\n")) << list.out;

    ZarRun test = in({"test", "a.zip"});
    EXPECT_EQ(test.status, 0);
    EXPECT_EQ(test.out, "a.zip: 7 files tested, no problems found\n");
    EXPECT_EQ(test.err, "");

    ZarRun extract = in({"extract", "-d", "out", "a.zip"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(readTree(scratch / "out/tree"), underPrefix(tree, "tree/"));
    EXPECT_TRUE(fs::is_directory(scratch / "out/tree/emptydir"));
    // DOS times have two-second steps.
    struct stat original, restored;
    ASSERT_EQ(::stat((scratch / "tree/readme.txt").c_str(), &original), 0);
    ASSERT_EQ(::stat((scratch / "out/tree/readme.txt").c_str(), &restored), 0);
    EXPECT_EQ(original.st_mtime, restored.st_mtime);
}

TEST_F(ZarRead, ListShowsMethodsAttributesCommentsAndTotals) {
    ::chmod((scratch / "tree/readme.txt").c_str(), 0444);
    ASSERT_EQ(in({"add", "-0", "a.zip", "tree/readme.txt"}).status, 0);
    ASSERT_EQ(in({"add", "-4", "-p", "secret", "a.zip", "tree/docs/big.txt"}).status, 0);
    ASSERT_EQ(in({"comment", "a.zip", "first line\nsecond line"}).status, 0);
    ASSERT_EQ(in({"comment", "-e", "tree/*.txt", "a.zip", "about readme"}).status, 0);

    ZarRun list = in({"list", "a.zip"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_TRUE(contains(list.out, "Archive: a.zip (ZIP archive)\nComment:\n  first line\n  second line\n"))
        << list.out;
    EXPECT_TRUE(contains(list.out, "        14          14     0%  Stored   ")) << list.out;
    EXPECT_TRUE(contains(list.out, "-       tree/readme.txt\n      comment: about readme\n")) << list.out;
    EXPECT_TRUE(contains(list.out, "Deflated*")) << list.out;  // encrypted
    EXPECT_TRUE(contains(list.out, "2 entries\n")) << list.out;

    // The DOS letters of an entry made on DOS.
    ASSERT_EQ(run("cd " + quote(scratch.path()) +
                  " && python3 -c 'import zipfile\n"
                  "i=zipfile.ZipInfo(\"DOS.TXT\",(2020,1,2,3,4,6))\n"
                  "i.create_system=0\n"
                  "i.external_attr=0x23\n"
                  "zipfile.ZipFile(\"dos.zip\",\"w\").writestr(i,b\"x\")'")
                  .status,
              0);
    ZarRun dos = in({"list", "dos.zip"});
    EXPECT_TRUE(contains(dos.out, "2020-01-02 03:04  ..RH.A  DOS.TXT\n")) << dos.out;

    ZarRun names = in({"list", "-1", "a.zip", "*big*"});
    EXPECT_EQ(names.out, "tree/docs/big.txt\n");
    ZarRun none = in({"list", "a.zip", "*.jpg"});
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(contains(none.err, "(code -7)")) << none.err;
}

// What extraction does with a file that exists, under each policy; the other
// file of the archive does not exist yet.
// extract --stdout gives the bytes of the selected files in the archive's
// order, through windows of the library's memory extraction: entries larger
// than one window, encrypted ones, and members of TAR and gzip files.
TEST_F(ZarRead, ExtractToStdoutStreamsTheEntries) {
    std::string large;
    uint32_t x = 7;
    for (size_t i = 0; large.size() < 5 * 1024 * 1024 + 123; ++i) {
        x = x * 1103515245u + 12345u;
        large += (i / 100) % 3 ? std::string(1, static_cast<char>(x >> 24)) : "compressible words ";
    }
    writeText(scratch / "large.bin", large);
    ASSERT_EQ(in({"add", "a.zip", "tree", "large.bin"}).status, 0);
    ASSERT_EQ(in({"add", "-p", "pw", "-0", "e.zip", "large.bin"}).status, 0);

    ZarRun one = in({"extract", "-c", "a.zip", "large.bin"});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_TRUE(one.out == large) << one.out.size();
    EXPECT_EQ(one.err, "");
    ZarRun locked = in({"extract", "--stdout", "-p", "pw", "e.zip"});
    EXPECT_EQ(locked.status, 0) << locked.err;
    EXPECT_TRUE(locked.out == large) << locked.out.size();

    // Patterns select as they do for extract; directories give nothing.
    std::string expected;
    ZarRun listed = in({"list", "-1", "a.zip"});
    for (size_t at = 0; at < listed.out.size();) {
        const size_t end = listed.out.find('\n', at);
        const std::string name = listed.out.substr(at, end - at);
        at = end + 1;
        if (name.rfind("tree/docs/", 0) == 0 && name.back() != '/') expected += tree.at(name);
    }
    ZarRun docs = in({"extract", "-c", "a.zip", "tree/docs/*", "-x", "*.zip"});
    EXPECT_EQ(docs.status, 0) << docs.err;
    EXPECT_TRUE(docs.out == expected);
    EXPECT_EQ(in({"extract", "-c", "a.zip", "tree/empty.dat"}).out, "");

    writeText(scratch / "member.txt", "a member of a tar\n");
    ASSERT_EQ(run("cd " + quote(scratch.path()) + " && tar -cf t.tar member.txt large.bin && gzip -nc large.bin > "
                  "large.gz").status,
              0);
    EXPECT_EQ(in({"extract", "-c", "t.tar", "member.txt"}).out, "a member of a tar\n");
    EXPECT_TRUE(in({"extract", "-c", "t.tar", "large.bin"}).out == large);
    EXPECT_TRUE(in({"extract", "-c", "large.gz"}).out == large);
}

struct PolicyCase {
    const char* flag;
    bool existingIsOlder;
    bool replaced;
    bool missingCreated;
};

class ZarExtractPolicy : public ZarRead, public ::testing::WithParamInterface<PolicyCase> {};

TEST_P(ZarExtractPolicy, DecidesAboutExistingFiles) {
    const PolicyCase& c = GetParam();
    ASSERT_EQ(in({"add", "a.zip", "tree/readme.txt", "tree/docs/guide.txt"}).status, 0);
    fs::create_directories(scratch / "out/tree");
    writeText(scratch / "out/tree/readme.txt", "old\n");
    if (c.existingIsOlder) setTime("out/tree/readme.txt", 2001, 1, 1, 12, 0, 0);
    else setTime("out/tree/readme.txt", 2090, 1, 1, 12, 0, 0);

    std::vector<std::string> args = {"extract", "-d", "out", "a.zip"};
    if (*c.flag != '\0') args.push_back(c.flag);
    ZarRun run = in(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fileText(scratch / "out/tree/readme.txt"), c.replaced ? "read me first\n" : "old\n");
    EXPECT_EQ(fs::exists(scratch / "out/tree/docs/guide.txt"), c.missingCreated);
    // With no policy and no terminal, zar says why the file was kept.
    EXPECT_EQ(contains(run.err, "tree/readme.txt: file already exists; kept it"), *c.flag == '\0') << run.err;
}

INSTANTIATE_TEST_SUITE_P(Policies, ZarExtractPolicy,
                         ::testing::Values(PolicyCase{"", true, false, true},
                                           PolicyCase{"--overwrite", true, true, true},
                                           PolicyCase{"--overwrite", false, true, true},
                                           PolicyCase{"--skip-existing", true, false, true},
                                           PolicyCase{"--freshen", true, true, false},
                                           PolicyCase{"--freshen", false, false, false},
                                           PolicyCase{"--update", true, true, true},
                                           PolicyCase{"--update", false, false, true}));

TEST_F(ZarRead, ExtractSelectsExcludesAndFlattens) {
    ASSERT_EQ(in({"add", "a.zip", "tree"}).status, 0);

    ZarRun some = in({"extract", "-v", "-d", "some", "a.zip", "*.txt", "-x", "tree/docs/*"});
    ASSERT_EQ(some.status, 0) << some.err;
    std::map<std::string, std::string> expected = {{"readme.txt", "read me first\n"},
                                                   {"notes with blanks.txt", "blanks are kept\n"}};
    EXPECT_EQ(readTree(scratch / "some/tree"), expected);
    EXPECT_TRUE(contains(some.out, "extracting: some/tree/readme.txt\n")) << some.out;

    ZarRun flat = in({"extract", "--flat", "-d", "flat", "a.zip", "tree/docs/*"});
    ASSERT_EQ(flat.status, 0) << flat.err;
    EXPECT_EQ(readTree(scratch / "flat"), (std::map<std::string, std::string>{{"guide.txt", "a guide\n"},
                                                                              {"big.txt", tree.at("tree/docs/big.txt")},
                                                                              {"leaf.txt", "leaf\n"}}));
}

// Archives made by other tools are listed, tested and extracted.
struct ForeignCase {
    const char* name;
    const char* archive;
    const char* command;  // run in the scratch directory
};

class ZarForeign : public ZarRead, public ::testing::WithParamInterface<ForeignCase> {};

TEST_P(ZarForeign, ReadsArchivesOfOtherTools) {
    const ForeignCase& c = GetParam();
    ASSERT_EQ(run("cd " + quote(scratch.path()) + " && " + c.command).status, 0);

    ZarRun list = in({"list", c.archive});
    ASSERT_EQ(list.status, 0) << list.err;
    for (const auto& [name, text] : tree) EXPECT_TRUE(contains(list.out, "  " + name + "\n")) << name << list.out;
    ZarRun test = in({"test", c.archive});
    EXPECT_EQ(test.status, 0) << test.err;
    ZarRun extract = in({"extract", "-d", "out", c.archive});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(readTree(scratch / "out"), tree);
}

// Writes py.zip from the tree with the compression method given after it.
#define PYTHON_ZIP                                                    \
    "python3 -c 'import zipfile,os,sys\n"                            \
    "with zipfile.ZipFile(\"py.zip\",\"w\",int(sys.argv[1])) as z:\n" \
    "  z.comment=b\"made by python\"\n"                              \
    "  for d,_,fs in os.walk(\"tree\"):\n"                           \
    "    for f in fs: z.write(os.path.join(d,f))' "

INSTANTIATE_TEST_SUITE_P(
    Makers, ZarForeign,
    ::testing::Values(ForeignCase{"InfoZip", "iz.zip", "zip -qr iz.zip tree"},
                      ForeignCase{"PythonStored", "py.zip", PYTHON_ZIP "0"},
                      ForeignCase{"PythonDeflated", "py.zip", PYTHON_ZIP "8"},
                      ForeignCase{"Tar", "t.tar", "bsdtar -cf t.tar tree"}),
    [](const auto& info) { return std::string(info.param.name); });

// A gzip-compressed TAR shows and gives the files of the TAR inside, through a
// temporary TAR that is gone afterwards; a plain TAR counts its files too.
TEST_F(ZarRead, CompressedTarsShowTheFilesInside) {
    const std::string temp = scratch / "tmp";
    fs::create_directories(temp);
    ScopedEnv tmpdir("TMPDIR", temp.c_str());
    ASSERT_EQ(run("cd " + quote(scratch.path()) + " && bsdtar -czf t.tar.gz tree && bsdtar -czf t.tgz tree && "
                  "bsdtar -cf t.tar tree && gzip -c tree/readme.txt > readme.txt.gz")
                  .status,
              0);
    const std::string files = std::to_string(tree.size()) + " files ";
    for (const char* archive : {"t.tar.gz", "t.tgz"}) {
        ZarRun list = in({"list", archive});
        ASSERT_EQ(list.status, 0) << list.err;
        EXPECT_TRUE(contains(list.out, "(gzip-compressed TAR archive)\n")) << list.out;
        EXPECT_TRUE(contains(list.out, "  tree/docs/deep/leaf.txt\n")) << list.out;
        EXPECT_FALSE(contains(list.out, "t.tar\n")) << list.out;
        ZarRun names = in({"list", "-1", archive, "*.txt"});
        EXPECT_TRUE(contains(names.out, "tree/docs/big.txt\n")) << names.out;

        ZarRun test = in({"test", archive});
        EXPECT_EQ(test.status, 0) << test.err;
        EXPECT_TRUE(contains(test.out, files + "tested, no problems found")) << test.out;

        const std::string out = std::string("out-") + archive;
        ZarRun extract = in({"extract", "-d", out, archive});
        ASSERT_EQ(extract.status, 0) << extract.err;
        EXPECT_TRUE(contains(extract.out, files + "extracted")) << extract.out;
        EXPECT_EQ(readTree(scratch / out), tree);

        ZarRun piped = in({"extract", "-c", archive, "tree/readme.txt"});
        EXPECT_EQ(piped.out, tree.at("tree/readme.txt"));
        EXPECT_TRUE(fs::is_empty(temp)) << archive;
    }
    ZarRun plain = in({"extract", "-d", "out-tar", "t.tar"});
    EXPECT_TRUE(contains(plain.out, "t.tar: " + files + "extracted")) << plain.out;

    // A gzip file of anything else is the library's one member, as before.
    ZarRun single = in({"extract", "-d", "out-gz", "readme.txt.gz"});
    EXPECT_EQ(single.status, 0) << single.err;
    EXPECT_EQ(fileText(scratch / "out-gz/readme.txt"), tree.at("tree/readme.txt"));

    // A damaged compressed TAR is named, and leaves nothing behind.
    std::vector<uint8_t> bytes = readBytes(scratch / "t.tar.gz");
    bytes[bytes.size() / 2] ^= 0x55;
    writeBytes(scratch / "bad.tar.gz", bytes);
    ZarRun bad = in({"list", "bad.tar.gz"});
    EXPECT_NE(bad.status, 0);
    EXPECT_TRUE(contains(bad.err, "zar: bad.tar.gz: ")) << bad.err;
    EXPECT_TRUE(fs::is_empty(temp));
}

// A gzip file that stores no time is dated by the file itself, not 1980.
TEST_F(ZarRead, GzipWithoutAStoredTimeKeepsTheFileTime) {
    ASSERT_EQ(run("cd " + quote(scratch.path()) + " && gzip -nc tree/readme.txt > r.gz").status, 0);
    setTime("r.gz", 2011, 5, 6, 7, 8, 10);
    ZarRun list = in({"list", "r.gz"});
    EXPECT_TRUE(contains(list.out, "2011-05-06 07:08")) << list.out;
    ASSERT_EQ(in({"extract", "-d", "out", "r.gz"}).status, 0);
    struct stat st {};
    ASSERT_EQ(::stat((scratch / "out/r").c_str(), &st), 0);
    std::tm local{};
    const std::time_t when = st.st_mtime;
    ::localtime_r(&when, &local);
    EXPECT_EQ(local.tm_year + 1900, 2011);
    EXPECT_EQ(local.tm_mon + 1, 5);
}

// The other kinds the library lists, made by their own tools.
struct ListedCase {
    const char* name;
    const char* archive;
    const char* command;
    const char* kind;
    const char* method;  // of tree/docs/big.txt
};

class ZarListsOtherKinds : public ZarRead, public ::testing::WithParamInterface<ListedCase> {};

TEST_P(ZarListsOtherKinds, ShowsNamesSizesAndMethods) {
    const ListedCase& c = GetParam();
    ASSERT_EQ(run("cd " + quote(scratch.path()) + " && " + c.command + " > /dev/null 2>&1").status, 0);
    ZarRun list = in({"list", c.archive});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_TRUE(contains(list.out, std::string("(") + c.kind + ")\n")) << list.out;
    const std::string size = std::to_string(tree.at("tree/docs/big.txt").size());
    EXPECT_TRUE(contains(list.out, "    " + size + "  ")) << list.out;
    EXPECT_TRUE(contains(list.out, std::string("  ") + c.method + " ")) << list.out;
    EXPECT_TRUE(contains(list.out, "big.txt\n")) << list.out;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ZarListsOtherKinds,
    ::testing::Values(ListedCase{"Lzh", "k.lzh", "lha a k.lzh tree/readme.txt tree/docs/big.txt", "LZH archive",
                                 "-lh5-"},
                      ListedCase{"Arj", "k.arj", "arj a k.arj tree/readme.txt tree/docs/big.txt", "ARJ archive",
                                 "ARJ1"},
                      ListedCase{"Arc", "k.arc", "arc a k.arc tree/readme.txt tree/docs/big.txt", "ARC archive",
                                 "Crunched"}),
    [](const auto& info) { return std::string(info.param.name); });

struct KindCase {
    const char* command;
    const char* file;
    const char* shown;  // stdout, or stderr when the status is not 0
    int status;
};

class ZarIdentify : public ZarRead, public ::testing::WithParamInterface<KindCase> {};

TEST_P(ZarIdentify, NamesTheKind) {
    const KindCase& c = GetParam();
    ASSERT_EQ(run("cd " + quote(scratch.path()) + " && " + c.command).status, 0);
    ZarRun identify = in({"identify", c.file});
    EXPECT_EQ(identify.status, c.status);
    EXPECT_TRUE(contains(c.status == 0 ? identify.out : identify.err, c.shown)) << identify.out << identify.err;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ZarIdentify,
    ::testing::Values(KindCase{"zip -q k.zip tree/readme.txt", "k.zip", "k.zip: ZIP archive\n", 0},
                      KindCase{"bsdtar -cf k.tar tree", "k.tar", "k.tar: TAR archive\n", 0},
                      KindCase{"bsdtar -czf k.tgz tree", "k.tgz", "k.tgz: gzip-compressed file\n", 0},
                      KindCase{"true", "tree/readme.txt", "not an archive of a known kind", 4},
                      KindCase{"true", "missing.zip", "missing.zip: no such file", 4}));

}  // namespace
}  // namespace zar::test
