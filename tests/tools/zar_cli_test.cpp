// The command line as a whole: help, exit statuses, what zar prints with and
// without a terminal, the overwrite question on a terminal, and Ctrl-C.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tools/zar_support.h"

extern char** environ;

namespace zar::test {
namespace {

namespace fs = std::filesystem;

class ZarCli : public ::testing::Test {
protected:
    void SetUp() override { writeTree(scratch.path(), sampleTree()); }
    ZarRun in(std::vector<std::string> args, const std::string& input = {}) {
        return zar(scratch.path(), std::move(args), input);
    }
    Scratch scratch;
};

TEST_F(ZarCli, HelpTeachesEveryVerb) {
    ZarRun overview = in({"--help"});
    EXPECT_EQ(overview.status, 0);
    for (const char* verb : {"list", "test", "extract", "add", "update", "freshen", "move", "delete", "rename",
                             "comment", "identify", "uuencode", "uudecode", "to-dos", "to-unix"}) {
        EXPECT_TRUE(contains(overview.out, "\n  " + std::string(verb) + ", ")) << verb;
        ZarRun help = in({verb, "--help"});
        EXPECT_EQ(help.status, 0) << verb;
        EXPECT_EQ(help.out.rfind("usage: zar ", 0), 0u) << verb;
        EXPECT_TRUE(contains(help.out, "zar " + std::string(verb) + " ")) << verb;
        EXPECT_TRUE(contains(help.out, "Options:")) << verb;
    }
    EXPECT_TRUE(contains(overview.out, "Exit status:"));
    EXPECT_EQ(in({"help", "x"}).out, in({"extract", "--help"}).out);
    EXPECT_EQ(in({"--version"}).status, 0);
}

TEST_F(ZarCli, TextFileVerbs) {
    std::string data;
    for (int i = 0; i < 20000; ++i) data += std::to_string(i * 7919 % 10007) + (i % 5 ? " " : "\n");
    writeText(scratch / "data.txt", data);
    ZarRun encoded = in({"uuencode", "--part-size", "32k", "--cut-lines", "data.txt"});
    EXPECT_EQ(encoded.status, 0) << encoded.err;
    EXPECT_TRUE(contains(encoded.out, "parts, data.1 to data."));
    EXPECT_TRUE(fs::exists(scratch / "data.2"));
    fs::create_directories(scratch / "back");
    ZarRun decoded = in({"uudecode", "-d", "back", "data.1"});
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(fileText(scratch / "back/data.txt"), data);
    EXPECT_EQ(in({"uudecode", "-d", "nowhere", "data.1"}).status, 4);
    EXPECT_EQ(in({"uuencode", "--part-size", "1k", "data.txt"}).status, 2);

    // In place, and to -o (which is --output for these verbs).
    ASSERT_EQ(in({"to-dos", "data.txt"}).status, 0);
    EXPECT_EQ(fileText(scratch / "data.txt").size(), data.size() + std::count(data.begin(), data.end(), '\n'));
    ASSERT_EQ(in({"dos2unix", "data.txt", "-o", "unix.txt"}).status, 0);
    EXPECT_EQ(fileText(scratch / "unix.txt"), data);
    ZarRun missing = in({"to-unix", "nothing.txt"});
    EXPECT_EQ(missing.status, 4);
    EXPECT_TRUE(contains(missing.err, "nothing.txt: no such file"));
}

// The exit status and the line on stderr of each kind of outcome.
struct StatusCase {
    std::vector<std::string> args;
    int status;
    const char* stderrHas;  // "" when stderr must be empty
};

class ZarExitStatus : public ZarCli, public ::testing::WithParamInterface<StatusCase> {
protected:
    void SetUp() override {
        ZarCli::SetUp();
        ASSERT_EQ(in({"add", "good.zip", "tree"}).status, 0);
        ASSERT_EQ(in({"add", "-p", "right", "locked.zip", "tree/readme.txt"}).status, 0);
        // A flipped byte in the stored data of readme.txt: its CRC fails.
        ASSERT_EQ(in({"add", "-0", "damaged.zip", "tree/readme.txt"}).status, 0);
        std::vector<uint8_t> bytes = readBytes(scratch / "damaged.zip");
        bytes[30 + std::string("tree/readme.txt").size() + 2] ^= 0x20;
        writeBytes(scratch / "damaged.zip", bytes);
        // Entries of methods the library has no decoder for.
        ASSERT_EQ(run("cd " + quote(scratch.path()) +
                      " && 7z a -bd -bso0 -tzip -mm=BZip2 bzip2.zip tree/readme.txt tree/docs/big.txt"
                      " && 7z a -bd -bso0 -tzip -mm=Deflate64 deflate64.zip tree/docs/big.txt")
                      .status,
                  0);
        fs::create_directories(scratch / "somedir");
        // Cut off inside its central directory.
        bytes = readBytes(scratch / "good.zip");
        bytes.resize(bytes.size() - 40);
        writeBytes(scratch / "cut.zip", bytes);
    }
};

TEST_P(ZarExitStatus, TellsTheOutcome) {
    const StatusCase& c = GetParam();
    ZarRun run = in(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (*c.stderrHas == '\0') EXPECT_EQ(run.err, "");
    else EXPECT_TRUE(contains(run.err, c.stderrHas)) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ZarExitStatus,
    ::testing::Values(
        StatusCase{{"test", "good.zip"}, 0, ""},
        StatusCase{{"extract", "-d", "out", "good.zip", "tree/readme.txt"}, 0, ""},
        StatusCase{{"extract", "-d", "out", "good.zip", "*.jpg"}, 3,
                   "zar: good.zip: nothing matched: no entry or file was selected (code -7)\n"},
        StatusCase{{"test", "-p", "wrong", "locked.zip"}, 1, "tree/readme.txt: wrong password. Skipping file.\n"},
        StatusCase{{"test", "damaged.zip"}, 1, "tree/readme.txt: CRC mismatch. File may have error.\n"},
        StatusCase{{"test", "damaged.zip"}, 1, "the last: CRC mismatch (-25) (code -8)\n"},
        StatusCase{{"add", "good.zip", "nosuch.txt", "tree/readme.txt"}, 1, "nosuch.txt: no such file or directory"},
        StatusCase{{}, 2, "name a verb"},
        StatusCase{{"frobnicate", "good.zip"}, 2, "unknown verb 'frobnicate'"},
        StatusCase{{"list", "--level", "3", "good.zip"}, 2, "list: unknown option '--level'"},
        StatusCase{{"extract", "good.zip", "-d"}, 2, "-d needs a value"},
        StatusCase{{"extract", "--overwrite", "--skip-existing", "good.zip"}, 2, "choose one of"},
        StatusCase{{"add", "good.zip"}, 2, "name the files"},
        StatusCase{{"add", "--level", "10", "good.zip", "tree"}, 2, "level is a digit from 0 (store) to 9 (best)"},
        StatusCase{{"add", "-37", "good.zip", "tree"}, 2, "give one compression level"},
        StatusCase{{"test", "--options", "-Z", "good.zip"}, 2, "(code -9)"},
        // extract --stdout: the data on stdout, every word on stderr.
        StatusCase{{"extract", "-c", "good.zip", "tree/readme.txt"}, 0, ""},
        StatusCase{{"extract", "-c", "-p", "wrong", "locked.zip"}, 1,
                   "zar: tree/readme.txt: wrong password. Skipping file.\n"},
        StatusCase{{"extract", "--stdout", "damaged.zip"}, 1,
                   "zar: tree/readme.txt: CRC mismatch: the data are damaged (code -25)\n"},
        StatusCase{{"extract", "-c", "good.zip", "*.jpg"}, 3, "nothing matched"},
        StatusCase{{"extract", "-c", "-d", "out", "good.zip"}, 2, "--stdout writes no files"},
        // rename
        StatusCase{{"rename", "good.zip", "nothing", "new"}, 3,
                   "zar: good.zip: no entry name begins with \"nothing/\"; the archive is as it was\n"},
        StatusCase{{"rename", "good.zip", "tree", "../up"}, 2, "would lead out of the folder"},
        StatusCase{{"rename", "good.zip", "tree"}, 2, "name the archive, the old path prefix and the new one"},
        // standard input as an entry
        StatusCase{{"add", "good.zip", "tree/readme.txt", "--name", "x"}, 2, "give the file '-' as well"},
        StatusCase{{"add", "good.zip", "-", "--name", "a/../x"}, 2, "give the name plainly"},
        StatusCase{{"add", "good.zip", "-", "--name", "/etc/x"}, 2, "does not begin with '/'"},
        StatusCase{{"add", "good.zip", "-", "-"}, 2, "give standard input ('-') once"},
        StatusCase{{"add", "--ask-password", "good.zip", "-"}, 2, "--ask-password would read the password"},
        StatusCase{{"list", "nosuch.zip"}, 4, "zar: nosuch.zip: no such file or directory"},
        StatusCase{{"list", "tree/readme.txt"}, 4, "not an archive of a known kind, or it cannot be read (code -1)"},
        // Entries passed over for their method: the library ends with success,
        // zar counts the notices it printed.
        StatusCase{{"test", "bzip2.zip"}, 1, "zar: tree/docs/big.txt: unknown compression method. Skipping file.\n"},
        StatusCase{{"test", "bzip2.zip"}, 1, "zar: bzip2.zip: 1 entry passed over or suspect\n"},
        StatusCase{{"extract", "-d", "out", "deflate64.zip"}, 1, "zar: deflate64.zip: 1 entry passed over"},
        StatusCase{{"test", "locked.zip"}, 1, "tree/readme.txt: encrypted, and no password was given"},
        // Each failure names its path and what is wrong with it.
        StatusCase{{"list", "somedir"}, 4, "zar: somedir: is a directory, not an archive"},
        StatusCase{{"test", "somedir/"}, 4, "zar: somedir/: is a directory, not an archive"},
        StatusCase{{"add", "nodir/new.zip", "tree"}, 4,
                   "zar: nodir/new.zip: cannot be created: the directory nodir does not exist\n"},
        StatusCase{{"add", "tree/readme.txt/new.zip", "tree"}, 4, "tree/readme.txt is not a directory"},
        StatusCase{{"add", "somedir/", "tree"}, 4, "zar: somedir/: is a directory, not an archive"},
        StatusCase{{"extract", "-d", "/proc/nope", "good.zip"}, 4,
                   "zar: /proc/nope: the output directory cannot be made: "},
        StatusCase{{"extract", "-d", "tree/readme.txt", "good.zip"}, 4,
                   "zar: tree/readme.txt: the output directory is a file\n"},
        // Without its end record the archive's directory cannot be read.
        StatusCase{{"list", "cut.zip"}, 4, "no end record (a cut or damaged archive) (code 105)"}));

TEST_F(ZarCli, NothingButResultsWithoutATerminal) {
    ZarRun add = in({"add", "a.zip", "tree"});
    ZarRun test = in({"test", "a.zip"});
    ZarRun extract = in({"extract", "-d", "out", "a.zip"});
    for (const ZarRun* run : {&add, &test, &extract}) {
        EXPECT_EQ(run->status, 0);
        EXPECT_EQ(run->err, "");  // no bar, no notice
        EXPECT_FALSE(contains(run->out, "\r")) << run->out;
        EXPECT_FALSE(contains(run->out, "\x1b")) << run->out;
    }
    EXPECT_EQ(in({"test", "-q", "a.zip"}).out, "");
}

TEST_F(ZarCli, ProgressBarOnATerminal) {
    TerminalRun shown = zarOnTerminal(scratch.path(), {"add", "a.zip", "tree"});
    EXPECT_EQ(shown.status, 0) << shown.transcript;
    EXPECT_TRUE(contains(shown.transcript, "] 100%  all [")) << shown.transcript;
    EXPECT_TRUE(contains(shown.transcript, "tree/docs/big.txt\x1b[K")) << shown.transcript;
    // The bar is taken away before the summary.
    EXPECT_TRUE(contains(shown.transcript, "\r\x1b[Ka.zip: ")) << shown.transcript;

    TerminalRun hidden = zarOnTerminal(scratch.path(), {"test", "--no-progress", "a.zip"});
    EXPECT_EQ(hidden.status, 0);
    EXPECT_FALSE(contains(hidden.transcript, "%")) << hidden.transcript;
}

// zar asks itself, with '/' in the path: yes and no for one file, All and
// None for the rest of the run, cancel for all of it.
TEST_F(ZarCli, TheOverwriteQuestionIsAskedOnTheTerminal) {
    const std::vector<std::string> names = {"tree/readme.txt", "tree/docs/guide.txt", "tree/docs/deep/leaf.txt"};
    for (const std::string& file : names) ASSERT_EQ(in({"add", "a.zip", file}).status, 0);
    struct Case {
        std::vector<std::string> typed;  // one answer a question, in the archive's order
        std::vector<bool> replaced;      // which of the three files hold the new text
        int status;
    };
    const Case cases[] = {
        {{"y", "n", "yes"}, {true, false, true}, 0},
        {{"no", "A"}, {false, true, true}, 0},  // All: no third question
        {{"y", "N"}, {true, false, false}, 0},  // None: no third question
        {{"maybe", "n", "y", "n"}, {false, true, false}, 0},  // asked again after a word it does not know
        {{"c"}, {false, false, false}, 130},
    };
    for (const Case& c : cases) {
        fs::remove_all(scratch / "out");
        for (const std::string& file : names) {
            fs::create_directories(fs::path(scratch / ("out/" + file)).parent_path());
            writeText(scratch / ("out/" + file), "old\n");
        }
        std::vector<std::pair<std::string, std::string>> answers;
        for (const std::string& word : c.typed)
            answers.push_back({"[y]es, [n]o, [A]ll, [N]one, [c]ancel: ", word + "\n"});
        TerminalRun run = zarOnTerminal(scratch.path(), {"extract", "-d", "out", "a.zip"}, answers);
        const std::string context = ::testing::PrintToString(c.typed) + "\n" + run.transcript;
        EXPECT_EQ(run.status, c.status) << context;
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(fileText(scratch / ("out/" + names[i])) != "old\n", c.replaced[i]) << names[i] << context;
        size_t asked = 0;
        for (size_t at = run.transcript.find("Overwrite it?"); at != std::string::npos;
             at = run.transcript.find("Overwrite it?", at + 1))
            ++asked;
        EXPECT_EQ(asked, c.typed.size()) << context;
        EXPECT_TRUE(contains(run.transcript, "out/tree/readme.txt: file already exists. Overwrite it? [y]es"))
            << context;
        EXPECT_FALSE(contains(run.transcript, "\\")) << context;
    }

    // add --interactive asks the same question about an entry in the archive.
    writeText(scratch / "tree/readme.txt", "changed\n");
    TerminalRun kept =
        zarOnTerminal(scratch.path(), {"add", "-i", "a.zip", "tree/readme.txt"},
                      {{"tree/readme.txt: an entry of this name is in the archive. Replace it? [y]es", "n\n"}});
    EXPECT_EQ(kept.status, 0) << kept.transcript;
    EXPECT_EQ(in({"extract", "-c", "a.zip", "tree/readme.txt"}).out, "read me first\n");
    TerminalRun replaced = zarOnTerminal(scratch.path(), {"add", "-i", "a.zip", "tree/readme.txt"},
                                         {{"Replace it?", "y\n"}});
    EXPECT_EQ(replaced.status, 0) << replaced.transcript;
    EXPECT_EQ(in({"extract", "-c", "a.zip", "tree/readme.txt"}).out, "changed\n");
}

// The output directory is made only for an archive that opens.
TEST_F(ZarCli, AFailedExtractMakesNoOutputDirectory) {
    ZarRun missing = in({"extract", "-d", "fresh/deeper", "nosuch.zip"});
    EXPECT_EQ(missing.status, 4);
    EXPECT_TRUE(contains(missing.err, "zar: nosuch.zip: no such file or directory")) << missing.err;
    EXPECT_FALSE(fs::exists(scratch / "fresh"));
    ASSERT_EQ(in({"add", "a.zip", "tree/readme.txt"}).status, 0);
    EXPECT_EQ(in({"extract", "-d", "fresh/deeper", "a.zip"}).status, 0);
    EXPECT_EQ(fileText(scratch / "fresh/deeper/tree/readme.txt"), "read me first\n");
}

// Patterns have no character classes: brackets match themselves in list and
// in extract alike, and --help says so.
TEST_F(ZarCli, BracketsInPatternsMatchThemselves) {
    writeText(scratch / "b[1].txt", "bracketed\n");
    writeText(scratch / "b1.txt", "plain\n");
    ASSERT_EQ(in({"add", "b.zip", "b[1].txt", "b1.txt"}).status, 0);
    EXPECT_EQ(in({"list", "-1", "b.zip", "b[1].txt"}).out, "b[1].txt\n");
    EXPECT_EQ(in({"list", "-1", "b.zip", "b[0-9].txt"}).status, 3);
    ZarRun extract = in({"extract", "-d", "out", "b.zip", "b[1].txt"});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(fileText(scratch / "out/b[1].txt"), "bracketed\n");
    EXPECT_FALSE(fs::exists(scratch / "out/b1.txt"));
    EXPECT_TRUE(contains(in({"--help"}).out, "There are no character classes"));
}

// An encrypted entry without -p: zar asks once on the terminal, naming it,
// without echo, and the run uses the password for every entry.
TEST_F(ZarCli, APasswordIsAskedForOnTheTerminal) {
    ASSERT_EQ(in({"add", "-p", "hush hush", "locked.zip", "tree/readme.txt", "tree/docs"}).status, 0);
    ASSERT_EQ(in({"add", "locked.zip", "tree/empty.dat"}).status, 0);  // one entry in the clear
    TerminalRun tested =
        zarOnTerminal(scratch.path(), {"test", "locked.zip"}, {{"is encrypted. Password: ", "hush hush\n"}});
    EXPECT_EQ(tested.status, 0) << tested.transcript;
    EXPECT_TRUE(contains(tested.transcript, "tree/readme.txt is encrypted. Password: ")) << tested.transcript;
    EXPECT_FALSE(contains(tested.transcript, "hush")) << tested.transcript;
    EXPECT_TRUE(contains(tested.transcript, "no problems found")) << tested.transcript;
    size_t asked = 0;
    for (size_t at = tested.transcript.find("Password:"); at != std::string::npos;
         at = tested.transcript.find("Password:", at + 1))
        ++asked;
    EXPECT_EQ(asked, 1u) << tested.transcript;

    TerminalRun extracted = zarOnTerminal(scratch.path(), {"extract", "-d", "out", "locked.zip", "*.txt"},
                                          {{"Password: ", "hush hush\n"}});
    EXPECT_EQ(extracted.status, 0) << extracted.transcript;
    EXPECT_EQ(fileText(scratch / "out/tree/docs/guide.txt"), "a guide\n");

    // A wrong one is tried, and every entry it does not open is named.
    TerminalRun wrong = zarOnTerminal(scratch.path(), {"test", "locked.zip"}, {{"Password: ", "nope\n"}});
    EXPECT_EQ(wrong.status, 1) << wrong.transcript;
    EXPECT_TRUE(contains(wrong.transcript, "tree/readme.txt: wrong password. Skipping file.")) << wrong.transcript;

    // Entries in the clear need none: nothing is asked.
    TerminalRun clear = zarOnTerminal(scratch.path(), {"test", "locked.zip", "tree/empty.dat"});
    EXPECT_EQ(clear.status, 0) << clear.transcript;
    EXPECT_FALSE(contains(clear.transcript, "Password")) << clear.transcript;
}

// Ctrl-C in the middle of replacing a large entry: the run ends with the
// cancelled status and the archive is byte for byte what it was.
TEST_F(ZarCli, CtrlCLeavesTheArchiveAsItWas) {
    const std::string temp = scratch / "tmp";
    fs::create_directories(temp);
    ScopedEnv tmpdir("TMPDIR", temp.c_str());
    std::vector<uint8_t> noise(48 << 20);
    uint64_t x = 0x9E3779B97F4A7C15u;
    for (uint8_t& b : noise) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        b = static_cast<uint8_t>(x >> 24);
    }
    writeBytes(scratch / "big.bin", noise);
    ASSERT_EQ(in({"add", "-0", "big.zip", "big.bin"}).status, 0);
    const std::vector<uint8_t> before = readBytes(scratch / "big.zip");

    std::vector<std::string> args = {"add", "-9", (scratch / "big.zip"), (scratch / "big.bin")};
    std::vector<char*> argv = argvOf(args);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, (temp + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, (temp + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&files);
    // The new archive is being written once zar holds its data file beside
    // it: a file there that is neither the archive nor the file added, with
    // no name ("#123 (deleted)" in /proc) or a temporary one.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const std::string here = fs::canonical(scratch.path()).string() + "/";
    auto writing = [&] {
        try {
            for (auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
                std::error_code ec;
                const std::string target = fs::read_symlink(fd.path(), ec).string();
                if (ec || target.rfind(here, 0) != 0) continue;
                const std::string leaf = target.substr(here.size());
                if (leaf.find('/') == std::string::npos && leaf != "big.zip" && leaf != "big.bin") return true;
            }
        } catch (const fs::filesystem_error&) {  // zar closed a file meanwhile
        }
        return false;
    };
    while (!writing() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    int wait = 0;
    ASSERT_EQ(::waitpid(pid, &wait, 0), pid);
    // zar ended by itself with the cancelled status; it was not killed.
    ASSERT_TRUE(WIFEXITED(wait));
    EXPECT_EQ(WEXITSTATUS(wait), 130);
    EXPECT_TRUE(contains(fileText(temp + "/err"), "big.zip: cancelled; the archive is as it was (code -4)"))
        << fileText(temp + "/err");
    fs::remove(temp + "/out");
    fs::remove(temp + "/err");
    EXPECT_EQ(readBytes(scratch / "big.zip"), before);
    for (const std::string& directory : {scratch.path(), temp})
        for (auto& entry : fs::directory_iterator(directory))
            EXPECT_NE(entry.path().filename().string().rfind("AZR", 0), 0u) << entry.path();
}

}  // namespace
}  // namespace zar::test
