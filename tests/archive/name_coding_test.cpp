// The reading of stored names by flag and host, and the UTF-8 check that
// decides the flag of new names. (Names turned into UTF-8:
// name_coding_posix_test.cpp.)
#include "archive/name_coding.h"

#include <gtest/gtest.h>

#include "archive/zip_format.h"
#include "platform/platform.h"

namespace zar::archive {
namespace {

struct Utf8Case {
    const char* text;
    bool valid;
};

TEST(NameCoding, Utf8IsCheckedStrictly) {
    const Utf8Case cases[] = {
        {"", true},
        {"plain", true},
        {"caf\xc3\xa9", true},                  // é
        {"\xe6\x97\xa5\xe6\x9c\xac", true},      // two CJK characters
        {"\xf0\x9f\x93\xa6", true},              // U+1F4E6
        {"\xf4\x8f\xbf\xbf", true},              // U+10FFFF, the last
        {"caf\xe9", false},                      // Latin-1 é
        {"\xc3", false},                         // cut short
        {"\xe6\x97", false},                     // cut short
        {"\xc0\xaf", false},                     // overlong '/'
        {"\xe0\x80\xaf", false},                 // overlong '/'
        {"\xed\xa0\x80", false},                 // a surrogate
        {"\xf4\x90\x80\x80", false},             // past U+10FFFF
        {"\x80", false},                         // a lone continuation byte
        {"\xf8\x88\x80\x80\x80", false},         // five-byte form
    };
    for (const Utf8Case& c : cases) EXPECT_EQ(isValidUtf8(c.text), c.valid) << c.text;
}

TEST(NameCoding, NewNamesTakeTheFlagOnlyWhenNonAsciiUtf8) {
    EXPECT_FALSE(takesUtf8Flag("dir/plain.txt"));
    // Only where host names are UTF-8: Windows names are ANSI text and never take it.
    EXPECT_EQ(takesUtf8Flag("dir/caf\xc3\xa9.txt"), platform::namesAreUtf8());
    EXPECT_FALSE(takesUtf8Flag("dir/caf\xe9.txt"));  // bytes that are no UTF-8 go as they are
}

struct HostCase {
    HostSystem host;
    uint16_t flags;
    NameCoding coding;
};

TEST(NameCoding, FlagAndHostDecideTheReading) {
    const HostCase cases[] = {
        {HostSystem::Dos, 0, NameCoding::CodePage437},
        {HostSystem::Os2, 0, NameCoding::CodePage437},
        {HostSystem::WindowsNtfs, 0, NameCoding::CodePage437},
        {HostSystem::Mvs, 0, NameCoding::CodePage437},
        {HostSystem::Vfat, 0, NameCoding::CodePage437},
        {HostSystem::Unix, 0, NameCoding::Bytes},
        {HostSystem::MacOsX, 0, NameCoding::Bytes},
        {HostSystem::Dos, kFlagUtf8, NameCoding::Utf8},
        {HostSystem::Unix, kFlagUtf8, NameCoding::Utf8},
    };
    // Where host names are not UTF-8 (Windows) every stored name is OEM text,
    // read through the host's OEM-to-ANSI conversion, whatever flag and host.
    for (const HostCase& c : cases)
        EXPECT_EQ(nameCoding(c.flags, versionMadeBy(c.host, 20)),
                  platform::namesAreUtf8() ? c.coding : NameCoding::HostOem)
            << static_cast<int>(c.host);
}

}  // namespace
}  // namespace zar::archive
