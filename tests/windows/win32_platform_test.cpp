// The Win32 backend of the platform layer on the real services: sharing
// modes, DOS attributes, names that ignore case, the code-page conversions,
// temporary names, search, volumes, file versions and the atomic replace.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "platform/platform.h"

namespace {

using namespace zar;
namespace stdfs = std::filesystem;

// The AZR files in the system's temporary directory.
int temporaryFiles() {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : stdfs::directory_iterator(platform::tempDirectory(), ec))
        if (entry.path().filename().string().rfind("AZR", 0) == 0) ++count;
    return count;
}

TEST(Win32Files, AWriterSharingOnlyReadsKeepsOtherWritersOut) {
    test::Scratch s;
    const std::string name = s / "a.zip";
    test::writeText(name, "archive");
    using platform::Disposition;
    platform::FileHandle writer = platform::openFile(name.c_str(), platform::kAccessReadWrite, platform::kShareRead,
                                                     Disposition::OpenExisting, 0);
    ASSERT_NE(writer, platform::kInvalidFile);
    EXPECT_EQ(platform::openFile(name.c_str(), platform::kAccessReadWrite, platform::kShareReadWrite,
                                 Disposition::OpenExisting, 0),
              platform::kInvalidFile);
    platform::FileHandle reader = platform::openFile(name.c_str(), platform::kAccessRead, platform::kShareReadWrite,
                                                     Disposition::OpenExisting, 0);
    EXPECT_NE(reader, platform::kInvalidFile);
    platform::closeFile(reader);
    // A file nobody may share: not even a reader gets in.
    platform::closeFile(writer);
    writer = platform::openFile(name.c_str(), platform::kAccessReadWrite, platform::kShareNone,
                                Disposition::OpenExisting, 0);
    ASSERT_NE(writer, platform::kInvalidFile);
    EXPECT_EQ(platform::openFile(name.c_str(), platform::kAccessRead, platform::kShareReadWrite,
                                 Disposition::OpenExisting, 0),
              platform::kInvalidFile);
    platform::closeFile(writer);
}

TEST(Win32Files, DispositionsAndPositions) {
    test::Scratch s;
    const std::string name = s / "f.bin";
    using platform::Disposition;
    EXPECT_EQ(platform::openFile(name.c_str(), platform::kAccessRead, 0, Disposition::OpenExisting, 0),
              platform::kInvalidFile);
    platform::FileHandle f =
        platform::openFile(name.c_str(), platform::kAccessReadWrite, 0, Disposition::CreateNew, 0);
    ASSERT_NE(f, platform::kInvalidFile);
    uint32_t done = 0;
    ASSERT_TRUE(platform::writeFile(f, "0123456789", 10, &done));
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(platform::fileSize(f), 10);
    EXPECT_EQ(platform::seekFile(f, 4, platform::SeekFrom::Begin), 4);
    ASSERT_TRUE(platform::truncateFile(f));
    EXPECT_EQ(platform::fileSize(f), 4);
    EXPECT_EQ(platform::seekFile(f, -2, platform::SeekFrom::End), 2);
    char buffer[8] = {};
    ASSERT_TRUE(platform::readFile(f, buffer, sizeof buffer, &done));
    EXPECT_EQ(std::string(buffer, done), "23");
    platform::FileStamp before, after;
    ASSERT_TRUE(platform::fileStamp(f, &before));
    ASSERT_TRUE(platform::writeFile(f, "x", 1, &done));
    ASSERT_TRUE(platform::fileStamp(f, &after));
    EXPECT_NE(before, after);
    EXPECT_EQ(before.index, after.index);
    platform::closeFile(f);
    EXPECT_EQ(platform::openFile(name.c_str(), platform::kAccessReadWrite, 0, Disposition::CreateNew, 0),
              platform::kInvalidFile);
    // A directory is no file.
    EXPECT_EQ(platform::openFile(s.path().c_str(), platform::kAccessRead, platform::kShareReadWrite,
                                 Disposition::OpenExisting, 0),
              platform::kInvalidFile);
}

TEST(Win32Files, FaultHooksFailTheNthCall) {
    test::Scratch s;
    const std::string name = s / "f.bin";
    platform::FileHandle f = platform::openFile(name.c_str(), platform::kAccessReadWrite, 0,
                                                platform::Disposition::CreateAlways, 0);
    ASSERT_NE(f, platform::kInvalidFile);
    uint32_t done = 0;
    platform::failNthCall(platform::Fault::Write, 2);
    EXPECT_TRUE(platform::writeFile(f, "a", 1, &done));
    EXPECT_FALSE(platform::writeFile(f, "b", 1, &done));
    EXPECT_TRUE(platform::writeFile(f, "c", 1, &done));
    platform::failNthCall(platform::Fault::Allocate, 1);
    EXPECT_EQ(platform::allocateBlock(16), nullptr);
    void* block = platform::allocateBlock(65520);
    ASSERT_NE(block, nullptr);
    static_cast<char*>(block)[65519] = 1;
    platform::freeBlock(block);
    platform::closeFile(f);
}

TEST(Win32Attributes, DosBitsComeFromTheSystem) {
    test::Scratch s;
    const std::string name = s / "a.txt";
    test::writeText(name, "text");
    struct Case {
        uint32_t bits;
    } cases[] = {{platform::kAttrHidden}, {platform::kAttrSystem}, {platform::kAttrReadOnly},
                 {platform::kAttrHidden | platform::kAttrSystem | platform::kAttrReadOnly | platform::kAttrArchive},
                 {0}};
    // Wine reports the archive bit on every file: the other bits are compared.
    constexpr uint32_t kCompared = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrReadOnly;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        ASSERT_TRUE(platform::setFileAttributes(name.c_str(), c.bits));
        EXPECT_EQ(platform::fileAttributes(name.c_str()) & ~platform::kAttrArchive, c.bits & kCompared);
        EXPECT_EQ(::GetFileAttributesA(name.c_str()) & kCompared, c.bits & kCompared);
    }
    EXPECT_EQ(platform::fileAttributes(s.path().c_str()) & platform::kAttrDirectory, platform::kAttrDirectory);
    EXPECT_EQ(platform::fileAttributes((s / "missing").c_str()), platform::kInvalidAttributes);
    // No Unix modes on Windows.
    EXPECT_FALSE(platform::hasUnixModes());
    EXPECT_FALSE(platform::setFileModeOf(name.c_str(), 0644));
}

TEST(Win32Attributes, LastWriteTimesOfFilesAndDirectories) {
    test::Scratch s;
    const std::string name = s / "a.txt";
    test::writeText(name, "text");
    const uint64_t when = 132000000000000000ull;  // 2019
    for (const std::string& item : {name, s.path()}) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(platform::setFileTimeOf(item.c_str(), when));
        uint64_t got = 0;
        ASSERT_TRUE(platform::fileTimeOf(item.c_str(), &got));
        EXPECT_EQ(got, when);
    }
    platform::FileHandle f = platform::openFile(name.c_str(), platform::kAccessReadWrite, 0,
                                                platform::Disposition::OpenExisting, 0);
    ASSERT_NE(f, platform::kInvalidFile);
    ASSERT_TRUE(platform::setFileTime(f, when + 20000000));
    uint64_t got = 0;
    ASSERT_TRUE(platform::fileTime(f, &got));
    EXPECT_EQ(got, when + 20000000);
    platform::closeFile(f);
}

TEST(Win32Names, NamesIgnoreCaseAndHaveDrives) {
    EXPECT_TRUE(platform::namesIgnoreCase());
    EXPECT_FALSE(platform::namesAreUtf8());
    EXPECT_TRUE(platform::pathsHaveDrives());
    EXPECT_TRUE(platform::uncPathsNameShares());
    test::Scratch s;
    test::writeText(s / "ReadMe.txt", "text");
    EXPECT_NE(platform::fileAttributes((s / "README.TXT").c_str()), platform::kInvalidAttributes);
    platform::FileHandle f = platform::openFile((s / "readme.TXT").c_str(), platform::kAccessRead,
                                                platform::kShareReadWrite, platform::Disposition::OpenExisting, 0);
    EXPECT_NE(f, platform::kInvalidFile);
    platform::closeFile(f);
    const std::string full = platform::fullPath((s / "x/../ReadMe.txt").c_str());
    EXPECT_EQ(full.find(".."), std::string::npos) << full;
    EXPECT_EQ(full[1], ':');
    EXPECT_EQ(full.find('/'), std::string::npos) << full;
    char upper[] = "abc\xe9";
    platform::upperCase(upper);
    char expected[] = "abc\xe9";
    ::CharUpperBuffA(expected, 4);
    EXPECT_STREQ(upper, expected);
    EXPECT_EQ(upper[0], 'A');
}

TEST(Win32Names, OemAndAnsiAreTheSystemsAndInverse) {
    // "café" in the ANSI code page, and what the system makes of it in OEM.
    char text[] = "caf\xe9.txt";
    char oem[sizeof text];
    ::CharToOemBuffA(text, oem, sizeof text - 1);
    oem[sizeof text - 1] = '\0';
    platform::ansiToOem(text);
    EXPECT_STREQ(text, oem);
    if (::GetACP() == 1252 && ::GetOEMCP() == 437) EXPECT_EQ(text[3], '\x82');
    platform::oemToAnsi(text);
    EXPECT_STREQ(text, "caf\xe9.txt");
}

TEST(Win32Temporary, UniqueNamesInTheTemporaryDirectory) {
    char system[MAX_PATH + 1];
    ASSERT_NE(::GetTempPathA(sizeof system, system), 0u);
    const std::string directory = platform::tempDirectory();
    EXPECT_EQ(directory, system);
    const int before = temporaryFiles();
    const std::string file = platform::makeUniqueFile(directory, "AZR");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.rfind(directory + "AZR", 0), 0u) << file;
    EXPECT_EQ(stdfs::file_size(file), 0u);
    EXPECT_EQ(temporaryFiles(), before + 1);
    EXPECT_TRUE(platform::deleteFile(file.c_str()));

    const std::string folder = platform::makeUniqueDirectory(directory, "AZR");
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(stdfs::is_directory(folder));
    EXPECT_TRUE(platform::removeDirectory(folder.c_str()));

    std::string name;
    platform::FileHandle f = platform::createUniqueFile(directory, "AZR", platform::kAttrHidden, &name);
    ASSERT_NE(f, platform::kInvalidFile);
    EXPECT_EQ(platform::fileAttributes(name.c_str()) & platform::kAttrHidden, platform::kAttrHidden);
    platform::closeFile(f);
    EXPECT_TRUE(platform::setFileAttributes(name.c_str(), 0));
    EXPECT_TRUE(platform::deleteFile(name.c_str()));
    EXPECT_EQ(temporaryFiles(), before);
}

// A scratch file has a name on Windows, and the system removes it with its handle.
TEST(Win32Temporary, ScratchFilesGoWithTheirHandle) {
    const std::string directory = platform::tempDirectory();
    std::string name;
    platform::FileHandle f = platform::createAnonymousFile(directory, "AZR", platform::kPrivateFile, false, &name);
    ASSERT_NE(f, platform::kInvalidFile);
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(stdfs::exists(name));
    uint32_t done = 0;
    EXPECT_TRUE(platform::writeFile(f, "scratch", 7, &done));
    const std::string copy = directory + "zar-copy-of-scratch.bin";
    EXPECT_TRUE(platform::copyOpenFile(f, copy.c_str(), false));
    EXPECT_EQ(platform::seekFile(f, 0, platform::SeekFrom::Current), 7);  // the copy moved nothing
    EXPECT_EQ(test::readText(copy), "scratch");
    platform::deleteFile(copy.c_str());
    platform::closeFile(f);
    EXPECT_FALSE(stdfs::exists(name));
    // One that is to be named later cannot be one: the caller makes a named file.
    EXPECT_EQ(platform::createAnonymousFile(directory, "AZR", platform::kPrivateFile, true, &name),
              platform::kInvalidFile);
}

TEST(Win32Search, TheSystemMatchesAndNamesItems) {
    test::Scratch s;
    test::writeText(s / "One.TXT", "1");
    test::writeText(s / "two.txt", "22");
    test::writeText(s / "noext", "333");
    stdfs::create_directory(s / "sub");
    struct Case {
        const char* pattern;
        std::vector<std::string> names;
    } cases[] = {
        {"*.txt", {"One.TXT", "two.txt"}},
        {"*.*", {"One.TXT", "noext", "sub", "two.txt"}},
        {"o*", {"One.TXT"}},
        {"none*", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        std::vector<std::string> found;
        platform::FoundItem item;
        platform::Search* search = platform::findFirstFile((s / c.pattern).c_str(), &item);
        for (bool more = search != nullptr; more; more = platform::findNextFile(search, &item)) {
            found.push_back(item.name);
            if (item.name == "two.txt") EXPECT_EQ(item.size, 2u);
            if (item.name == "sub") EXPECT_EQ(item.attributes & platform::kAttrDirectory, platform::kAttrDirectory);
        }
        platform::findClose(search);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.names);
    }
    const auto ancestry = platform::directoryAncestry((s / "sub").c_str());
    ASSERT_GE(ancestry.size(), 2u);
    EXPECT_TRUE(ancestry[0].known());
    EXPECT_NE(ancestry[0], ancestry[1]);
}

TEST(Win32Volumes, DriveTypeFreeSpaceAndLabels) {
    test::Scratch s;
    EXPECT_EQ(platform::driveType(s.path().c_str()), platform::DriveType::Fixed);
    uint32_t room = 0;
    EXPECT_TRUE(platform::freeSpace(s.path().c_str(), &room));
    EXPECT_GT(room, 0u);
    // The label is the system's, whatever it is; where the system lets this
    // user write it (Wine may accept a label it keeps nowhere), what is read
    // afterwards is again what the system reports.
    const auto systemLabel = [&] {
        char root[MAX_PATH + 1], name[MAX_PATH + 1] = {};
        ::GetVolumePathNameA(s.path().c_str(), root, sizeof root);
        ::GetVolumeInformationA(root, name, sizeof name, nullptr, nullptr, nullptr, nullptr, 0);
        return std::string(name);
    };
    std::string label;
    ASSERT_TRUE(platform::volumeLabel(s.path().c_str(), &label));
    EXPECT_EQ(label, systemLabel());
    if (platform::setVolumeLabel(s.path().c_str(), "ZARTEST")) {
        std::string now;
        EXPECT_TRUE(platform::volumeLabel(s.path().c_str(), &now));
        EXPECT_EQ(now, systemLabel());
        EXPECT_TRUE(now == "ZARTEST" || now == label) << now;
        EXPECT_TRUE(platform::setVolumeLabel(s.path().c_str(), label.c_str()));
    } else {
        std::string now;
        EXPECT_TRUE(platform::volumeLabel(s.path().c_str(), &now));
        EXPECT_EQ(now, label);
    }
    EXPECT_FALSE(platform::volumeLabel("Q:\\nowhere", &label));
    const char letter = platform::currentDriveLetter();
    EXPECT_TRUE(letter >= 'A' && letter <= 'Z') << letter;
}

TEST(Win32Versions, SystemLibrariesHaveOnePlainFilesNone) {
    char system[MAX_PATH];
    ASSERT_NE(::GetSystemDirectoryA(system, sizeof system), 0u);
    uint8_t version[8] = {};
    ASSERT_TRUE(platform::fileVersion((std::string(system) + "\\kernel32.dll").c_str(), version));
    EXPECT_NE(std::string(reinterpret_cast<char*>(version), 8), std::string(8, '\0'));
    test::Scratch s;
    test::writeText(s / "plain.txt", "no resources");
    EXPECT_FALSE(platform::fileVersion((s / "plain.txt").c_str(), version));
}

TEST(Win32Locale, DateOrderFromTheLocale) {
    char order[4] = {};
    ASSERT_NE(::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDATE, order, sizeof order), 0);
    EXPECT_EQ(platform::localeDateOrder(), order[0] - '0');
    platform::setDateOrderOverride(2);
    EXPECT_EQ(platform::localeDateOrder(), 2);
    platform::setDateOrderOverride(-1);
}

TEST(Win32Time, LocalTimesAndCalendarRoundTrip) {
    const uint64_t when = 132000000000000000ull + 1234567;  // below a millisecond too
    uint64_t local = 0, back = 0;
    ASSERT_TRUE(platform::fileTimeToLocal(when, &local));
    ASSERT_TRUE(platform::localToFileTime(local, &back));
    EXPECT_EQ(back, when);
    platform::CalendarTime calendar;
    ASSERT_TRUE(platform::fileTimeToCalendar(when, &calendar));
    EXPECT_EQ(calendar.year, 2019);
    uint64_t again = 0;
    ASSERT_TRUE(platform::calendarToFileTime(calendar, &again));
    EXPECT_EQ(again, when - when % 10000);
    calendar.month = 13;
    EXPECT_FALSE(platform::calendarToFileTime(calendar, &again));
}

// The commit: the new file takes the old one's place and its attributes in
// one step, a read-only one too; a failed replace leaves the target whole.
TEST(Win32Replace, TakesThePlaceAndTheAttributesOfTheTarget) {
    test::Scratch s;
    struct Case {
        uint32_t attributes;
    } cases[] = {{platform::kAttrArchive}, {platform::kAttrHidden | platform::kAttrArchive},
                 {platform::kAttrReadOnly | platform::kAttrArchive}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        const std::string target = s / "a.zip", replacement = s / "AZR1.tmp";
        test::writeText(target, "old");
        ASSERT_TRUE(platform::setFileAttributes(target.c_str(), c.attributes));
        test::writeText(replacement, "new archive");
        ASSERT_TRUE(platform::replaceFile(replacement.c_str(), target.c_str()));
        EXPECT_EQ(test::readText(target), "new archive");
        EXPECT_EQ(platform::fileAttributes(target.c_str()) & ~platform::kAttrArchive,
                  c.attributes & ~platform::kAttrArchive);
        EXPECT_FALSE(stdfs::exists(replacement));
        // A missing replacement changes nothing.
        EXPECT_FALSE(platform::replaceFile(replacement.c_str(), target.c_str()));
        EXPECT_EQ(test::readText(target), "new archive");
        ASSERT_TRUE(platform::setFileAttributes(target.c_str(), 0));
        stdfs::remove(target);
    }
}

// Message boxes go to the test's stand-in; the message peek returns.
TEST(Win32Ui, DialogOverrideAndMessagePeek) {
    platform::setDialogOverride([](const char*, const char*, uint32_t style) {
        return style == platform::kBoxYesNoCancel ? platform::kAnswerNo : platform::kAnswerOk;
    });
    EXPECT_EQ(platform::messageBox("Overwrite?", "zarlib32", platform::kBoxYesNoCancel), platform::kAnswerNo);
    platform::setDialogOverride(nullptr);
    ::PostThreadMessageA(::GetCurrentThreadId(), WM_USER, 0, 0);
    platform::peekMessages();
    MSG message;
    EXPECT_FALSE(::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
}

}  // namespace
