// Archive and entry comments, in the bytes the archive holds: a removed
// comment, bytes above 0x7F, and what is refused or fails (too long, an
// archive open for reading, an unknown handle, a failed write, no entries),
// leaving the archive as it was. (Every result as other readers see it:
// comments_posix_test.cpp.)
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <string>

#include "comments_support.h"
#include "common/scratch.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace {

using zar::test::readBytes;
using zar::test::comments::Comments;

// The bytes `ansi` is stored as: itself where names are bytes (POSIX); on
// Windows the same characters in the OEM code page.
std::string oemForm(const std::string& ansi) {
#ifdef _WIN32
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                          wide.data(), static_cast<int>(wide.size()))));
    std::string oem(wide.size() * 2, '\0');
    oem.resize(static_cast<size_t>(::WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()),
                                                         oem.data(), static_cast<int>(oem.size()), nullptr, nullptr)));
    return oem;
#else
    return ansi;
#endif
}

TEST_F(Comments, ArchiveCommentBytesAndRefusals) {
    // Null removes it: the file ends with the end record.
    EXPECT_EQ(newComment("short"), 0);
    EXPECT_EQ(newComment(nullptr), 0);
    auto bytes = readBytes(archive);
    ASSERT_GE(bytes.size(), 22u);
    EXPECT_EQ(bytes[bytes.size() - 22], 'P');
    EXPECT_EQ(bytes[bytes.size() - 21], 'K');
    // Bytes above 0x7F are stored as the code page has them, one each: on
    // Windows the host's ANSI text in the OEM code page.
    EXPECT_EQ(newComment("caf\xe9 \xfc\xfc\xfc!!"), 0);
    bytes = readBytes(archive);
    EXPECT_EQ(std::string(bytes.end() - 10, bytes.end()), oemForm("caf\xe9 \xfc\xfc\xfc!!"));

    const auto before = readBytes(archive);
    EXPECT_EQ(newComment(std::string(65536, 'x').c_str()), AX_TOO_LONG);
    EXPECT_EQ(newComment("x", AX_OPEN_READ), -23);
    EXPECT_EQ(readBytes(archive), before);
    EXPECT_EQ(Ax4ZipNewComment(12345, "x"), 106);
}

TEST_F(Comments, EntryCommentsRefusedOrFailedLeaveTheArchive) {
    const auto before = readBytes(archive);
    EXPECT_EQ(newFileComment("*.*", std::string(8192, 'c').c_str()), AX_TOO_LONG);
    EXPECT_EQ(newFileComment(std::string(260, 'p').c_str(), "c"), AX_TOO_LONG);
    // A write that fails half way leaves the archive as it was.
    zar::platform::failNthCall(zar::platform::Fault::Write, 3);
    EXPECT_NE(newFileComment("*.*", "fails"), 0);
    zar::platform::failNthCall(zar::platform::Fault::Write, 0);
    EXPECT_EQ(readBytes(archive), before);
    for (auto& f : std::filesystem::directory_iterator(s.path()))
        EXPECT_NE(f.path().filename().string().rfind("AZR", 0), 0u) << f.path();

    // An empty archive has no entries to comment.
    const std::string empty = s / "empty.zip";
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen(empty.c_str(), 3, &h), 0);
    EXPECT_EQ(Ax4ZipNewFileComment(&h, "*.*", "x"), 102);
    Ax4ZipClose(&h);
}

}  // namespace
