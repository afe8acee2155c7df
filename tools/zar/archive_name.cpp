#include "archive_name.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "console.h"
#include "entries.h"
#include "zarlib32.h"

namespace zar::cli {
namespace {

namespace fs = std::filesystem;

bool isFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool endsWithTar(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".tar";
}

// A scratch directory holding "archive.zip", a link to `target`.
std::string makeLink(const std::string& target, std::string* link) {
    std::string directory = makePrivateDirectory("zar-");
    if (directory.empty()) return {};
    std::error_code ec;
    *link = directory + "/archive.zip";
    fs::create_symlink(fs::absolute(target, ec), *link, ec);
    if (ec) {
        fs::remove_all(directory, ec);
        return {};
    }
    return directory;
}

}  // namespace

bool hasExtension(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        const char c = path[i - 1];
        if (c == '/' || c == '\\') return false;  // ':' is part of a name here
        if (c == '.') return i - 1 > 0;
    }
    return false;
}

ArchiveName ArchiveName::forReading(const std::string& given) {
    ArchiveName name;
    name.path_ = name.shown_ = given;
    if (hasExtension(given)) return name;
    if (isFile(given)) {
        std::string link;
        name.linkDirectory_ = makeLink(given, &link);
        if (!name.linkDirectory_.empty()) name.path_ = link;
        return name;
    }
    // A directory (or anything else) of that name is what the user meant
    // unless NAME.zip is there: the message then names it.
    std::error_code ec;
    if (fs::exists(given, ec) && !fs::exists(given + ".zip", ec)) return name;
    name.path_ = name.shown_ = given + ".zip";
    return name;
}

ArchiveName ArchiveName::forWriting(const std::string& given) {
    ArchiveName name;
    // A name that ends with a separator names a directory, not an archive to
    // make inside it: it stays as given, to be refused by that name.
    const bool directory = !given.empty() && (given.back() == '/' || given.back() == '\\');
    name.path_ = name.shown_ = hasExtension(given) || directory ? given : given + ".zip";
    return name;
}

ArchiveName::ArchiveName(ArchiveName&& other) noexcept
    : path_(std::move(other.path_)), shown_(std::move(other.shown_)),
      linkDirectory_(std::move(other.linkDirectory_)), tarDirectory_(std::move(other.tarDirectory_)) {
    other.linkDirectory_.clear();
    other.tarDirectory_.clear();
}

ArchiveName::~ArchiveName() {
    std::error_code ec;
    if (!linkDirectory_.empty()) fs::remove_all(linkDirectory_, ec);
    if (!tarDirectory_.empty()) fs::remove_all(tarDirectory_, ec);
}

int16_t ArchiveName::openInnerTar() {
    uint16_t kind = AX_KIND_NONE;
    if (Ax4IdentifyFile(path_.c_str(), &kind) != AX_OK || kind != AX_KIND_GZIP) return AX_OK;
    std::vector<Entry> members;
    {
        OpenArchive gzip;
        if (gzip.open(path_, AX_OPEN_READ | AX_OPEN_LONG_NAMES) != AX_OK) return AX_OK;  // the run will say why
        if (readEntries(gzip.handle(), &members) != AX_OK || members.size() != 1 || !endsWithTar(members[0].name))
            return AX_OK;
    }
    const std::string directory = makePrivateDirectory("zar-");
    if (directory.empty()) return AX_WRITE_FAILED;
    // Flat (no -D), so the TAR lands in the directory whatever its stored path.
    const int16_t result = Ax4QUnZip(path_.c_str(), directory.c_str(), "*", "-.L");
    const std::string tar = directory + "/" + fs::path(members[0].name).filename().string();
    std::error_code ec;
    if (result != AX_OK || !fs::is_regular_file(tar, ec) || Ax4IdentifyFile(tar.c_str(), &kind) != AX_OK ||
        kind != AX_KIND_TAR) {
        fs::remove_all(directory, ec);
        return result;
    }
    tarDirectory_ = directory;
    path_ = tar;
    return AX_OK;
}

void ArchiveName::makeAbsolute() {
    std::error_code ec;
    fs::path absolute = fs::absolute(path_, ec);
    if (!ec) path_ = absolute.lexically_normal().string();
}

}  // namespace zar::cli
