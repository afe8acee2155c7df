// Temporary files and their registry.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/scratch.h"
#include "fs/temp_files.h"
#include "platform/platform.h"

namespace {

using namespace zar;

class Registry : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* n : {"/r/a", "/r/b", "/r/c"}) fs::unregisterTempFile(n);
    }
};

TEST_F(Registry, KeepsTheOthersWhenOneIsRemoved) {
    ASSERT_EQ(fs::registerTempFile("/r/a"), kOk);
    ASSERT_EQ(fs::registerTempFile("/r/b"), kOk);
    ASSERT_EQ(fs::registerTempFile("/r/c"), kOk);
    EXPECT_EQ(fs::tempRegistry(), "\"/r/a\" \"/r/b\" \"/r/c\"");
    // Names compare as the file system compares them: "/R/B" is "/r/b" only
    // where it ignores case.
    EXPECT_EQ(fs::isRegisteredTempFile("/R/B"), platform::namesIgnoreCase());
    EXPECT_EQ(fs::unregisterTempFile("/R/B"), kOk);
    EXPECT_EQ(fs::isRegisteredTempFile("/r/b"), !platform::namesIgnoreCase());
    EXPECT_EQ(fs::unregisterTempFile("/r/b"), kOk);
    EXPECT_EQ(fs::tempRegistry(), "\"/r/a\" \"/r/c\"");
    EXPECT_TRUE(fs::isRegisteredTempFile("/r/c"));
    EXPECT_FALSE(fs::isRegisteredTempFile("/r/b"));

    EXPECT_EQ(fs::unregisterTempFile("/r/unknown"), kOk);
    EXPECT_EQ(fs::tempRegistry(), "\"/r/a\" \"/r/c\"");

    fs::unregisterTempFile("/r/a");
    fs::unregisterTempFile("/r/c");
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
    test::ScopedEnv tmpdir("TMPDIR", scratch.path().c_str());
    std::string name;
    {
        fs::TempFile temp = fs::TempFile::make();
        ASSERT_TRUE(temp.valid());
        name = temp.name();
        EXPECT_EQ(name.rfind(scratch / "AZR", 0), 0u) << name;
        EXPECT_TRUE(std::filesystem::exists(name));
        EXPECT_EQ(std::filesystem::file_size(name), 0u);
        EXPECT_TRUE(fs::isRegisteredTempFile(name.c_str()));
    }
    EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_FALSE(fs::isRegisteredTempFile(name.c_str()));
}

TEST(TempFiles, MissingDirectoryGivesNoName) {
    test::ScopedEnv tmpdir("TMPDIR", "/nonexistent/zarlib-test");
    EXPECT_TRUE(fs::makeTempFile().empty());
}

}  // namespace
