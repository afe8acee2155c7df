// Password checks through the export and its Basic twin, on a file handle the
// host placed: a plain entry is passed without reading, a header cut by the
// end of the file is a short read. (Entries of independent tools:
// password_posix_test.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "common/scratch.h"
#include "common/zip_builder.h"
#include "common/zip_crypto.h"
#include "password_support.h"
#include "zarlib32.h"

namespace {

using zar::test::Scratch;
using zar::test::password::Entry;
using zar::test::password::firstEntry;
using zar::test::password::OpenFile;

std::string make(const Scratch& s, const std::string& name, const zar::test::ZipEntry& entry) {
    zar::test::ZipArchive zip;
    zip.entries.push_back(entry);
    zar::test::writeBytes(s / name, zip.bytes());
    return s / name;
}

TEST(Password, PlainEntryPassesWithoutReading) {
    Scratch s;
    const std::string archive = make(s, "p.zip", zar::test::entry("a.txt", "abc"));
    Entry e = firstEntry(archive);
    OpenFile file(archive);
    file.seek(5);
    EXPECT_EQ(Ax4ZipCheckPassword(file.get(), &e.record, nullptr), 0);
    EXPECT_EQ(file.seek(0, zar::platform::SeekFrom::Current), 5);
}

TEST(Password, ShortHeaderAndTheBasicTwin) {
    Scratch s;
    // Its header's check byte is the time's, as writers to a pipe make it.
    zar::test::ZipEntry streamed = zar::test::entry("a.txt", "some text to protect");
    streamed.flags = 8;
    streamed.time = 0xA5C3;
    const std::string archive = make(s, "e.zip", zar::test::encrypt(streamed, "pw"));
    Entry e = firstEntry(archive);
    OpenFile file(archive);
    file.seek(-5, zar::platform::SeekFrom::End);
    EXPECT_EQ(Ax4ZipCheckPassword(file.get(), &e.record, "pw"), AX_SHORT_READ);

    CDRVB32 basic{};
    basic.flags = e.record.flags;
    basic.crc = e.record.crc;
    basic.time = e.record.time;
    basic.packedSize = e.record.packedSize;
    file.seek(e.dataStart);
    EXPECT_EQ(Ax4ZipCheckPasswordVB32(file.get(), &basic, "pw"), 0);
    EXPECT_EQ(+basic.packedSize, +e.record.packedSize) << "the host's record keeps its size";
}

}  // namespace
