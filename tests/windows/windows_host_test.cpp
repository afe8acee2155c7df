// The library as a Windows host sees it, through its exports: names stored in
// the OEM code page and given back in ANSI, DOS attributes kept and restored,
// entries matched ignoring case, an archive open for writing kept from other
// writers, temporary files in %TEMP% cleaned away, and the commit that either
// puts the whole new archive in place or leaves the old one.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using namespace zar;
namespace stdfs = std::filesystem;

// The attribute bits compared: Wine reports the archive bit on every file.
constexpr DWORD kDosBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The AZR files and folders in the system's temporary directory.
std::vector<std::string> temporaryItems() {
    char directory[MAX_PATH + 1];
    std::vector<std::string> out;
    if (::GetTempPathA(sizeof directory, directory) == 0) return out;
    std::error_code ec;
    for (const auto& entry : stdfs::directory_iterator(directory, ec))
        if (entry.path().filename().string().rfind("AZR", 0) == 0) out.push_back(entry.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// The names in `directory` in the ANSI code page, as the system gives them.
std::vector<std::string> ansiNames(const std::string& directory) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return out;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") out.push_back(name);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(out.begin(), out.end());
    return out;
}

// The stored names of the archive, as the enumeration gives them.
std::vector<std::string> entryNames(const std::string& archive) {
    std::vector<std::string> out;
    AxHandle h = AX_NO_ARCHIVE;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) != AX_OK) return out;
    CDR record;
    char name[261];
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == AX_OK;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
        out.push_back(name);
    Ax4ZipClose(&h);
    return out;
}

// A host that cancels the run at its first progress report.
int16_t AXAPI cancelAtProgress(StatusRecord record) {
    if (record.kind == AX_STATUS_PROGRESS) Ax4Cancel();
    return AX_ANSWER_OK;
}

class WindowsHost : public ::testing::Test {
protected:
    void SetUp() override { Ax4SetCPrint(0); }  // no message boxes: the fixed answers
    test::Scratch s;
};

// "café.txt" in the ANSI code page is stored in the OEM code page, without
// the UTF-8 flag, and comes back under its ANSI name: as the entry's own name
// (-.LR), or in the long-name block beside its 8.3 name (-.L on both sides).
TEST_F(WindowsHost, NamesAreStoredInOemAndExtractedInAnsi) {
    const std::string ansiName = "caf\xe9.txt";
    char oemName[] = "caf\xe9.txt";
    ::CharToOemBuffA(oemName, oemName, sizeof oemName - 1);
    stdfs::create_directory(s / "in");
    test::writeText(s / "in" + "/" + ansiName, "du caf\xe9");
    struct Case {
        const char* zipOptions;
        const char* unzipOptions;
        bool ownName;  // the entry's own name is the long one
    } cases[] = {{"-.LR", "", true}, {"-.L", "-.L", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zipOptions);
        const std::string archive = s / "names.zip";
        stdfs::remove(archive);
        ASSERT_EQ(Ax4QZip(archive.c_str(), (s / "in/*.*").c_str(), c.zipOptions), AX_OK);
        const std::string bytes = test::readText(archive);
        EXPECT_NE(bytes.find(oemName), std::string::npos) << ::testing::PrintToString(entryNames(archive));
        if (std::string(oemName) != ansiName) EXPECT_EQ(bytes.find(ansiName), std::string::npos);

        AxHandle h = AX_NO_ARCHIVE;
        ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h), AX_OK);
        CDR record;
        char name[261];
        ASSERT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0), AX_OK);
        EXPECT_EQ(record.flags & AX_FLAG_UTF8, 0);
        EXPECT_EQ(record.versionMadeBy >> 8, 0);  // made on DOS/Windows
        if (c.ownName) EXPECT_EQ(name, ansiName);  // hosts are given ANSI text
        Ax4ZipClose(&h);

        stdfs::remove_all(s / "out");
        ASSERT_EQ(Ax4QUnZip(archive.c_str(), (s / "out").c_str(), "*.*", c.unzipOptions), AX_OK);
        EXPECT_EQ(ansiNames(s / "out"), std::vector<std::string>{ansiName});
        EXPECT_EQ(test::readText(s / "out" + "/" + ansiName), "du caf\xe9");
    }
}

// Hidden, system and read-only files are admitted with -WHS, and their bits
// come back on extraction. (Wine reports the archive bit on every file, so
// only the other three are compared.)
TEST_F(WindowsHost, AttributesAreKeptAndRestored) {
    struct Case {
        const char* name;
        DWORD attributes;
    } cases[] = {
        {"hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
        {"system.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
        {"readonly.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
        {"all.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY},
        {"plain.txt", FILE_ATTRIBUTE_ARCHIVE},
    };
    stdfs::create_directory(s / "in");
    for (const Case& c : cases) {
        const std::string name = s / "in" + "/" + c.name;
        test::writeText(name, c.name);
        ASSERT_TRUE(::SetFileAttributesA(name.c_str(), c.attributes));
    }
    const std::string archive = s / "attributes.zip";
    ASSERT_EQ(Ax4QZip(archive.c_str(), (s / "in/*.*").c_str(), "-WHS"), AX_OK);
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), (s / "out").c_str(), "*.*", ""), AX_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = s / "out" + "/" + c.name;
        EXPECT_EQ(test::readText(name), c.name);
        EXPECT_EQ(::GetFileAttributesA(name.c_str()) & kDosBits, c.attributes & kDosBits);
    }
    // Without -WHS only the plain and the read-only file go in.
    const std::string plain = s / "plain.zip";
    ASSERT_EQ(Ax4QZip(plain.c_str(), (s / "in/*.*").c_str(), ""), AX_OK);
    std::vector<std::string> names = entryNames(plain);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"PLAIN.TXT", "READONLY.TXT"}));
}

// An entry and a file whose names differ only in case are one: adding
// replaces the entry, and an update compares their times.
TEST_F(WindowsHost, EntriesAndFilesMatchIgnoringCase) {
    stdfs::create_directory(s / "in");
    const std::string archive = s / "case.zip";
    test::writeText(s / "in/readme.txt", "first");
    ASSERT_EQ(Ax4QZip(archive.c_str(), (s / "in/readme.txt").c_str(), ""), AX_OK);
    stdfs::remove(s / "in/readme.txt");
    test::writeText(s / "in/README.TXT", "second, and longer");
    ASSERT_EQ(Ax4QZip(archive.c_str(), (s / "in/README.TXT").c_str(), ""), AX_OK);
    EXPECT_EQ(entryNames(archive).size(), 1u);
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), (s / "out").c_str(), "readme.txt", ""), AX_OK);
    EXPECT_EQ(test::readText(s / "out/readme.txt"), "second, and longer");

    // An older file does not update the entry; a newer one does.
    const std::string file = s / "in/README.TXT";
    test::writeText(file, "older");
    HANDLE handle = ::CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME old;
    old.dwHighDateTime = 0x01C00000;  // 1997
    old.dwLowDateTime = 0;
    ASSERT_TRUE(::SetFileTime(handle, nullptr, nullptr, &old));
    ::CloseHandle(handle);
    EXPECT_EQ(Ax4QZip(archive.c_str(), (s / "in/Readme.Txt").c_str(), "-U"), AX_OK);
    stdfs::remove_all(s / "out");
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), (s / "out").c_str(), "*.*", ""), AX_OK);
    EXPECT_EQ(test::readText(s / "out/readme.txt"), "second, and longer");

    test::writeText(s / "in/ReadMe.TXT", "third, newer");  // the same file, newer than the entry
    handle = ::CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME later;
    ::GetSystemTimeAsFileTime(&later);
    later.dwHighDateTime += 10;  // some five days on: newer whatever the DOS time's 2-second steps
    ASSERT_TRUE(::SetFileTime(handle, nullptr, nullptr, &later));
    ::CloseHandle(handle);
    EXPECT_EQ(Ax4QZip(archive.c_str(), (s / "in/README.txt").c_str(), "-U"), AX_OK);
    EXPECT_EQ(entryNames(archive).size(), 1u);
    stdfs::remove_all(s / "out");
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), (s / "out").c_str(), "*.*", ""), AX_OK);
    EXPECT_EQ(test::readText(s / "out/readme.txt"), "third, newer");
}

// An archive open for writing cannot be opened for writing a second time,
// by this process or another; reading it is still allowed.
TEST_F(WindowsHost, AWritableArchiveHasOneWriter) {
    const std::string archive = s / "shared.zip";
    test::writeText(s / "a.txt", "a");
    ASSERT_EQ(Ax4QZip(archive.c_str(), (s / "a.txt").c_str(), ""), AX_OK);
    AxHandle writer = AX_NO_ARCHIVE, second = AX_NO_ARCHIVE;
    const std::string bytes = test::readText(archive);
    ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_UPDATE, &writer), AX_OK);
    // The file is there, held by another writer: 105, never "no such file"
    // (102), and never taken for a new archive when the mode is decided.
    for (const int16_t mode : {AX_OPEN_UPDATE, AX_OPEN_READ, AX_OPEN_DECIDE}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(Ax4ZipOpen(archive.c_str(), mode, &second), AX_ACCESS_DENIED);
        EXPECT_EQ(second, AX_NO_ARCHIVE);
    }
    HANDLE other = ::CreateFileA(archive.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
    Ax4ZipClose(&writer);
    EXPECT_EQ(test::readText(archive), bytes);
    ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_UPDATE, &second), AX_OK);
    Ax4ZipClose(&second);
}

// Writing, deleting, zipping from memory and extracting leave nothing of
// theirs in the temporary directory.
TEST_F(WindowsHost, TemporaryFilesAreRemoved) {
    const std::vector<std::string> before = temporaryItems();
    stdfs::create_directory(s / "in");
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) test::writeText(s / "in/" + name, std::string(5000, *name));
    const std::string archive = s / "temp.zip";
    ASSERT_EQ(Ax4QZip(archive.c_str(), (s / "in/*.*").c_str(), ""), AX_OK);
    ASSERT_EQ(Ax4QZip(archive.c_str(), "b.txt", "-D"), AX_OK);
    AxHandle h = AX_NO_ARCHIVE;
    ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_UPDATE, &h), AX_OK);
    ASSERT_EQ(Ax4ZipPtr(&h, "from memory", 11, "memory.txt", ""), AX_OK);
    Ax4ZipClose(&h);
    ASSERT_EQ(Ax4QUnZip(archive.c_str(), (s / "out").c_str(), "*.*", ""), AX_OK);
    EXPECT_EQ(test::readText(s / "out/memory.txt"), "from memory");
    EXPECT_FALSE(stdfs::exists(s / "out/b.txt"));
    EXPECT_EQ(temporaryItems(), before);
}

// The commit: a run that fails (here: cancelled by the host) leaves the
// archive byte for byte as it was; one that succeeds leaves no file beside it
// and keeps the archive's attributes.
TEST_F(WindowsHost, TheCommitIsAllOrNothing) {
    stdfs::create_directory(s / "in");
    stdfs::create_directory(s / "box");
    test::writeText(s / "in/a.txt", std::string(100000, 'a'));
    const std::string archive = s / "box/atomic.zip";
    ASSERT_EQ(Ax4QZip(archive.c_str(), (s / "in/a.txt").c_str(), ""), AX_OK);
    ASSERT_TRUE(::SetFileAttributesA(archive.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const std::string original = test::readText(archive);

    test::writeText(s / "in/b.txt", std::string(100000, 'b'));
    Ax4SetCPrint(1);
    Ax4CPrintHook(cancelAtProgress);
    EXPECT_EQ(Ax4QZip(archive.c_str(), (s / "in/b.txt").c_str(), ""), AX_CANCELLED);
    Ax4CPrintHook(nullptr);
    Ax4SetCPrint(0);
    EXPECT_EQ(test::readText(archive), original);
    EXPECT_EQ(std::distance(stdfs::directory_iterator(s / "box"), stdfs::directory_iterator()), 1);

    ASSERT_EQ(Ax4QZip(archive.c_str(), (s / "in/b.txt").c_str(), ""), AX_OK);
    EXPECT_EQ(entryNames(archive).size(), 2u);
    EXPECT_EQ(::GetFileAttributesA(archive.c_str()) & kDosBits, DWORD{FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(std::distance(stdfs::directory_iterator(s / "box"), stdfs::directory_iterator()), 1);
}

}  // namespace
