// zar add, update, freshen, move, delete and comment: what ends up in the
// archive, what is left on disk, and archives left alone when they must be.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>

#include "tools/zar_support.h"

namespace zar::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class ZarWrite : public ::testing::Test {
protected:
    void SetUp() override { writeTree(scratch.path(), tree); }
    ZarRun in(std::vector<std::string> args, const std::string& input = {}) {
        return zar(scratch.path(), std::move(args), input);
    }
    // The entry names, one a line, as zar lists them.
    std::string names(const std::string& archive) { return in({"list", "-1", archive}).out; }
    // The same as a set: the order of a directory walk is the file system's.
    std::set<std::string> nameSet(const std::string& archive) {
        std::set<std::string> set;
        for (const std::string& line : linesOf(names(archive))) set.insert(line);
        return set;
    }
    // One entry's data, read by Info-ZIP's unzip.
    std::string entryText(const std::string& archive, const std::string& entry) {
        return run("unzip -p " + quote(scratch / archive) + " " + quote(entry)).output;
    }
    void age(const std::string& name, int year) {
        std::tm t{};
        t.tm_year = year - 1900, t.tm_mday = 1, t.tm_hour = 12, t.tm_isdst = -1;
        struct timespec times[2] = {{std::mktime(&t), 0}, {std::mktime(&t), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (scratch / name).c_str(), times, 0), 0);
    }

    Scratch scratch;
    const std::map<std::string, std::string> tree = sampleTree();
};

TEST_F(ZarWrite, SetsOverSeveralVolumes) {
    std::string big;
    for (int i = 0; i < 30000; ++i) big += std::to_string(i * 2654435761u % 1000003) + ";";
    writeText(scratch / "tree/big.txt", big);
    ZarRun made = in({"add", "--volume-size", "8k", "-0", "set.zip", "tree"});
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_TRUE(contains(made.out, "set.001: written as a numbered set"));
    EXPECT_TRUE(fs::exists(scratch / "set.003"));
    EXPECT_LE(fs::file_size(scratch / "set.002"), 8192u);
    EXPECT_EQ(in({"test", "set.001"}).status, 0);
    EXPECT_EQ(in({"extract", "-d", "out", "set.001"}).status, 0);
    EXPECT_EQ(fileText(scratch / "out/tree/big.txt"), big);

    // Written once and afresh; disk kinds need disks; only add writes sets.
    EXPECT_EQ(in({"add", "--volume-size", "8k", "set.zip", "tree"}).status, 4);
    EXPECT_EQ(fileText(scratch / "out/tree/big.txt"), big);
    ZarRun fixed = in({"add", "--volume-kind", "spanned", "--volume-size", "8k", "disk.zip", "tree"});
    EXPECT_EQ(fixed.status, 4);
    EXPECT_TRUE(contains(fixed.err, "removable drive"));
    EXPECT_FALSE(fs::exists(scratch / "disk.zip"));
    EXPECT_EQ(in({"update", "--volume-size", "8k", "u.zip", "tree"}).status, 2);
    EXPECT_EQ(in({"add", "--volume-size", "10", "v.zip", "tree"}).status, 2);
}

TEST_F(ZarWrite, UpdateAndFreshenReplaceOnlyNewerFiles) {
    for (const auto& [name, text] : tree) age(name, 2010);
    ASSERT_EQ(in({"add", "a.zip", "tree"}).status, 0);
    writeText(scratch / "tree/readme.txt", "newer\n");  // newer than its entry
    writeText(scratch / "tree/docs/guide.txt", "older\n");
    age("tree/docs/guide.txt", 2005);  // older than its entry
    writeText(scratch / "tree/added.txt", "new file\n");

    ZarRun freshen = in({"freshen", "-v", "a.zip", "tree"});
    ASSERT_EQ(freshen.status, 0) << freshen.err;
    EXPECT_EQ(freshen.out, "changed: tree/readme.txt\na.zip: 1 changed; 9 entries in all\n");
    EXPECT_EQ(entryText("a.zip", "tree/readme.txt"), "newer\n");
    EXPECT_EQ(entryText("a.zip", "tree/docs/guide.txt"), "a guide\n");
    EXPECT_FALSE(contains(names("a.zip"), "tree/added.txt"));

    ZarRun update = in({"update", "a.zip", "tree"});
    ASSERT_EQ(update.status, 0) << update.err;
    EXPECT_EQ(update.out, "a.zip: 1 added; 10 entries in all\n");
    EXPECT_EQ(entryText("a.zip", "tree/added.txt"), "new file\n");
    EXPECT_EQ(entryText("a.zip", "tree/docs/guide.txt"), "a guide\n");

    // add replaces whatever the file's time.
    ASSERT_EQ(in({"add", "a.zip", "tree/docs/guide.txt"}).status, 0);
    EXPECT_EQ(entryText("a.zip", "tree/docs/guide.txt"), "older\n");
}

// On Linux "readme" and "README" are two files: add takes both, unzip and
// zar give both back, and each later run changes only the twin whose file
// changed.
TEST_F(ZarWrite, CaseTwinsAreTwoFilesInEveryRun) {
    writeTree(scratch.path(), {{"d/readme", "lower 1\n"}, {"d/README", "UPPER 1\n"}, {"d/Sub/x", "Sub x\n"},
                               {"d/sub/x", "sub x\n"}});
    for (const char* name : {"d/readme", "d/README", "d/Sub/x", "d/sub/x"}) age(name, 2010);
    ZarRun add = in({"add", "t.zip", "d"});
    ASSERT_EQ(add.status, 0) << add.err;
    for (const char* name : {"d/readme", "d/README", "d/Sub/x", "d/sub/x"})
        EXPECT_EQ(nameSet("t.zip").count(name), 1u) << name << "\n" << names("t.zip");
    const std::map<std::string, std::string> twins{
        {"d/readme", "lower 1\n"}, {"d/README", "UPPER 1\n"}, {"d/Sub/x", "Sub x\n"}, {"d/sub/x", "sub x\n"}};
    ASSERT_EQ(run("unzip -q " + quote(scratch / "t.zip") + " -d " + quote(scratch / "by-unzip")).status, 0);
    EXPECT_EQ(readTree(scratch / "by-unzip"), twins);
    ZarRun extract = in({"extract", "-d", "by-zar", "t.zip"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(readTree(scratch / "by-zar"), twins);

    writeText(scratch / "d/README", "UPPER 2\n");  // now newer than its entry
    ZarRun update = in({"update", "-v", "t.zip", "d"});
    ASSERT_EQ(update.status, 0) << update.err;
    EXPECT_EQ(entryText("t.zip", "d/readme"), "lower 1\n");
    EXPECT_EQ(entryText("t.zip", "d/README"), "UPPER 2\n");
    EXPECT_TRUE(contains(update.out, "changed: d/README\n")) << update.out;
    EXPECT_FALSE(contains(update.out, "d/readme")) << update.out;

    age("d/README", 2010);
    writeText(scratch / "d/sub/x", "sub x 3\n");
    ZarRun freshen = in({"freshen", "t.zip", "d"});
    ASSERT_EQ(freshen.status, 0) << freshen.err;
    EXPECT_EQ(entryText("t.zip", "d/sub/x"), "sub x 3\n");
    EXPECT_EQ(entryText("t.zip", "d/Sub/x"), "Sub x\n");

    writeText(scratch / "d/readme", "lower 4\n");
    writeText(scratch / "d/README", "UPPER 4\n");
    ASSERT_EQ(in({"add", "t.zip", "d"}).status, 0);
    EXPECT_EQ(entryText("t.zip", "d/readme"), "lower 4\n");
    EXPECT_EQ(entryText("t.zip", "d/README"), "UPPER 4\n");
    EXPECT_EQ(linesOf(names("t.zip")).size(), nameSet("t.zip").size());  // no name twice
}

TEST_F(ZarWrite, FreshenNeedsAnArchive) {
    ZarRun run = in({"freshen", "none.zip", "tree"});
    EXPECT_EQ(run.status, 4);
    EXPECT_TRUE(contains(run.err, "none.zip: no such file or directory")) << run.err;
    EXPECT_FALSE(fs::exists(scratch / "none.zip"));
}

TEST_F(ZarWrite, MoveDeletesWhatWentInAndTheDirectoriesItEmptied) {
    fs::create_directories(scratch / "tree/emptydir");
    ZarRun move = in({"move", "m.zip", "tree", "-x", "*.dat"});
    ASSERT_EQ(move.status, 0) << move.err;
    // The excluded file stays, and with it its directory; the rest is gone.
    EXPECT_EQ(readTree(scratch / "tree"), (std::map<std::string, std::string>{{"empty.dat", ""}}));
    EXPECT_FALSE(fs::exists(scratch / "tree/docs"));
    EXPECT_FALSE(fs::exists(scratch / "tree/emptydir"));
    const std::string moved = names("m.zip");
    for (const auto& [name, text] : tree) {
        if (name == "tree/empty.dat") continue;
        EXPECT_TRUE(contains(moved, name + "\n")) << name;
    }
}

TEST_F(ZarWrite, DeleteRemovesMatchesAndLeavesTheArchiveAloneWhenNothingMatches) {
    ASSERT_EQ(in({"add", "a.zip", "tree"}).status, 0);
    ZarRun del = in({"delete", "-v", "a.zip", "tree/docs/*", "-x", "*leaf*"});
    ASSERT_EQ(del.status, 0) << del.err;
    EXPECT_TRUE(contains(del.out, "deleted: tree/docs/big.txt\n")) << del.out;
    EXPECT_EQ(nameSet("a.zip"), (std::set<std::string>{"tree/docs/deep/leaf.txt", "tree/readme.txt",
                                                        "tree/notes with blanks.txt", "tree/empty.dat",
                                                        "tree/.hidden"}));

    const std::vector<uint8_t> before = readBytes(scratch / "a.zip");
    ZarRun none = in({"delete", "a.zip", "*.jpg"});
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(contains(none.err, "a.zip: nothing matched")) << none.err;
    EXPECT_EQ(readBytes(scratch / "a.zip"), before);
}

TEST_F(ZarWrite, CommentsOfTheArchiveAndOfEntries) {
    ASSERT_EQ(in({"add", "a.zip", "tree"}).status, 0);
    ASSERT_EQ(in({"comment", "a.zip", "archive comment"}).status, 0);
    EXPECT_EQ(in({"comment", "a.zip"}).out, "archive comment\n");

    // Entry patterns match in their own directory only.
    ZarRun top = in({"comment", "-e", "*.txt", "a.zip", "no such entries"});
    EXPECT_EQ(top.status, 3);
    EXPECT_TRUE(contains(top.err, "*.txt: no entry matched")) << top.err;
    ZarRun set = in({"comment", "-e", "tree/*.txt", "-F", "-", "a.zip"}, "from stdin\n\n");
    ASSERT_EQ(set.status, 0) << set.err;
    const std::string shown = in({"comment", "-e", "tree/*", "a.zip"}).out;
    for (const char* line : {"tree/readme.txt: from stdin\n", "tree/notes with blanks.txt: from stdin\n",
                             "tree/empty.dat:\n", "tree/.hidden:\n"})
        EXPECT_TRUE(contains(shown, line)) << shown;
    EXPECT_FALSE(contains(shown, "guide")) << shown;

    // Python sees the same, and the archive comment survived the rebuild.
    const std::string python = "python3 -c 'import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); print(z.comment, "
                               "z.getinfo(\"tree/readme.txt\").comment, z.getinfo(\"tree/docs/guide.txt\").comment)' ";
    EXPECT_EQ(run(python + quote(scratch / "a.zip")).output, "b'archive comment' b'from stdin' b''\n");

    ASSERT_EQ(in({"comment", "--clear", "a.zip"}).status, 0);
    ASSERT_EQ(in({"comment", "--clear", "-e", "tree/readme.txt", "a.zip"}).status, 0);
    EXPECT_EQ(run(python + quote(scratch / "a.zip")).output, "b'' b'' b''\n");
    EXPECT_EQ(run("unzip -tq " + quote(scratch / "a.zip")).status, 0);
}

TEST_F(ZarWrite, StoredNamesFollowThePathsFlatAndChangeDirectory) {
    ASSERT_EQ(in({"add", "given.zip", "./tree//docs/", "tree/readme.txt"}).status, 0);
    EXPECT_EQ(nameSet("given.zip"), (std::set<std::string>{"tree/docs/deep/", "tree/docs/guide.txt",
                                                            "tree/docs/big.txt", "tree/docs/deep/leaf.txt",
                                                            "tree/readme.txt"}));
    ASSERT_EQ(in({"add", "-j", "flat.zip", "tree/docs"}).status, 0);
    EXPECT_EQ(nameSet("flat.zip"), (std::set<std::string>{"guide.txt", "big.txt", "leaf.txt"}));
    ASSERT_EQ(in({"add", "-C", "tree", "relative.zip", "docs"}).status, 0);
    EXPECT_TRUE(contains(names("relative.zip"), "docs/deep/leaf.txt\n")) << names("relative.zip");
    // Names that climb out with ".." are refused, not stored.
    ZarRun up = zar(scratch / "tree/docs", {"add", "up.zip", "../readme.txt"});
    EXPECT_EQ(up.status, 2);
    EXPECT_TRUE(contains(up.err, "use -C DIR")) << up.err;
    EXPECT_FALSE(fs::exists(scratch / "tree/docs/up.zip"));
    // -r looks for a pattern below its directory too.
    ASSERT_EQ(in({"add", "-r", "txt.zip", "tree/*.txt"}).status, 0);
    EXPECT_TRUE(contains(names("txt.zip"), "tree/docs/deep/leaf.txt\n")) << names("txt.zip");
    EXPECT_FALSE(contains(names("txt.zip"), "empty.dat"));
}

TEST_F(ZarWrite, HiddenFilesAreIncludedUnlessLeftOut) {
    ASSERT_EQ(in({"add", "all.zip", "tree"}).status, 0);
    EXPECT_TRUE(contains(names("all.zip"), "tree/.hidden\n"));
    ASSERT_EQ(in({"add", "--no-hidden", "some.zip", "tree"}).status, 0);
    EXPECT_FALSE(contains(names("some.zip"), ".hidden"));
}

// Links are followed as zip users expect; the ones that cannot be are named,
// the rest is archived, and the exit status tells of the problem.
TEST_F(ZarWrite, LinksAreFollowedAndTheBrokenOnesNamed) {
    fs::create_directory_symlink("docs/deep", scratch / "tree/shortcut");
    fs::create_directory_symlink("..", scratch / "tree/docs/up");
    fs::create_symlink("missing.txt", scratch / "tree/gone.txt");
    ZarRun add = in({"add", "links.zip", "tree"});
    EXPECT_EQ(add.status, 1);
    EXPECT_TRUE(contains(add.err, "zar: tree/gone.txt: a link that leads nowhere. Skipping it.\n")) << add.err;
    EXPECT_TRUE(contains(add.err, "zar: tree/docs/up: a link that leads back into the folders being added. Skipping it.\n"))
        << add.err;
    EXPECT_TRUE(contains(add.err, "(code -8)")) << add.err;
    EXPECT_TRUE(contains(add.out, "links.zip: 11 added; 11 entries in all\n")) << add.out;
    // The walk reaches tree/shortcut before the directory it leads to: both are archived.
    EXPECT_EQ(entryText("links.zip", "tree/shortcut/leaf.txt"), "leaf\n");
    EXPECT_EQ(entryText("links.zip", "tree/docs/deep/leaf.txt"), "leaf\n");
    EXPECT_EQ(nameSet("links.zip").count("tree/docs/up/"), 0u);
    EXPECT_EQ(in({"test", "links.zip"}).status, 0);
}

TEST_F(ZarWrite, ArchiveNamesWithoutAnExtension) {
    ASSERT_EQ(in({"add", "backup", "tree/readme.txt"}).status, 0);
    EXPECT_TRUE(fs::exists(scratch / "backup.zip"));
    EXPECT_EQ(names("backup"), "tree/readme.txt\n");
    // An existing file without an extension is read as it is.
    fs::copy_file(scratch / "backup.zip", scratch / "plain");
    EXPECT_EQ(names("plain"), "tree/readme.txt\n");
    EXPECT_EQ(in({"test", "plain"}).status, 0);
}

TEST_F(ZarWrite, FilesThatAreNoZipArchiveAreLeftAlone) {
    writeText(scratch / "text.zip", std::string(100, 'x'));
    writeText(scratch / "tiny.zip", "tiny");
    ASSERT_EQ(run("cd " + quote(scratch.path()) + " && bsdtar -cf t.tar tree").status, 0);
    const std::vector<uint8_t> tar = readBytes(scratch / "t.tar");
    for (const char* archive : {"text.zip", "tiny.zip"}) {
        ZarRun run = in({"add", archive, "tree"});
        EXPECT_EQ(run.status, 4) << archive;
        EXPECT_TRUE(contains(run.err, "(code -1)")) << run.err;
    }
    EXPECT_EQ(fileText(scratch / "text.zip"), std::string(100, 'x'));
    EXPECT_EQ(fileText(scratch / "tiny.zip"), "tiny");
    ZarRun onTar = in({"add", "t.tar", "tree/readme.txt"});
    EXPECT_EQ(onTar.status, 4);
    EXPECT_TRUE(contains(onTar.err, "a TAR archive is only read (code -26)")) << onTar.err;
    EXPECT_EQ(readBytes(scratch / "t.tar"), tar);
}

TEST_F(ZarWrite, PasswordsEncryptAndAreChecked) {
    const std::string password = "two words/and|more";
    ASSERT_EQ(in({"add", "-p", password, "e.zip", "tree/readme.txt", "tree/docs/big.txt"}).status, 0);
    EXPECT_EQ(run("unzip -tq -P " + quote(password) + " " + quote(scratch / "e.zip")).status, 0);

    ZarRun none = in({"test", "e.zip"});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(contains(none.err, "zar: tree/readme.txt: encrypted, and no password was given")) << none.err;
    EXPECT_TRUE(contains(none.err, "(code -8)")) << none.err;
    ZarRun asked = in({"test", "--ask-password", "e.zip"}, password + "\n");
    EXPECT_EQ(asked.status, 0) << asked.err;
    ZarRun extract = in({"extract", "-p", password, "-d", "out", "e.zip"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(fileText(scratch / "out/tree/docs/big.txt"), tree.at("tree/docs/big.txt"));
}

// The ten levels zip users type land on the library's five, as --help
// says; the Deflate option bits of each entry tell which one packed it
// (0 normal, 1 best, 2 fast, 3 fastest).
TEST_F(ZarWrite, LevelsAsZipCountsThem) {
    const struct {
        std::vector<std::string> level;
        int method;
        int deflateBits;
    } cases[] = {
        {{"-0"}, 0, 0}, {{"-1"}, 8, 3}, {{"-2"}, 8, 3}, {{"-3"}, 8, 2}, {{"-5"}, 8, 2},
        {{}, 8, 0},     {{"-6"}, 8, 0}, {{"-7"}, 8, 0}, {{"-8"}, 8, 1}, {{"-9"}, 8, 1},
        {{"--level", "4"}, 8, 2},       {{"--level=9"}, 8, 1},
    };
    for (const auto& c : cases) {
        fs::remove(scratch / "l.zip");
        std::vector<std::string> args = {"add", "l.zip", "tree/docs/big.txt"};
        args.insert(args.begin() + 1, c.level.begin(), c.level.end());
        ASSERT_EQ(in(args).status, 0) << ::testing::PrintToString(c.level);
        RunResult info = run("python3 -c 'import zipfile,sys; i=zipfile.ZipFile(sys.argv[1]).infolist()[0]; "
                             "print(i.compress_type, (i.flag_bits >> 1) & 3)' " +
                             quote(scratch / "l.zip"));
        EXPECT_EQ(info.output, std::to_string(c.method) + " " + std::to_string(c.deflateBits) + "\n")
            << ::testing::PrintToString(c.level);
    }
}

TEST_F(ZarWrite, RawOptionsReachTheLibrary) {
    ASSERT_EQ(in({"add", "--options", "-ET", "raw.zip", "tree/docs/big.txt"}).status, 0);
    EXPECT_TRUE(contains(in({"list", "raw.zip"}).out, "Stored")) << in({"list", "raw.zip"}).out;
    ZarRun refused = in({"add", "--options", "-Q", "raw.zip", "tree/readme.txt"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(contains(refused.err, "raw.zip: unknown or malformed option (code -9)")) << refused.err;
}

TEST_F(ZarWrite, ArchiveTimeFollowsTheNewestEntryOrStaysAsItWas) {
    age("tree/readme.txt", 2012);
    age("tree/docs/guide.txt", 2015);
    ASSERT_EQ(in({"add", "a.zip", "tree/readme.txt", "tree/docs/guide.txt"}).status, 0);
    auto mtime = [&](const std::string& name) {
        struct stat st {};
        ::stat((scratch / name).c_str(), &st);
        return st.st_mtime;
    };
    ASSERT_EQ(in({"add", "--latest-time", "a.zip"}).status, 0);
    EXPECT_EQ(mtime("a.zip"), mtime("tree/docs/guide.txt"));
    ASSERT_EQ(in({"add", "--keep-time", "a.zip", "tree/docs/big.txt"}).status, 0);
    EXPECT_TRUE(contains(names("a.zip"), "tree/docs/big.txt"));
    EXPECT_EQ(mtime("a.zip"), mtime("tree/docs/guide.txt"));
}

TEST_F(ZarWrite, InteractiveKeepsEntriesWhenNobodyCanBeAsked) {
    ASSERT_EQ(in({"add", "a.zip", "tree/readme.txt"}).status, 0);
    writeText(scratch / "tree/readme.txt", "changed\n");
    ZarRun run = in({"add", "-i", "a.zip", "tree/readme.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.err, "tree/readme.txt: an entry of this name exists; kept it (no terminal to ask)"))
        << run.err;
    EXPECT_EQ(entryText("a.zip", "tree/readme.txt"), "read me first\n");
}

TEST_F(ZarWrite, RenameMovesAStoredDirectory) {
    ASSERT_EQ(in({"add", "a.zip", "tree"}).status, 0);
    const std::vector<uint8_t> original = readBytes(scratch / "a.zip");
    ZarRun copy = in({"rename", "--output", "copy.zip", "a.zip", "tree/docs", "manual/pages"});
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_EQ(copy.out, "copy.zip: 5 entries renamed\n");
    EXPECT_EQ(readBytes(scratch / "a.zip"), original);

    ZarRun renamed = in({"rename", "-v", "a.zip", "./tree/docs/", "manual/pages"});
    ASSERT_EQ(renamed.status, 0) << renamed.err;
    EXPECT_TRUE(contains(renamed.out, "renamed: tree/docs/deep/leaf.txt -> manual/pages/deep/leaf.txt\n"))
        << renamed.out;
    EXPECT_TRUE(contains(renamed.out, "a.zip: 5 entries renamed\n")) << renamed.out;
    EXPECT_EQ(readBytes(scratch / "a.zip"), readBytes(scratch / "copy.zip"));
    EXPECT_EQ(run("unzip -tq " + quote(scratch / "a.zip")).status, 0);
    ASSERT_EQ(in({"extract", "-d", "out", "a.zip"}).status, 0);
    std::map<std::string, std::string> expected;
    for (const auto& [name, text] : tree) {
        const bool moved = name.rfind("tree/docs/", 0) == 0;
        expected[moved ? "manual/pages/" + name.substr(10) : name] = text;
    }
    EXPECT_EQ(readTree(scratch / "out"), expected);

    // An empty old prefix puts the new one in front of every name; an empty
    // new one takes the old one off.
    ASSERT_EQ(in({"rename", "-q", "a.zip", "", "v1"}).status, 0);
    ASSERT_EQ(in({"rename", "-q", "a.zip", "v1/manual", ""}).status, 0);
    EXPECT_TRUE(contains(names("a.zip"), "\npages/guide.txt\n")) << names("a.zip");
    EXPECT_TRUE(contains(names("a.zip"), "v1/tree/readme.txt\n")) << names("a.zip");
}

// The file "-" is standard input, stored from memory under --name.
TEST_F(ZarWrite, StandardInputBecomesAnEntry) {
    std::string data;
    for (int i = 0; data.size() < 300000; ++i) data += "log line " + std::to_string(i) + "\n";
    ZarRun added = in({"add", "a.zip", "tree/readme.txt", "-", "--name", "logs/today.log"}, data);
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "a.zip: 2 added; 2 entries in all\n");
    EXPECT_EQ(entryText("a.zip", "logs/today.log"), data);
    EXPECT_TRUE(contains(in({"list", "a.zip"}).out, "Deflated")) << in({"list", "a.zip"}).out;

    // Again: the entry is replaced; without --name it is called "-".
    ASSERT_EQ(in({"add", "-v", "a.zip", "-", "--name", "logs/today.log"}, "short\n").out,
              "changed: logs/today.log\na.zip: 1 changed; 2 entries in all\n");
    EXPECT_EQ(entryText("a.zip", "logs/today.log"), "short\n");
    ASSERT_EQ(in({"add", "-0", "-p", "pw", "a.zip", "-"}, data).status, 0);
    EXPECT_EQ(in({"extract", "-c", "-p", "pw", "a.zip", "-"}).out, data);
    EXPECT_EQ(run("unzip -p -P pw " + quote(scratch / "a.zip") + " -").output, data);
    EXPECT_EQ(in({"add", "a.zip", "-", "--name", "empty.txt"}).status, 0);
    EXPECT_EQ(entryText("a.zip", "empty.txt"), "");
    EXPECT_EQ(run("unzip -tq -P pw " + quote(scratch / "a.zip")).status, 0);
}

TEST_F(ZarWrite, AskPasswordOnTheTerminalAsksTwice) {
    TerminalRun same = zarOnTerminal(scratch.path(), {"add", "--ask-password", "e.zip", "tree/readme.txt"},
                                     {{"Password: ", "typed secret\n"}, {"Password again: ", "typed secret\n"}});
    EXPECT_EQ(same.status, 0) << same.transcript;
    EXPECT_FALSE(contains(same.transcript, "typed secret")) << same.transcript;  // not echoed
    EXPECT_EQ(run("unzip -tq -P 'typed secret' " + quote(scratch / "e.zip")).status, 0);

    TerminalRun differ = zarOnTerminal(scratch.path(), {"add", "--ask-password", "f.zip", "tree/readme.txt"},
                                       {{"Password: ", "one\n"}, {"Password again: ", "two\n"}});
    EXPECT_EQ(differ.status, 2);
    EXPECT_TRUE(contains(differ.transcript, "the two passwords differ")) << differ.transcript;
    EXPECT_FALSE(fs::exists(scratch / "f.zip"));
}

}  // namespace
}  // namespace zar::test
