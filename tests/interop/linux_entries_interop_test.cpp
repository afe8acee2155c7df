// What an archive keeps of a Linux tree, seen through independent tools:
// non-ASCII names written as UTF-8 with the language flag, names from DOS
// hosts read through code page 437, Unix modes recorded and restored, and
// directories given their stored times once their contents are written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using zar::test::quote;
using zar::test::readBytes;
using zar::test::run;
using zar::test::RunResult;
using zar::test::Scratch;
using zar::test::writeText;
namespace fsys = std::filesystem;

// Every file and directory below `root`, relative, directories ending in '/'.
std::set<std::string> namesBelow(const std::string& root) {
    std::set<std::string> names;
    for (const auto& entry : fsys::recursive_directory_iterator(root)) {
        std::string name = fsys::relative(entry.path(), root).string();
        names.insert(entry.is_directory() ? name + "/" : name);
    }
    return names;
}

std::set<std::string> linesOf(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.insert(line);
    return lines;
}

mode_t permissionsOf(const std::string& path) {
    struct stat st{};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class LinuxEntries : public ::testing::Test {
protected:
    void SetUp() override {
        src = s / "src";
        out = s / "out";
        archive = s / "a.zip";
        fsys::create_directories(src);
        fsys::create_directories(out);
    }

    int16_t zipTree() {
        AxHandle h;
        int16_t r = Ax4ZipOpen(archive.c_str(), 0, &h);
        if (r != 0) return r;
        r = Ax4Zip(&h, (src + "/*.*").c_str(), nullptr, "-R -P");
        Ax4ZipClose(&h);
        return r;
    }

    // Runs a Python script with the archive's path as its argument; what it
    // prints comes back.
    RunResult python(const std::string& script) {
        writeText(s / "script.py", script);
        return run("python3 " + quote(s / "script.py") + " " + quote(archive) + " 2>&1");
    }

    Scratch s;
    std::string src, out, archive;
};

// ---- Names ----------------------------------------------------------------------------

TEST_F(LinuxEntries, Utf8NamesCarryTheFlagAndReadTheSameEverywhere) {
    const std::vector<std::string> files = {"plain.txt", "café/naïve.txt", "日本語.txt", "Ωmega/ÄÖÜ ß.md"};
    for (const std::string& name : files) {
        fsys::create_directories(fsys::path(src + "/" + name).parent_path());
        writeText(src + "/" + name, "content of " + name + "\n");
    }
    ASSERT_EQ(zipTree(), 0);

    // Python: the names as written, and the flag exactly on the non-ASCII ones.
    RunResult py = python(
        "import sys, zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        "    print(i.filename, 'utf8' if i.flag_bits & 0x800 else 'plain')\n");
    ASSERT_EQ(py.status, 0) << py.output;
    EXPECT_EQ(linesOf(py.output), (std::set<std::string>{"plain.txt plain", "café/ utf8", "café/naïve.txt utf8",
                                                         "日本語.txt utf8", "Ωmega/ utf8", "Ωmega/ÄÖÜ ß.md utf8"}));

    // Info-ZIP and 7z list the same names in a UTF-8 locale, and accept the archive.
    const std::string utf8 = "LC_ALL=C.UTF-8 ";
    RunResult unzipList = run(utf8 + "unzip -Z1 " + quote(archive));
    EXPECT_EQ(unzipList.status, 0);
    RunResult sevenList = run(utf8 + "7z l -ba -slt " + quote(archive) + " | sed -n 's/^Path = //p'");
    EXPECT_EQ(sevenList.status, 0);
    for (const std::string& name : files) {
        EXPECT_NE(unzipList.output.find(name + "\n"), std::string::npos) << name << "\n" << unzipList.output;
        EXPECT_NE(sevenList.output.find(name + "\n"), std::string::npos) << name << "\n" << sevenList.output;
    }
    EXPECT_EQ(run("unzip -tq " + quote(archive) + " >/dev/null 2>&1").status, 0);

    // And back: Info-ZIP and this library extract the same tree.
    const std::string byUnzip = s / "by-unzip";
    ASSERT_EQ(run(utf8 + "unzip -q " + quote(archive) + " -d " + quote(byUnzip)).status, 0);
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", "-D"), 0);
    EXPECT_EQ(namesBelow(out), namesBelow(src));
    EXPECT_EQ(namesBelow(byUnzip), namesBelow(src));
    for (const std::string& name : files) EXPECT_EQ(readBytes(out + "/" + name), readBytes(src + "/" + name)) << name;
}

// How a stored name without the flag reads, by the host that made it.
struct StoredNameCase {
    const char* label;
    int host;                // version made by, high byte
    const char* storedHex;   // the name's bytes
    const char* onDisk;      // the file name it gets here
};

const StoredNameCase kStoredNames[] = {
    {"DosCodePage437", 0, "529053554d902e545854", "RÉSUMÉ.TXT"},
    {"NtfsCodePage437", 10, "8463702e747874", "äcp.txt"},
    {"VfatBoxDrawing", 14, "c4cdb3ba2e747874", "─═│║.txt"},
    {"UnixBytesPassThrough", 3, "636166e92e747874", "caf\xe9.txt"},
};

class StoredNames : public LinuxEntries, public ::testing::WithParamInterface<StoredNameCase> {};

TEST_P(StoredNames, ExtractUnderTheNameTheirHostMeant) {
    const StoredNameCase& c = GetParam();
    // zipfile writes names it cannot encode in ASCII as flagged UTF-8; the
    // bytes are given to it as they should stand, without the flag.
    RunResult py = python(std::string("import sys, zipfile\n"
                                      "zipfile.ZipInfo._encodeFilenameFlags = lambda self: "
                                      "(self.filename.encode('latin-1'), self.flag_bits)\n"
                                      "i = zipfile.ZipInfo(bytes.fromhex('") +
                          c.storedHex +
                          "').decode('latin-1'), (2001, 2, 3, 4, 5, 6))\n"
                          "i.create_system = " +
                          std::to_string(c.host) +
                          "\n"
                          "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                          "    z.writestr(i, b'named by its host\\n')\n");
    ASSERT_EQ(py.status, 0) << py.output;
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", ""), 0);
    EXPECT_EQ(namesBelow(out), std::set<std::string>{c.onDisk});
}

INSTANTIATE_TEST_SUITE_P(Hosts, StoredNames, ::testing::ValuesIn(kStoredNames),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Modes and directory times ----------------------------------------------------------

TEST_F(LinuxEntries, ModesRoundTripAndOtherToolsRestoreThem) {
    const std::map<std::string, mode_t> modes = {
        {"run.sh", 0755}, {"secret.txt", 0600}, {"shared.txt", 0664}, {"bin/tool", 0750}, {"ro.txt", 0444}};
    for (const auto& [name, mode] : modes) {
        fsys::create_directories(fsys::path(src + "/" + name).parent_path());
        writeText(src + "/" + name, "#!/bin/sh\necho " + name + "\n");
        ASSERT_EQ(::chmod((src + "/" + name).c_str(), mode), 0);
    }
    // setuid is never restored.
    ASSERT_EQ(::chmod((src + "/run.sh").c_str(), 04755), 0);
    ASSERT_EQ(zipTree(), 0);

    RunResult py = python(
        "import sys, zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        "    print(i.filename, i.create_system, oct(i.external_attr >> 16))\n");
    ASSERT_EQ(py.status, 0) << py.output;
    EXPECT_NE(py.output.find("run.sh 3 0o104755\n"), std::string::npos) << py.output;
    EXPECT_NE(py.output.find("bin/ 3 0o40"), std::string::npos) << py.output;

    const std::string byUnzip = s / "by-unzip";
    ASSERT_EQ(run("unzip -q " + quote(archive) + " -d " + quote(byUnzip)).status, 0);
    for (const auto& [name, mode] : modes) EXPECT_EQ(permissionsOf(byUnzip + "/" + name) & 0777, mode) << name;

    // The stored modes are restored exactly, whatever the creation mask takes
    // away from new files: new files are made with them where it takes none.
    const mode_t ambient = ::umask(022);
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{0}, mode_t{027}}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        ::umask(mask);
        const std::string into = out + "/" + std::to_string(mask);
        EXPECT_EQ(Ax4QUnZip(archive.c_str(), into.c_str(), "*.*", "-D"), 0);
        for (const auto& [name, mode] : modes) EXPECT_EQ(permissionsOf(into + "/" + name), mode) << name;
    }
    ::umask(ambient);
}

TEST_F(LinuxEntries, DirectoriesGetTheirStoredTimesAfterTheirContents) {
    // zipfile writes the directory entry first and its files after it.
    RunResult py = python(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for name in ['old/', 'old/inner/']:\n"
        "        i = zipfile.ZipInfo(name, (2003, 4, 5, 6, 7, 8))\n"
        "        i.external_attr = (0o40750 << 16) | 0x10\n"
        "        z.writestr(i, b'')\n"
        "    z.writestr('old/inner/file.txt', b'written after its directory\\n')\n"
        "    z.writestr('old/late.txt', b'and this one too\\n')\n");
    ASSERT_EQ(py.status, 0) << py.output;
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", "-D"), 0);

    std::tm t{};
    t.tm_year = 2003 - 1900, t.tm_mon = 3, t.tm_mday = 5, t.tm_hour = 6, t.tm_min = 7, t.tm_sec = 8;
    t.tm_isdst = -1;
    const time_t stored = std::mktime(&t);
    for (const char* dir : {"old", "old/inner"}) {
        struct stat st{};
        ASSERT_EQ(::stat((out + "/" + dir).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, stored) << dir;
        EXPECT_EQ(st.st_mode & 0777, 0750u) << dir;
    }
}

}  // namespace
