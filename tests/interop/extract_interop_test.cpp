// Extraction of archives that independent tools make of one source tree:
// Info-ZIP zip, Python's zipfile, 7z and bsdtar, plain and encrypted. Every
// extracted file is compared with its source byte for byte, with its time
// (from the entry's local DOS time) and with its read-only state; damaged data
// and wrong passwords are reported entry by entry, and Info-ZIP unzip agrees.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>
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
using zar::test::ScopedEnv;
using zar::test::writeBytes;
using zar::test::writeText;
namespace fsys = std::filesystem;

using Bytes = std::vector<uint8_t>;

// A fixed offset with half an hour in it and no daylight saving: a time taken
// as UTC instead of local time shows, whatever the season.
constexpr const char* kZone = "IST-5:30";
constexpr const char* kPassword = "pass word";

// ---- The source tree ----------------------------------------------------------------

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string numberedLines(const std::string& what, int count) {
    std::string out;
    for (int i = 1; i <= count; ++i) out += what + " line " + std::to_string(i) + "\n";
    return out;
}

// 400 KB that alternate between random bytes (which Deflate ends up storing),
// repeated phrases and runs of one byte (which it codes as long matches).
Bytes mixedBinary() {
    Bytes out;
    uint32_t x = 0x2545F491u;
    auto next = [&x] {  // xorshift32
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (int block = 0; out.size() < 400'000; ++block) {
        const size_t length = 4096 + next() % 20000;
        if (block % 3 == 0) {
            for (size_t i = 0; i < length; ++i) out.push_back(static_cast<uint8_t>(next() >> 24));
        } else if (block % 3 == 1) {
            const std::string phrase = "record " + std::to_string(block) + " of the mixed sample; ";
            for (size_t i = 0; i < length; ++i) out.push_back(static_cast<uint8_t>(phrase[i % phrase.size()]));
        } else {
            out.insert(out.end(), length, static_cast<uint8_t>(next()));
        }
    }
    return out;
}

struct SourceFile {
    const char* name;
    Bytes content;
    const char* stamp;  // its last-write time, local, as `touch -d` reads it
};

constexpr const char* kReadOnlyFile = "docs/readonly.txt";  // made read-only before archiving
constexpr const char* kExecutableFile = "data/blob.bin";     // made rwxr-x--- before archiving
constexpr const char* kEmptyDirectory = "hollow";
constexpr const char* kReadmeMarker = "the readme";  // appears once in the tree: the CRC test damages it
const std::string kReadme = std::string("zarlib32 interop sample: ") + kReadmeMarker + "\n" +
                            numberedLines("readme", 20);

// Odd and even seconds, so that each tool's rounding to DOS time shows.
std::vector<SourceFile> sourceFiles() {
    return {
        {"README.txt", bytesOf(kReadme), "2021-06-15 10:20:31"},
        {"docs/guide.txt", bytesOf(numberedLines("guide", 900)), "2019-02-28 23:59:58"},
        {"docs/LICENSE", bytesOf("A name without an extension.\n"), "2024-02-29 12:00:01"},
        {"docs/read me.txt", bytesOf("A name with a blank.\n"), "2010-10-10 10:10:10"},
        {kReadOnlyFile, bytesOf("Not writable when archived.\n"), "2015-05-05 05:05:05"},
        {"data/blob.bin", mixedBinary(), "1999-12-31 23:59:59"},  // rounding up moves it into 2000
        {"data/empty.dat", {}, "2020-01-01 00:00:00"},
        {"data/nested/deeper/leaf.txt", bytesOf("deep leaf\n"), "2022-08-09 14:15:17"},
    };
}

void buildSourceTree(const std::string& root) {
    std::string touch;
    for (const SourceFile& f : sourceFiles()) {
        const std::string path = root + "/" + f.name;
        fsys::create_directories(fsys::path(path).parent_path());
        writeBytes(path, f.content);
        touch += "touch -d '" + std::string(f.stamp) + "' " + quote(path) + " && ";
    }
    fsys::create_directories(root + "/" + kEmptyDirectory);
    fsys::permissions(root + "/" + kReadOnlyFile,
                      fsys::perms::owner_read | fsys::perms::group_read | fsys::perms::others_read);
    fsys::permissions(root + "/" + kExecutableFile,
                      fsys::perms::owner_all | fsys::perms::group_read | fsys::perms::group_exec);
    RunResult r = run("(" + touch + "true) 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
}

// Every file (with its bytes) and directory below `root`, by relative path.
using Tree = std::map<std::string, std::optional<Bytes>>;

Tree readTree(const std::string& root) {
    Tree tree;
    for (const auto& e : fsys::recursive_directory_iterator(root)) {
        const std::string name = fsys::relative(e.path(), root).generic_string();
        if (e.is_directory())
            tree[name] = std::nullopt;
        else
            tree[name] = readBytes(e.path());
    }
    return tree;
}

// What tells two trees apart, a line per path; empty when they are the same.
std::vector<std::string> treeDifferences(const Tree& expected, const Tree& actual) {
    std::vector<std::string> out;
    for (const auto& [name, content] : expected) {
        auto it = actual.find(name);
        if (it == actual.end()) {
            out.push_back("missing: " + name);
        } else if (content.has_value() != it->second.has_value()) {
            out.push_back("file instead of directory or back: " + name);
        } else if (content && *content != *it->second) {
            const Bytes& a = *content;
            const Bytes& b = *it->second;
            const size_t common = std::min(a.size(), b.size());
            const size_t at = std::mismatch(a.begin(), a.begin() + common, b.begin()).first - a.begin();
            out.push_back("differs: " + name + " (" + std::to_string(a.size()) + " bytes expected, " +
                          std::to_string(b.size()) + " found, first difference at " + std::to_string(at) + ")");
        }
    }
    for (const auto& entry : actual)
        if (!expected.count(entry.first)) out.push_back("unexpected: " + entry.first);
    return out;
}

const std::vector<std::string> kSame;

bool isReadOnly(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

// Flag bits 0 and 3 as found on any file entry of `archive`.
uint16_t fileEntryFlags(const std::string& archive) {
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != 0) return 0xFFFF;
    uint16_t found = 0;
    CDR record;
    char name[261];
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0)) {
        const uint16_t flags = record.flags;
        if (name[0] != '\0' && name[std::strlen(name) - 1] != '/') found |= flags & 0x9;
    }
    Ax4ZipClose(&h);
    return found;
}

// ---- The tools ----------------------------------------------------------------------

// Python's side: "stored", "deflated", "stream" (written through a file that
// cannot seek, so every entry has a data descriptor) and "dos" (entries made
// as on a DOS host, whose low attribute byte is all there is) archive the
// current directory. "reject" prints the first candidate password that every
// encrypted entry refuses, then those entries' names: it decrypts each 12-byte
// encryption header on its own and wants the last byte to match neither value
// that writers put there (the CRC's high byte, or the DOS time's high byte
// when the sizes follow the data).
constexpr const char* kZipfileScript = R"(import os, struct, sys, zipfile, zlib

class Unseekable:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()

def tree():
    for root, dirs, files in os.walk('.'):
        dirs.sort()
        for name in sorted(dirs) + sorted(files):
            yield os.path.join(root, name)[2:]

def make(mode, archive):
    method = zipfile.ZIP_STORED if mode == 'stored' else zipfile.ZIP_DEFLATED
    with open(archive, 'wb') as f, zipfile.ZipFile(Unseekable(f) if mode == 'stream' else f, 'w', method) as z:
        for path in tree():
            if mode != 'dos':
                z.write(path, path)
                continue
            info = zipfile.ZipInfo.from_file(path)
            info.create_system = 0
            if info.is_dir():
                info.external_attr = 0x10
                z.writestr(info, b'')
            else:
                info.external_attr = 0x20 | (0 if os.stat(path).st_mode & 0o222 else 0x01)
                info.compress_type = method
                with open(path, 'rb') as data:
                    z.writestr(info, data.read())

def check_byte(password, header):
    keys = [0x12345678, 0x23456789, 0x34567890]
    def crc(k, b): return zlib.crc32(bytes([b]), k ^ 0xFFFFFFFF) ^ 0xFFFFFFFF
    def update(b):
        keys[0] = crc(keys[0], b)
        keys[1] = ((keys[1] + (keys[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = crc(keys[2], keys[1] >> 24)
    for b in password: update(b)
    for c in header:
        t = (keys[2] | 2) & 0xFFFF
        b = c ^ ((t * (t ^ 1)) >> 8) & 0xFF
        update(b)
    return b

def reject(archive, candidates):
    z = zipfile.ZipFile(archive)
    raw = open(archive, 'rb').read()
    locked = [i for i in z.infolist() if i.flag_bits & 1]
    def refused(info, password):
        n, e = struct.unpack_from('<HH', raw, info.header_offset + 26)
        start = info.header_offset + 30 + n + e
        h, m, s = info.date_time[3:]
        time = h << 11 | m << 5 | s // 2
        return check_byte(password.encode(), raw[start:start + 12]) not in (info.CRC >> 24, time >> 8)
    for password in candidates:
        if all(refused(i, password) for i in locked):
            print('\n'.join([password] + [i.filename for i in locked]))
            return
    sys.exit(1)

if sys.argv[1] == 'reject':
    reject(sys.argv[2], sys.argv[3:])
else:
    make(sys.argv[1], sys.argv[2])
)";

// How each tool archives the current directory: {zip} is the archive to
// write, {py} the script above, {pw} the password.
struct Maker {
    const char* name;
    const char* command;
    // DOS times count in 2-second steps: Info-ZIP and 7z take an odd second up
    // to the next even one, Python and bsdtar down.
    bool roundsUp;
    // Whether extraction restores every file's permission bits: the tool
    // records Unix modes. The script's DOS-host archive has only the DOS
    // attribute byte, of which the read-only bit is restored.
    bool keepsModes;
    // The flag bits 0 (encrypted with {pw}) and 3 (sizes in a data descriptor)
    // found on the file entries: checked, so that a tool that changes its ways
    // cannot quietly take away what its row is there for.
    uint16_t flagBits;
};

constexpr uint16_t kEncrypted = 0x1, kDescriptor = 0x8;

const Maker kMakers[] = {
    {"zip_store", "zip -q -r -0 {zip} .", true, true, 0},
    {"zip_fastest", "zip -q -r -1 {zip} .", true, true, 0},
    {"zip_default", "zip -q -r -6 {zip} .", true, true, 0},
    {"zip_best", "zip -q -r -9 {zip} .", true, true, 0},
    {"zip_encrypted", "zip -q -r -P {pw} {zip} .", true, true, kEncrypted | kDescriptor},
    // Written to a pipe, zip cannot go back to the local headers: stored data
    // followed by data descriptors.
    {"zip_store_to_pipe", "zip -q -r -0 - . | cat > {zip}", true, true, kDescriptor},
    {"zip_comments",
     "seq -f 'remark %g on this entry' 100 | zip -q -r -c {zip} . && "
     "printf 'The archive comment\\nsecond line\\n' | zip -q -z {zip}",
     true, true, 0},
    {"python_stored", "python3 {py} stored {zip}", false, true, 0},
    {"python_deflated", "python3 {py} deflated {zip}", false, true, 0},
    {"python_stream", "python3 {py} stream {zip}", false, true, kDescriptor},
    {"python_dos_host", "python3 {py} dos {zip}", false, false, 0},
    {"sevenzip", "7z a -bd -bso0 -tzip {zip} .", true, true, 0},
    {"sevenzip_best", "7z a -bd -bso0 -tzip -mx=9 {zip} .", true, true, 0},
    {"sevenzip_encrypted", "7z a -bd -bso0 -tzip -p{pw} -mem=ZipCrypto {zip} .", true, true, kEncrypted},
    // "." makes every name start with "./", as archives made this way do.
    {"bsdtar", "bsdtar --format zip -cf {zip} .", false, true, kDescriptor},
    {"bsdtar_encrypted",
     "bsdtar --format zip --options zip:encryption=traditional --passphrase {pw} -cf {zip} .", false, true,
     kEncrypted | kDescriptor},
};

void PrintTo(const Maker& m, std::ostream* os) { *os << m.name; }

const Maker& maker(const std::string& name) {
    for (const Maker& m : kMakers)
        if (name == m.name) return m;
    throw std::invalid_argument("no maker " + name);
}

std::string replaceAll(std::string text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

// ---- What the host sees -------------------------------------------------------------

struct Report {
    int16_t kind;
    int16_t code;
    std::string name;
    bool operator==(const Report&) const = default;
};

void PrintTo(const Report& r, std::ostream* os) { *os << "{" << r.kind << ", " << r.code << ", " << r.name << "}"; }

// How the host is shown a path: every separator as a backslash.
std::string shown(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

const std::vector<Report> kNoReports;
std::vector<Report>* reports = nullptr;

// Notices and questions are kept; notices are answered "go on", questions "no".
int16_t AXAPI hook(StatusRecord record) {
    const int16_t kind = record.kind, code = record.code;
    if (kind == AX_STATUS_PROGRESS) return 0;
    reports->push_back({kind, code, record.entryName});
    return kind == AX_STATUS_NOTICE ? AX_ANSWER_OK : AX_ANSWER_NO;
}

class Interop : public ::testing::Test {
protected:
    void SetUp() override {
        tzset();
        Ax4SetCPrint(1);
        Ax4CPrintHook(hook);
        reports = &reports_;
        ASSERT_NO_FATAL_FAILURE(buildSourceTree(src));
        writeText(script, kZipfileScript);
        fsys::create_directory(out);
    }
    void TearDown() override {
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
        reports = nullptr;
    }

    // The archive `m` makes of the source tree.
    std::string make(const Maker& m) {
        const std::string archive = s / (std::string(m.name) + ".zip");
        std::string command = replaceAll(m.command, "{zip}", quote(archive));
        command = replaceAll(command, "{py}", quote(script));
        command = replaceAll(command, "{pw}", quote(kPassword));
        RunResult r = run("cd " + quote(src) + " && " + command + " 2>&1");
        EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
        return archive;
    }

    // One Ax4UnZip run over everything in `archive`, into `out`.
    int16_t unzip(const std::string& archive, const std::string& options) {
        AxHandle h;
        int16_t r = Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h);
        if (r != 0) return r;
        r = Ax4UnZip(&h, out.c_str(), "*.*", nullptr, options.c_str());
        Ax4ZipClose(&h);
        return r;
    }

    ScopedEnv tz{"TZ", kZone};
    Scratch s;
    const std::string src = s / "src";
    const std::string out = s / "out";
    const std::string script = s / "zipfile_tool.py";
    std::vector<Report> reports_;
};

std::string makerName(const ::testing::TestParamInfo<Maker>& info) { return info.param.name; }

// ---- Every tool's archive, tested and extracted -------------------------------------

class ToolArchive : public Interop, public ::testing::WithParamInterface<Maker> {};

TEST_P(ToolArchive, TestsCleanThenExtractsTheWholeTree) {
    const Maker& m = GetParam();
    const std::string archive = make(m);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(fileEntryFlags(archive), m.flagBits);
    const std::string password = (m.flagBits & kEncrypted) ? std::string(" -S/") + kPassword + "/" : "";

    EXPECT_EQ(unzip(archive, "-T -D" + password), 0);
    EXPECT_EQ(reports_, kNoReports);
    EXPECT_TRUE(fsys::is_empty(out)) << "test mode writes nothing";

    ASSERT_EQ(unzip(archive, "-D" + password), 0);
    EXPECT_EQ(reports_, kNoReports);
    EXPECT_EQ(Ax4MoreStatus(), 0);
    EXPECT_EQ(treeDifferences(readTree(src), readTree(out)), kSame);

    for (const SourceFile& f : sourceFiles()) {
        SCOPED_TRACE(f.name);
        struct stat source, extracted;
        ASSERT_EQ(::stat((src + "/" + f.name).c_str(), &source), 0);
        ASSERT_EQ(::stat((out + "/" + f.name).c_str(), &extracted), 0);
        const time_t even = source.st_mtime & ~time_t{1};
        EXPECT_EQ(extracted.st_mtime, m.roundsUp && even != source.st_mtime ? even + 2 : even);
        EXPECT_EQ(isReadOnly(out + "/" + f.name), std::string(f.name) == kReadOnlyFile);
        if (m.keepsModes) {
            EXPECT_EQ(extracted.st_mode & 0777, source.st_mode & 0777);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolArchive, ::testing::ValuesIn(kMakers), makerName);

// ---- Passwords ----------------------------------------------------------------------

class EncryptedArchive : public Interop, public ::testing::WithParamInterface<Maker> {};

TEST_P(EncryptedArchive, WrongPasswordSkipsEveryLockedEntry) {
    const std::string archive = make(GetParam());
    ASSERT_FALSE(HasFailure());
    // A password is checked against one byte of a random header, so a wrong
    // one passes for an entry now and then (its data then fail the CRC check
    // instead). The script picks one that no entry can take, and names the
    // locked entries.
    std::string candidates;
    for (int i = 1; i <= 40; ++i) candidates += " " + quote("wrong " + std::to_string(i));
    RunResult found = run("python3 " + quote(script) + " reject " + quote(archive) + candidates);
    ASSERT_EQ(found.status, 0) << found.output;
    std::istringstream lines(found.output);
    std::string wrong, name;
    std::getline(lines, wrong);
    std::vector<Report> expected;
    Tree expectedTree = readTree(src);
    while (std::getline(lines, name)) {
        expected.push_back({AX_STATUS_NOTICE, AX_WRONG_PASSWORD, shown(out + "/" + name)});
        expectedTree.erase(name.rfind("./", 0) == 0 ? name.substr(2) : name);
    }
    ASSERT_FALSE(expected.empty());

    EXPECT_EQ(unzip(archive, "-D -S/" + wrong + "/"), AX_SOME_ENTRIES_FAILED);
    EXPECT_EQ(Ax4MoreStatus(), AX_WRONG_PASSWORD);
    EXPECT_EQ(reports_, expected);
    // The locked entries are not written; what was stored in the clear is.
    EXPECT_EQ(treeDifferences(expectedTree, readTree(out)), kSame);
}

std::vector<Maker> encryptingMakers() {
    std::vector<Maker> out;
    for (const Maker& m : kMakers)
        if (m.flagBits & kEncrypted) out.push_back(m);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Tools, EncryptedArchive, ::testing::ValuesIn(encryptingMakers()), makerName);

// AES, as 7z writes it, is encryption this library cannot undo: each locked
// entry is an unknown method, whatever the password, and nothing of it is
// written; the directories are made all the same.
TEST_F(Interop, AesEntriesAreAnUnknownMethod) {
    const std::string archive = make({"sevenzip_aes", "7z a -bd -bso0 -tzip -mem=AES256 -p{pw} {zip} .", true, false, 0});
    ASSERT_FALSE(HasFailure());
    for (const std::string& password : {std::string(kPassword), std::string("not it"), std::string()}) {
        SCOPED_TRACE(password);
        fsys::remove_all(out);
        fsys::create_directory(out);
        reports_.clear();
        EXPECT_EQ(unzip(archive, "-D" + (password.empty() ? "" : " -S/" + password + "/")), 0);
        std::vector<Report> expected;
        for (const Report& r : reports_) expected.push_back({AX_STATUS_NOTICE, AX_UNKNOWN_METHOD, r.name});
        EXPECT_EQ(reports_, expected);
        EXPECT_EQ(reports_.size(), sourceFiles().size());
        Tree directoriesOnly;
        for (const auto& [name, content] : readTree(src))
            if (!content) directoriesOnly[name] = std::nullopt;
        EXPECT_EQ(treeDifferences(directoriesOnly, readTree(out)), kSame);
    }
}

// ---- Damage, directories, attributes, and unzip's own view --------------------------

TEST_F(Interop, DamagedStoredDataIsReportedAndKept) {
    const std::string archive = make(maker("zip_store"));
    ASSERT_FALSE(HasFailure());
    Bytes bytes = readBytes(archive);
    const std::string marker = kReadmeMarker;
    auto at = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
    ASSERT_NE(at, bytes.end());
    ASSERT_EQ(std::search(at + 1, bytes.end(), marker.begin(), marker.end()), bytes.end());
    *at ^= 0x20;  // "the" becomes "The"
    writeBytes(archive, bytes);
    Tree expected = readTree(src);
    (*expected["README.txt"])[kReadme.find(marker)] ^= 0x20;

    // Test mode names the entry as stored, and still writes nothing.
    EXPECT_EQ(unzip(archive, "-T -D"), AX_SOME_ENTRIES_FAILED);
    EXPECT_EQ(reports_, (std::vector<Report>{{AX_STATUS_NOTICE, AX_CRC_MISMATCH, "README.txt"}}));
    EXPECT_EQ(Ax4MoreStatus(), AX_CRC_MISMATCH);
    EXPECT_TRUE(fsys::is_empty(out));

    reports_.clear();
    EXPECT_EQ(unzip(archive, "-D"), AX_SOME_ENTRIES_FAILED);
    EXPECT_EQ(reports_, (std::vector<Report>{{AX_STATUS_NOTICE, AX_CRC_MISMATCH, shown(out + "/README.txt")}}));
    EXPECT_EQ(Ax4MoreStatus(), AX_CRC_MISMATCH);
    // The damaged file stays as it was decoded; the others are whole.
    EXPECT_EQ(treeDifferences(expected, readTree(out)), kSame);
}

TEST_F(Interop, StoredDirectoriesOnlyWithTheOption) {
    // Without directory entries (zip -D) the directories follow from the file
    // names, and an empty one is not there to restore.
    Tree withoutEmpty = readTree(src);
    withoutEmpty.erase(kEmptyDirectory);
    // Without -D every file lands in the output directory itself; the names
    // of the sample are unique without their directories.
    Tree flat;
    for (const SourceFile& f : sourceFiles()) flat[fsys::path(f.name).filename().string()] = f.content;
    struct Case {
        Maker maker;
        const char* options;
        const Tree& expected;
    } cases[] = {
        {{"zip_no_directory_entries", "zip -q -r -D {zip} .", true, false, 0}, "-D", withoutEmpty},
        {maker("zip_default"), "", flat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.maker.name) + " " + c.options);
        fsys::remove_all(out);
        fsys::create_directory(out);
        const std::string archive = make(c.maker);
        ASSERT_FALSE(HasFailure());
        EXPECT_EQ(unzip(archive, c.options), 0);
        EXPECT_EQ(reports_, kNoReports);
        EXPECT_EQ(treeDifferences(c.expected, readTree(out)), kSame);
    }
}

TEST_F(Interop, ReadOnlyBitCanBeLeftOut) {
    const std::string archive = make(maker("python_dos_host"));
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(unzip(archive, "-D -JR"), 0);
    EXPECT_TRUE(fsys::exists(out + "/" + kReadOnlyFile));
    EXPECT_FALSE(isReadOnly(out + "/" + kReadOnlyFile));
}

TEST_F(Interop, AgreesWithInfoZipUnzip) {
    const std::string archive = make(maker("zip_best"));
    ASSERT_FALSE(HasFailure());
    const std::string theirs = s / "unzip-out";
    RunResult r = run("unzip -q " + quote(archive) + " -d " + quote(theirs) + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Ax4QUnZip(archive.c_str(), out.c_str(), "*.*", "-D"), 0);
    EXPECT_EQ(treeDifferences(readTree(theirs), readTree(out)), kSame);
}

}  // namespace
