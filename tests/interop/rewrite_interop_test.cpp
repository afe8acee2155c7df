// Writing runs over archives that independent tools made: adding a file,
// deleting an entry, setting an entry comment and renaming a stored path
// rebuild the archive, and every entry the run does not touch must come out
// as it went in; a renamed entry differs in its name alone. Python's
// zipfile reports each entry's central record fields, its local header and
// its data before and after; Info-ZIP unzip, bsdtar (reading the file and
// reading it as a stream), 7z and zipfile must accept the result, and unzip
// must extract the same files with the same modes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using zar::test::quote;
using zar::test::readBytes;
using zar::test::rejections;
using zar::test::run;
using zar::test::RunResult;
using zar::test::Scratch;
using zar::test::ScopedEnv;
using zar::test::writeText;
namespace fsys = std::filesystem;

// ---- The source tree ----------------------------------------------------------------

std::string numberedLines(int count) {
    std::string out;
    for (int i = 1; i <= count; ++i) out += "guide line " + std::to_string(i) + "\n";
    return out;
}

// Phrases and noise: Deflate keeps part of it and stores another part.
std::string mixedBytes(size_t size) {
    std::string out(size, '\0');
    uint32_t x = 0x9E3779B9u;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        out[i] = (i / 4096) % 2 ? static_cast<char>(x) : "blob of phrases "[i % 16];
    }
    return out;
}

struct SourceFile {
    const char* name;
    std::string content;
    fsys::perms mode;
};

std::vector<SourceFile> sourceFiles() {
    using P = fsys::perms;
    return {
        {"run.sh", "#!/bin/sh\necho run\n", P::owner_all | P::group_read | P::group_exec | P::others_read | P::others_exec},
        {"secret.txt", "only for the owner\n", P::owner_read | P::owner_write},
        {"docs/guide.txt", numberedLines(2000), P::owner_read | P::owner_write | P::group_read | P::others_read},
        {"data/blob.bin", mixedBytes(60000), P::owner_read | P::owner_write | P::group_read},
        {"data/empty.dat", "", P::owner_read | P::owner_write | P::group_read | P::others_read},
    };
}

// The names each tool is given: the tree without a "./" in front.
constexpr const char* kInputs = "run.sh secret.txt docs data";
// What the runs do to the archive.
constexpr const char* kDeleted = "docs/guide.txt";
constexpr const char* kCommented = "data/blob.bin";
constexpr const char* kNewComment = "a comment set by the run";
constexpr const char* kAddedContent = "a file added by the run\n";
constexpr const char* kOldPrefix = "docs/";
constexpr const char* kNewPrefix = "guides/";

// ---- The tools ----------------------------------------------------------------------

// Python's side. "stored" and "deflated" archive the current directory as
// zipfile does by default (modes in the external attributes); "stream64"
// writes through a file that cannot seek with Zip64 forced, so that every
// file entry has a Zip64 block in its local header and a descriptor with
// 8-byte sizes. "dump" prints a line per entry, in local header order:
// its name, then key=value fields, with the local header (version needed to
// extra field), what lies between its data and the next record (its data
// descriptor, if any) and a SHA-256 of its data; and a last line with the
// SHA-256 of all the data in that order, as a reader of the stream puts it out.
constexpr const char* kZipfileScript = R"(import hashlib, os, struct, sys, zipfile

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
    if mode == 'stream64':
        with open(archive, 'wb') as f, zipfile.ZipFile(Unseekable(f), 'w', zipfile.ZIP_DEFLATED) as z:
            for path in tree():
                info = zipfile.ZipInfo.from_file(path)
                if info.is_dir():
                    z.writestr(info, b'')
                    continue
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, 'rb') as data, z.open(info, 'w', force_zip64=True) as out:
                    out.write(data.read())
        return
    method = zipfile.ZIP_STORED if mode == 'stored' else zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(archive, 'w', method) as z:
        for path in tree():
            z.write(path)

def has_zip64(extra):
    at = 0
    while at + 4 <= len(extra):
        tag, size = struct.unpack_from('<HH', extra, at)
        if tag == 1:
            return True
        at += 4 + size
    return False

def dump(archive):
    raw = open(archive, 'rb').read()
    z = zipfile.ZipFile(archive)
    stream = hashlib.sha256()
    infos = sorted(z.infolist(), key=lambda i: i.header_offset)
    for i, following in zip(infos, [i.header_offset for i in infos[1:]] + [z.start_dir]):
        o = i.header_offset
        n, e = struct.unpack_from('<HH', raw, o + 26)
        local_extra = raw[o + 30 + n:o + 30 + n + e]
        data_end = o + 30 + n + e + i.compress_size
        data = z.read(i)
        stream.update(data)
        fields = [('create_system', i.create_system), ('create_version', i.create_version),
                  ('extract_version', i.extract_version), ('flag_bits', i.flag_bits),
                  ('compress_type', i.compress_type), ('date_time', i.date_time), ('CRC', i.CRC),
                  ('compress_size', i.compress_size), ('file_size', i.file_size),
                  ('external_attr', i.external_attr), ('internal_attr', i.internal_attr),
                  ('extra', i.extra.hex()), ('comment', i.comment.hex()),
                  ('local', raw[o + 4:o + 30 + n + e].hex()), ('local_zip64', has_zip64(local_extra)),
                  ('after_data', raw[data_end:following].hex()),
                  ('data', hashlib.sha256(data).hexdigest())]
        print('\t'.join([i.orig_filename] + ['%s=%s' % f for f in fields]))
    print('\t'.join(['*stream', 'data=' + stream.hexdigest()]))

if sys.argv[1] == 'dump':
    dump(sys.argv[2])
else:
    make(sys.argv[1], sys.argv[2])
)";

// What a row is there for, checked on the archive the tool makes, so that a
// tool that changes its ways cannot quietly take it away.
enum Trait : unsigned {
    kUnixModes = 1,   // entries made on Unix with their modes
    kZip64Local = 2,  // Zip64 blocks in local headers, all ones in their sizes
    kDescriptor = 4,  // sizes in data descriptors (flag bit 3)
};

// How each tool archives the source tree: {zip} is the archive to write,
// {py} the script above, {in} the names to archive.
struct Maker {
    const char* name;
    const char* command;
    unsigned traits;
};

const Maker kMakers[] = {
    {"zip", "zip -q -r {zip} {in}", kUnixModes},
    {"zip_forced_zip64", "zip -q -r -fz {zip} {in}", kUnixModes | kZip64Local},
    // Read from a pipe, the entry "-" is of unknown size: Zip64 in its local header.
    {"zip_from_pipe", "zip -q -r {zip} {in} && cat docs/guide.txt | zip -q {zip} -", kUnixModes | kZip64Local},
    // Written to a pipe, zip cannot go back to the local headers.
    {"zip_to_pipe", "zip -q -r - {in} | cat > {zip}", kUnixModes | kDescriptor},
    {"sevenzip", "7z a -bd -bso0 -tzip {zip} {in}", kUnixModes},
    {"bsdtar", "bsdtar -a -cf {zip} {in}", kUnixModes | kDescriptor},
    {"python_stored", "python3 {py} stored {zip}", kUnixModes},
    {"python_deflated", "python3 {py} deflated {zip}", kUnixModes},
    {"python_stream_zip64", "python3 {py} stream64 {zip}", kUnixModes | kZip64Local | kDescriptor},
};

void PrintTo(const Maker& m, std::ostream* os) { *os << m.name; }

std::string replaceAll(std::string text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

// ---- What the tools see -------------------------------------------------------------

// An entry's fields as the dump reports them, by key.
using Fields = std::map<std::string, std::string>;
// Every entry's fields by name; "*stream" holds the hash of all the data.
using Dump = std::map<std::string, Fields>;

Dump parseDump(const std::string& text) {
    Dump out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream parts(line);
        std::string name, field;
        std::getline(parts, name, '\t');
        Fields& fields = out[name];
        while (std::getline(parts, field, '\t')) {
            const size_t eq = field.find('=');
            fields[field.substr(0, eq)] = field.substr(eq + 1);
        }
    }
    return out;
}

unsigned traitsOf(const Dump& dump) {
    unsigned traits = 0;
    for (const auto& [name, f] : dump) {
        if (name == "*stream") continue;
        if (f.at("create_system") == "3" && std::stoul(f.at("external_attr")) >> 16 != 0) traits |= kUnixModes;
        if (f.at("local_zip64") == "True") traits |= kZip64Local;
        if (std::stoul(f.at("flag_bits")) & 8) traits |= kDescriptor;
    }
    return traits;
}

std::string hex(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

// The files and directories unzip extracts, each with its permission bits,
// and a file with its size and a checksum of its content.
using Tree = std::map<std::string, std::string>;

Tree readTree(const std::string& root) {
    Tree tree;
    for (const auto& e : fsys::recursive_directory_iterator(root)) {
        const std::string name = fsys::relative(e.path(), root).generic_string();
        std::ostringstream out;
        out << (e.is_directory() ? "dir " : "file ") << std::oct
            << static_cast<unsigned>(e.symlink_status().permissions()) << std::dec;
        if (!e.is_directory()) {
            uint64_t fnv = 0xCBF29CE484222325u;  // FNV-1a
            const auto bytes = readBytes(e.path());
            for (uint8_t b : bytes) fnv = (fnv ^ b) * 0x100000001B3u;
            out << " " << bytes.size() << " bytes " << std::hex << fnv;
        }
        tree[name] = out.str();
    }
    return tree;
}

std::vector<std::string> namesOf(const Dump& dump) {
    std::vector<std::string> names;
    for (const auto& entry : dump) names.push_back(entry.first);
    return names;
}

// ---- The runs -----------------------------------------------------------------------

enum class RunKind { Add, Delete, Comment, Rename };

struct RunCase {
    const char* name;
    RunKind kind;
};

const RunCase kRuns[] = {{"add", RunKind::Add},
                         {"delete", RunKind::Delete},
                         {"comment", RunKind::Comment},
                         {"rename", RunKind::Rename}};

// The prefix kOldPrefix of a name replaced by kNewPrefix; "" for other names.
std::string renamed(const std::string& name) {
    const std::string from = kOldPrefix;
    return name.compare(0, from.size(), from) == 0 ? kNewPrefix + name.substr(from.size()) : "";
}

// The dump of a local header (from its version needed on, name and extra
// field included) under another name: the name length at byte 22, then the
// fixed part's end at 26, the name and the rest.
std::string localUnder(const std::string& local, const std::string& oldName, const std::string& newName) {
    const std::string length = hex({static_cast<char>(newName.size() & 0xFF), static_cast<char>(newName.size() >> 8)});
    return local.substr(0, 44) + length + local.substr(48, 4) + hex(newName) + local.substr(52 + 2 * oldName.size());
}

class Rewrite : public ::testing::TestWithParam<Maker> {
protected:
    void SetUp() override {
        for (const SourceFile& f : sourceFiles()) {
            const std::string path = src + "/" + f.name;
            fsys::create_directories(fsys::path(path).parent_path());
            writeText(path, f.content);
            fsys::permissions(path, f.mode);
        }
        fsys::permissions(src + "/docs", fsys::perms::owner_all | fsys::perms::group_read | fsys::perms::group_exec);
        writeText(script, kZipfileScript);
        writeText(added, kAddedContent);
    }

    std::string make(const Maker& m) {
        const std::string archive = s / (std::string(m.name) + ".zip");
        std::string command = replaceAll(m.command, "{zip}", quote(archive));
        command = replaceAll(command, "{py}", quote(script));
        command = replaceAll(command, "{in}", kInputs);
        RunResult r = run("cd " + quote(src) + " && " + command + " 2>&1");
        EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
        return archive;
    }

    Dump dump(const std::string& archive) {
        RunResult r = run("python3 " + quote(script) + " dump " + quote(archive) + " 2>&1");
        EXPECT_EQ(r.status, 0) << r.output;
        return parseDump(r.output);
    }

    Tree unzipped(const std::string& archive, const std::string& into) {
        fsys::remove_all(into);
        RunResult r = run("unzip -q " + quote(archive) + " -d " + quote(into) + " 2>&1");
        EXPECT_EQ(r.status, 0) << r.output;
        return readTree(into);
    }

    int16_t apply(RunKind kind, const std::string& archive) {
        AxHandle h;
        if (kind == RunKind::Rename) return Ax4ChangeDirPaths(archive.c_str(), nullptr, kOldPrefix, kNewPrefix, 1, nullptr);
        int16_t r = Ax4ZipOpen(archive.c_str(), AX_OPEN_UPDATE, &h);
        if (r != 0) return r;
        switch (kind) {
            case RunKind::Add: r = Ax4Zip(&h, added.c_str(), nullptr, ""); break;
            case RunKind::Delete: r = Ax4Zip(&h, kDeleted, nullptr, "-D"); break;
            case RunKind::Comment: r = Ax4ZipNewFileComment(&h, kCommented, kNewComment); break;
            case RunKind::Rename: break;
        }
        Ax4ZipClose(&h);
        return r;
    }

    // The SHA-256 of everything bsdtar extracts from the archive read as a
    // stream, local header after local header.
    std::string streamedData(const std::string& archive) {
        RunResult r = run("bsdtar -xOf - < " + quote(archive) + " | sha256sum");
        return r.output.substr(0, 64);
    }

    ScopedEnv tz{"TZ", "UTC0"};
    Scratch s;
    ScopedEnv tmp{"TMPDIR", s.path().c_str()};
    const std::string src = s / "src";
    const std::string script = s / "zipfile_tool.py";
    const std::string added = s / "added.txt";
};

TEST_P(Rewrite, UntouchedEntriesKeepTheirRecordsAndData) {
    const Maker& m = GetParam();
    const std::string pristine = make(m);
    ASSERT_FALSE(HasFailure());
    const Dump before = dump(pristine);
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(before.count(kDeleted) && before.count(kCommented));
    EXPECT_EQ(traitsOf(before), m.traits);
    const Tree unzippedBefore = unzipped(pristine, s / "before");

    for (const RunCase& c : kRuns) {
        SCOPED_TRACE(c.name);
        const std::string archive = s / (std::string(c.name) + ".zip");
        fsys::copy_file(pristine, archive, fsys::copy_options::overwrite_existing);
        ASSERT_EQ(apply(c.kind, archive), 0);
        Dump after = dump(archive);
        ASSERT_FALSE(HasFailure());
        const std::string allData = after["*stream"]["data"];

        Dump expected = before;
        Tree expectedTree = unzippedBefore;
        expected.erase("*stream");
        after.erase("*stream");
        std::string addedName;
        switch (c.kind) {
            case RunKind::Add:
                for (const auto& entry : after)
                    if (!before.count(entry.first)) addedName = entry.first;
                ASSERT_FALSE(addedName.empty());
                after.erase(addedName);
                EXPECT_EQ(run("unzip -p " + quote(archive) + " " + quote(addedName)).output, kAddedContent);
                break;
            case RunKind::Delete:
                expected.erase(kDeleted);
                expectedTree.erase(kDeleted);
                break;
            case RunKind::Comment:
                expected[kCommented]["comment"] = hex(kNewComment);
                break;
            case RunKind::Rename: {
                // The tree under docs/ moves to guides/, its entries otherwise the same.
                Dump moved;
                for (auto& [name, fields] : expected) {
                    const std::string now = renamed(name);
                    if (!now.empty()) fields["local"] = localUnder(fields["local"], name, now);
                    moved[now.empty() ? name : now] = fields;
                }
                expected = moved;
                Tree movedTree;
                for (const auto& [path, what] : expectedTree) {
                    const std::string now = renamed(path + "/");
                    movedTree[now.empty() ? path : now.substr(0, now.size() - 1)] = what;
                }
                expectedTree = movedTree;
                break;
            }
        }
        // Central record fields, local header and data of every other entry.
        ASSERT_EQ(namesOf(after), namesOf(expected));
        for (const auto& [name, fields] : expected) EXPECT_EQ(after[name], fields) << name;

        EXPECT_EQ(rejections(archive), "");
        EXPECT_EQ(streamedData(archive), allData);
        Tree tree = unzipped(archive, s / c.name);
        tree.erase(addedName);
        EXPECT_EQ(tree, expectedTree);
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, Rewrite, ::testing::ValuesIn(kMakers),
                         [](const ::testing::TestParamInfo<Maker>& info) { return std::string(info.param.name); });

}  // namespace
