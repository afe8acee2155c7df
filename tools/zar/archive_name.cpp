#include "archive_name.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "console.h"

namespace zar::cli {
namespace {

namespace fs = std::filesystem;

bool isFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
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
    name.path_ = name.shown_ = given + ".zip";
    return name;
}

ArchiveName ArchiveName::forWriting(const std::string& given) {
    ArchiveName name;
    name.path_ = name.shown_ = hasExtension(given) ? given : given + ".zip";
    return name;
}

ArchiveName::ArchiveName(ArchiveName&& other) noexcept
    : path_(std::move(other.path_)), shown_(std::move(other.shown_)),
      linkDirectory_(std::move(other.linkDirectory_)) {
    other.linkDirectory_.clear();
}

ArchiveName::~ArchiveName() {
    if (linkDirectory_.empty()) return;
    std::error_code ec;
    fs::remove_all(linkDirectory_, ec);
}

void ArchiveName::makeAbsolute() {
    std::error_code ec;
    fs::path absolute = fs::absolute(path_, ec);
    if (!ec) path_ = absolute.lexically_normal().string();
}

}  // namespace zar::cli
