// The commit of a writing run: a data file beside the archive is renamed over
// it; one from another directory is copied, and "another directory" is
// decided as the file system compares names. Named and anonymous data files
// alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/handles.h"
#include "common/scratch.h"
#include "fs/file_io.h"
#include "platform/platform.h"
#include "write/commit.h"

namespace {

using namespace zar;
namespace stdfs = std::filesystem;

TEST(Commit, RenamesOnlyFromTheArchivesOwnDirectory) {
    test::Scratch s;
    stdfs::create_directories(s / "Out");
    stdfs::create_directories(s / "out");  // the same directory where names ignore case
    const std::string content = "the new archive, long enough to be kept at close";
    struct Case {
        const char* dataDirectory;
        bool renamed;
    } cases[] = {
        {"Out", true},
        {"out", platform::namesIgnoreCase()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dataDirectory);
        const std::string name = s / "Out/a.zip";
        fs::FileHandle handle = fs::kInvalidFile;
        ASSERT_EQ(archive::openArchive(name.c_str(), archive::OpenMode::Create, &handle), kOk);
        archive::ArchiveHandle* a = archive::lookup(handle);
        ASSERT_NE(a, nullptr);

        fs::TempFile data = fs::TempFile::make(s / c.dataDirectory);
        ASSERT_TRUE(data.valid());
        const std::string dataName = data.name();
        test::writeText(dataName, content);
        ASSERT_EQ(write::commitArchive(*a, data, nullptr), kOk);
        // A renamed data file has become the archive; a copied one is still
        // there, its owner's to remove.
        EXPECT_EQ(!data.valid(), c.renamed);
        EXPECT_EQ(stdfs::exists(dataName), !c.renamed);
        // Closed first: where files have sharing modes, nobody else reads an
        // archive open for writing.
        handle = a->file;
        archive::closeArchive(&handle);
        const auto bytes = test::readBytes(name);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
        data.remove();
        stdfs::remove(name);
    }
}

#ifdef _WIN32
// A Windows scratch file is delete-on-close, which cannot be taken back: one
// that is to be named later is a named file from the start.
constexpr bool kNameableAnonymousFiles = false;
#else
constexpr bool kNameableAnonymousFiles = true;
#endif

// The data file as a run makes it: open, anonymous where the system allows,
// named elsewhere (here: where anonymous files are refused).
TEST(Commit, OpenDataFilesBesideAndElsewhere) {
    test::Scratch s;
    test::ScopedEnv tmpdir("TMPDIR", (s / "tmp").c_str());
    stdfs::create_directories(s / "tmp");
    stdfs::create_directories(s / "Out");
    const std::string content = "the new archive, long enough to be kept at close";
    for (const bool refused : {false, true}) {
        for (const bool beside : {true, false}) {
            SCOPED_TRACE(std::string(refused ? "named" : "anonymous") + (beside ? ", beside" : ", elsewhere"));
            const std::string name = s / "Out/a.zip";
            fs::FileHandle handle = fs::kInvalidFile;
            ASSERT_EQ(archive::openArchive(name.c_str(), archive::OpenMode::Create, &handle), kOk);
            archive::ArchiveHandle* a = archive::lookup(handle);
            ASSERT_NE(a, nullptr);

            platform::refuseAnonymousFiles(refused);
            fs::TempFile data = beside ? write::makeDataFile(*a) : fs::TempFile::makeScratch("", true);
            platform::refuseAnonymousFiles(false);
            ASSERT_TRUE(data.valid());
            EXPECT_EQ(data.anonymous(), !refused && kNameableAnonymousFiles);
            uint32_t done = 0;
            ASSERT_TRUE(platform::writeFile(data.file(), content.data(), static_cast<uint32_t>(content.size()), &done));
            ASSERT_EQ(write::commitArchive(*a, data, nullptr), kOk);
            // Put in the archive's place, the data file is gone; a copied one
            // stays its owner's until removed.
            EXPECT_EQ(data.valid(), !beside);
            data.remove();
            handle = a->file;
            archive::closeArchive(&handle);
            const auto bytes = test::readBytes(name);
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
            EXPECT_TRUE(stdfs::is_empty(s / "tmp"));
            EXPECT_EQ(std::vector<stdfs::path>(stdfs::directory_iterator(s / "Out"), {}),
                      std::vector<stdfs::path>{name});
            EXPECT_EQ(fs::tempRegistry().find("AZR"), std::string::npos);
            stdfs::remove(name);
        }
    }
}

// Copied over a hidden system archive (the system refuses to overwrite such a
// file unless told), the new bytes land and the archive keeps both bits.
TEST(Commit, CopiesOverAHiddenSystemArchive) {
    test::Scratch s;
    stdfs::create_directories(s / "Out");
    stdfs::create_directories(s / "tmp");
    // The dot makes the name hidden where hidden files are told by their names.
    const std::string name = s / "Out/.a.zip";
    const std::string content = "the new archive, long enough to be kept at close";
    for (const bool open : {true, false}) {
        SCOPED_TRACE(open ? "open data file" : "closed data file");
        test::writeText(name, std::string("PK\x05\x06", 4) + std::string(18, '\0'));  // an empty archive
        constexpr uint32_t kBits = platform::kAttrHidden | platform::kAttrSystem;
        ASSERT_TRUE(platform::setFileAttributes(name.c_str(), kBits | platform::kAttrArchive));
        fs::FileHandle handle = fs::kInvalidFile;
        ASSERT_EQ(archive::openArchive(name.c_str(), archive::OpenMode::ReadWrite, &handle), kOk);
        archive::ArchiveHandle* a = archive::lookup(handle);
        ASSERT_NE(a, nullptr);

        fs::TempFile data = open ? fs::TempFile::makeScratch(s / "tmp", true) : fs::TempFile::make(s / "tmp");
        ASSERT_TRUE(data.valid());
        if (open) {
            uint32_t done = 0;
            ASSERT_TRUE(platform::writeFile(data.file(), content.data(), static_cast<uint32_t>(content.size()), &done));
        } else {
            test::writeText(data.name(), content);
        }
        ASSERT_EQ(write::commitArchive(*a, data, nullptr), kOk);
        handle = a->file;
        archive::closeArchive(&handle);
        const auto bytes = test::readBytes(name);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
        EXPECT_EQ(platform::fileAttributes(name.c_str()) & kBits, kBits);
        data.remove();
        ASSERT_TRUE(platform::setFileAttributes(name.c_str(), platform::kAttrNormal));
        stdfs::remove(name);
    }
}

}  // namespace
