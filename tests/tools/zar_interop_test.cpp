// Archives zar writes, at every level, encrypted, with comments and after a
// deletion, are accepted by Info-ZIP's unzip, Python's zipfile, 7-Zip and
// bsdtar, and hold what went in.
#include <gtest/gtest.h>

#include <filesystem>

#include "tools/zar_support.h"

namespace zar::test {
namespace {

struct WriteCase {
    const char* name;
    std::vector<std::string> flags;  // given to zar add
    const char* password;            // "" for none
};

class ZarInterop : public ::testing::TestWithParam<WriteCase> {
protected:
    void SetUp() override { writeTree(scratch.path(), tree); }
    ZarRun in(std::vector<std::string> args) { return zar(scratch.path(), std::move(args)); }
    Scratch scratch;
    const std::map<std::string, std::string> tree = sampleTree();
};

TEST_P(ZarInterop, OtherToolsAcceptWhatZarWrites) {
    const WriteCase& c = GetParam();
    const std::string password = c.password;
    std::vector<std::string> add = {"add", "a.zip", "tree", "extra.txt"};
    add.insert(add.end(), c.flags.begin(), c.flags.end());
    if (!password.empty()) add.insert(add.end(), {"-p", password});
    writeText(scratch / "extra.txt", "deleted again\n");
    ASSERT_EQ(in(add).status, 0);
    ASSERT_EQ(in({"comment", "a.zip", "archive comment"}).status, 0);
    ASSERT_EQ(in({"comment", "-e", "tree/readme.txt", "a.zip", "entry comment"}).status, 0);
    ASSERT_EQ(in({"delete", "a.zip", "extra.txt"}).status, 0);
    const std::string archive = quote(scratch / "a.zip");

    RunResult unzip = run("unzip -tq " + (password.empty() ? "" : "-P " + quote(password) + " ") + archive + " 2>&1");
    EXPECT_EQ(unzip.status, 0) << unzip.output;
    RunResult sevenZip = run("7z t -p" + quote(password) + " " + archive + " 2>&1");
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.output;
    RunResult bsdtar = run("bsdtar -tf " + archive + " 2>&1");
    EXPECT_EQ(bsdtar.status, 0) << bsdtar.output;
    EXPECT_TRUE(contains(bsdtar.output, "tree/docs/deep/leaf.txt\n")) << bsdtar.output;

    // Python reads every file back whole and checks each CRC.
    const std::string python =
        "python3 -c 'import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1]); z.setpassword(sys.argv[2].encode())\n"
        "assert z.testzip() is None\n"
        "print(z.comment.decode(), z.getinfo(\"tree/readme.txt\").comment.decode())\n"
        "for i in z.infolist():\n"
        "  if not i.is_dir(): print(i.filename, len(z.read(i)), i.compress_type)' ";
    RunResult read = run(python + archive + " " + quote(password) + " 2>&1");
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_TRUE(contains(read.output, "archive comment entry comment\n")) << read.output;
    for (const auto& [name, text] : tree)
        EXPECT_TRUE(contains(read.output, name + " " + std::to_string(text.size()) + " ")) << name << read.output;
    EXPECT_FALSE(contains(read.output, "extra.txt")) << read.output;
}

INSTANTIATE_TEST_SUITE_P(Settings, ZarInterop,
                         ::testing::Values(WriteCase{"Stored", {"-0"}, ""}, WriteCase{"Fastest", {"-1"}, ""},
                                           WriteCase{"Fast", {"-4"}, ""}, WriteCase{"Normal", {}, ""},
                                           WriteCase{"Best", {"-9"}, ""},
                                           WriteCase{"BestByName", {"--level", "9"}, ""},
                                           WriteCase{"Encrypted", {}, "pass word"},
                                           WriteCase{"EncryptedStored", {"-0"}, "pass word"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zar::test
