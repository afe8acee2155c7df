// Stored names of DOS hosts read into this host's form where that is UTF-8:
// code page 437 grows into UTF-8, and a name that would not fit keeps its
// stored bytes. POSIX only (Windows names are in the ANSI code page, byte for
// byte).
#include "archive/name_coding.h"

#include <gtest/gtest.h>

#include "archive/zip_format.h"

namespace zar::archive {
namespace {

TEST(NameCoding, ConversionThatWouldNotFitKeepsTheStoredBytes) {
    const uint16_t dos = versionMadeBy(HostSystem::Dos, 20);
    EXPECT_EQ(hostFormOfName("\x82t\x82", 0, dos, 10), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(hostFormOfName("\xb0\xb0\xb0\xb0", 0, dos, 11), "\xb0\xb0\xb0\xb0");  // 12 bytes as UTF-8
    EXPECT_EQ(hostFormOfName("\xb0", 0, dos, 3), "\xe2\x96\x91");
}

}  // namespace
}  // namespace zar::archive
