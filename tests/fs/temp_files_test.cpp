// Temporary files and their registry: named ones registered while they last,
// open ones anonymous where the system allows and named and registered where
// it does not, and how each takes another file's place.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "fs/temp_files.h"
#include "platform/platform.h"

namespace {

using namespace zar;

// Registered names are full paths of this host: /r/a on POSIX, C:\r\a where
// paths have drives.
class Registry : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* n : {"a", "b", "c"}) fs::unregisterTempFile(path(n).c_str());
    }
    static std::string path(const char* name, bool upper = false) {
        std::string root = platform::pathsHaveDrives() ? "C:\\r\\" : "/r/";
        if (upper) root = platform::pathsHaveDrives() ? "C:\\R\\" : "/R/";
        return root + name;
    }
    static std::string quoted(std::initializer_list<const char*> names) {
        std::string out;
        for (const char* n : names) out += (out.empty() ? "\"" : " \"") + path(n) + "\"";
        return out;
    }
};

TEST_F(Registry, KeepsTheOthersWhenOneIsRemoved) {
    ASSERT_EQ(fs::registerTempFile(path("a").c_str()), kOk);
    ASSERT_EQ(fs::registerTempFile(path("b").c_str()), kOk);
    ASSERT_EQ(fs::registerTempFile(path("c").c_str()), kOk);
    EXPECT_EQ(fs::tempRegistry(), quoted({"a", "b", "c"}));
    // Names compare as the file system compares them: "/R/B" is "/r/b" only
    // where it ignores case.
    EXPECT_EQ(fs::isRegisteredTempFile(path("B", true).c_str()), platform::namesIgnoreCase());
    EXPECT_EQ(fs::unregisterTempFile(path("B", true).c_str()), kOk);
    EXPECT_EQ(fs::isRegisteredTempFile(path("b").c_str()), !platform::namesIgnoreCase());
    EXPECT_EQ(fs::unregisterTempFile(path("b").c_str()), kOk);
    EXPECT_EQ(fs::tempRegistry(), quoted({"a", "c"}));
    EXPECT_TRUE(fs::isRegisteredTempFile(path("c").c_str()));
    EXPECT_FALSE(fs::isRegisteredTempFile(path("b").c_str()));

    EXPECT_EQ(fs::unregisterTempFile(path("unknown").c_str()), kOk);
    EXPECT_EQ(fs::tempRegistry(), quoted({"a", "c"}));

    fs::unregisterTempFile(path("a").c_str());
    fs::unregisterTempFile(path("c").c_str());
    EXPECT_TRUE(fs::tempRegistry().empty());
}

TEST_F(Registry, HoldsFullPaths) {
    test::Scratch scratch;
    std::filesystem::current_path(scratch.path());
    ASSERT_EQ(fs::registerTempFile("sub/../x.zip"), kOk);
    EXPECT_TRUE(fs::isRegisteredTempFile((scratch / "x.zip").c_str()));
    EXPECT_EQ(fs::unregisterTempFile((scratch / "x.zip").c_str()), kOk);
    EXPECT_TRUE(fs::tempRegistry().empty());
}

TEST_F(Registry, EmptyNameIsRefused) { EXPECT_EQ(fs::registerTempFile(""), kPathNotFound); }

TEST(TempFiles, MadeInTheTemporaryDirectoryRegisteredAndRemoved) {
    test::Scratch scratch;
    test::ScopedTempDirectory tmpdir(scratch.path());
    std::string name;
    {
        fs::TempFile temp = fs::TempFile::make();
        ASSERT_TRUE(temp.valid());
        name = temp.name();
        EXPECT_EQ(std::filesystem::path(name).parent_path(), std::filesystem::path(scratch.path())) << name;
        EXPECT_EQ(std::filesystem::path(name).filename().string().rfind("AZR", 0), 0u) << name;
        EXPECT_TRUE(std::filesystem::exists(name));
        EXPECT_EQ(std::filesystem::file_size(name), 0u);
        EXPECT_TRUE(fs::isRegisteredTempFile(name.c_str()));
    }
    EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_FALSE(fs::isRegisteredTempFile(name.c_str()));
}

TEST(TempFiles, MissingDirectoryGivesNoName) {
    test::Scratch scratch;
    test::ScopedTempDirectory tmpdir(scratch / "nonexistent");
    EXPECT_TRUE(fs::makeTempFile().empty());
}

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> out;
    for (auto& entry : std::filesystem::directory_iterator(directory))
        out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string text(const std::string& path) {
    std::vector<uint8_t> bytes = test::readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool put(platform::FileHandle file, const std::string& bytes) {
    uint32_t done = 0;
    return platform::writeFile(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &done) &&
           done == bytes.size();
}

// Open temporary files, once as the system allows (anonymous here) and once
// on a volume that refuses anonymous files (named and registered). Windows'
// anonymous files (the system deletes them when their handle closes) have
// names too, registered while they last; and none is made to be named later.
class OpenTempFiles : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        platform::refuseAnonymousFiles(refused());
        for (const bool toBeNamed : {false, true}) {
            std::string name;
            platform::FileHandle probe =
                platform::createAnonymousFile(s.path(), "AZR", platform::kPrivateFile, toBeNamed, &name);
            anonymous[toBeNamed] = probe != platform::kInvalidFile;
            nameless[toBeNamed] = anonymous[toBeNamed] && name.empty();
            platform::closeFile(probe);
        }
    }
    void TearDown() override { platform::refuseAnonymousFiles(false); }
    bool refused() const { return GetParam(); }
    // What a file of the kind expected should look like.
    void expectKind(const fs::TempFile& temp, bool toBeNamed = false) {
        ASSERT_TRUE(temp.valid());
        ASSERT_NE(temp.file(), platform::kInvalidFile);
        EXPECT_EQ(temp.anonymous(), anonymous[toBeNamed]);
        if (nameless[toBeNamed]) {
            EXPECT_EQ(temp.name(), "");
            EXPECT_EQ(fs::tempRegistry(), "");
        } else {
            EXPECT_TRUE(std::filesystem::exists(temp.name()));
            EXPECT_TRUE(fs::isRegisteredTempFile(temp.name().c_str()));
        }
    }
    test::Scratch s;
    test::ScopedTempDirectory tmpdir{s / "tmp"};
    bool anonymous[2] = {false, false};  // by toBeNamed
    bool nameless[2] = {false, false};
};

TEST_P(OpenTempFiles, ScratchFilesLeaveNothing) {
    std::filesystem::create_directories(s / "tmp");
    {
        fs::TempFile temp = fs::TempFile::makeScratch();
        expectKind(temp);
        EXPECT_EQ(std::filesystem::path(temp.directory()), std::filesystem::path(s / "tmp/"));
        EXPECT_TRUE(put(temp.file(), "scratch"));
        EXPECT_EQ(namesIn(s / "tmp").size(), nameless[0] ? 0u : 1u);
        // Moved, it is still the one file.
        fs::TempFile moved = std::move(temp);
        EXPECT_FALSE(temp.valid());
        expectKind(moved);
        EXPECT_EQ(platform::fileSize(moved.file()), 7);
    }
    EXPECT_EQ(namesIn(s / "tmp"), std::vector<std::string>{});
    EXPECT_EQ(fs::tempRegistry(), "");
    // An anonymous file goes with its handle; a named one stays until removed.
    fs::TempFile temp = fs::TempFile::makeScratch(s.path());
    expectKind(temp);
    temp.close();
    EXPECT_EQ(temp.valid(), !anonymous[0]);
    temp.remove();
    EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"tmp"});
    EXPECT_EQ(fs::tempRegistry(), "");
    // Release hands over a named file; an anonymous one has nothing to hand.
    temp = fs::TempFile::makeScratch(s.path());
    const std::string released = temp.release();
    EXPECT_FALSE(temp.valid());
    EXPECT_EQ(released.empty(), anonymous[0]);
    if (!released.empty()) {
        fs::unregisterTempFile(released.c_str());
        std::filesystem::remove(released);
    }
    EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"tmp"});
    EXPECT_TRUE(fs::makeTempFile(s / "missing").empty());
    EXPECT_FALSE(fs::TempFile::makeScratch(s / "missing").valid());
}

// renameTo and replace put the file in its target's place, named by then;
// copyTo copies it and keeps it. Nothing else is left beside the target.
TEST_P(OpenTempFiles, TakingAnotherFilesPlace) {
    const std::string target = s / "target";
    test::writeText(target, "old");
    {
        fs::TempFile temp = fs::TempFile::makeOpen(s.path(), nullptr, platform::kAttrArchive);
        expectKind(temp, true);
        ASSERT_TRUE(put(temp.file(), "renamed"));
        ASSERT_TRUE(temp.renameTo(target.c_str()));
        EXPECT_FALSE(temp.valid());
    }
    EXPECT_EQ(text(target), "renamed");
    EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"target"});
    {
        fs::TempFile temp = fs::TempFile::makeScratch(s.path(), true);
        expectKind(temp, true);
        ASSERT_TRUE(put(temp.file(), "replaced"));
        ASSERT_TRUE(temp.replace(target.c_str()));
        EXPECT_FALSE(temp.valid());
    }
    EXPECT_EQ(text(target), "replaced");
    EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"target"});
    {
        fs::TempFile temp = fs::TempFile::makeScratch(s.path(), true);
        ASSERT_TRUE(put(temp.file(), "copied"));
        ASSERT_TRUE(temp.copyTo(target.c_str()));
        expectKind(temp, true);
    }
    EXPECT_EQ(text(target), "copied");
    EXPECT_EQ(namesIn(s.path()), std::vector<std::string>{"target"});
    // A failed rename (a directory stands in the way) leaves nothing behind.
    std::filesystem::create_directories(s / "dir/inside");
    {
        fs::TempFile temp = fs::TempFile::makeOpen(s.path(), nullptr, platform::kAttrArchive);
        ASSERT_TRUE(put(temp.file(), "in vain"));
        EXPECT_FALSE(temp.renameTo((s / "dir").c_str()));
    }
    EXPECT_EQ(namesIn(s.path()), (std::vector<std::string>{"dir", "target"}));
    EXPECT_EQ(fs::tempRegistry(), "");
}

INSTANTIATE_TEST_SUITE_P(Volumes, OpenTempFiles, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Named" : "AsTheSystemAllows";
                         });

}  // namespace
