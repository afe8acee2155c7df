// Walking the central directory of archives made by independent tools (zip,
// Python's zipfile, 7z, bsdtar): every field as Python reports it. Runs the
// tools: POSIX only.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "common/run.h"
#include "common/scratch.h"
#include "directory_support.h"
#include "zarlib32.h"

namespace {

using zar::test::central::Directory;
using zar::test::central::Listed;
using zar::test::central::Listing;
using zar::test::central::listAll;

// What Python's zipfile reports of an archive, one line per entry:
// name, CRC, sizes, method, DOS date and time, attributes, create system, comment.
std::string pythonListing(const std::string& path) {
    const char* script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "for i in z.infolist():\n"
        "    y, mo, d, h, mi, s = i.date_time\n"
        "    date = (y - 1980) << 9 | mo << 5 | d\n"
        "    time = h << 11 | mi << 5 | s // 2\n"
        "    attrs = i.external_attr if i.create_system == 0 else 0\n"
        "    print(i.orig_filename.replace(chr(92), '/'), i.CRC, i.compress_size, i.file_size, i.compress_type,\n"
        "          date, time, attrs, i.comment.decode('latin-1'), sep='|')\n"
        "print('comment|' + z.comment.decode('latin-1'))\n";
    std::string scriptPath = path + ".py";
    zar::test::writeText(scriptPath, script);
    auto r = zar::test::run("python3 " + zar::test::quote(scriptPath) + " " + zar::test::quote(path));
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
}

std::string ourListing(AxHandle h) {
    std::ostringstream out;
    Listing l = listAll(h);
    EXPECT_EQ(l.result, AX_NOTHING_DONE);
    for (const Listed& e : l.entries)
        out << e.name << '|' << e.record.crc << '|' << e.record.packedSize << '|' << e.record.unpackedSize << '|'
            << e.record.method << '|' << e.record.date << '|' << e.record.time << '|'
            << e.record.externalAttributes << '|' << e.comment << '\n';
    char comment[65536];
    EXPECT_EQ(Ax4ZipComment(h, comment, sizeof comment), 0);
    out << "comment|" << comment << '\n';
    return out.str();
}

TEST_F(Directory, ArchivesOfIndependentToolsListAsTheyReportThem) {
    std::string src = scratch / "src";
    ASSERT_EQ(zar::test::run("mkdir -p " + src + "/sub && cd " + src + " && echo hello > a.txt && " +
                             "head -c 70000 /dev/zero > zeros.bin && seq 1 5000 > sub/numbers.txt && " +
                             "touch -d '2021-06-15 10:20:31' a.txt && touch -d '1999-12-31 23:59:58' sub/numbers.txt")
                  .status,
              0);
    struct Tool {
        const char* name;
        std::string command;
    } tools[] = {
        {"zip", "cd " + src + " && zip -q -r ../zip.zip . && printf 'archive note' | zip -q -z ../zip.zip"},
        {"zip from a pipe", "cd " + src + " && cat sub/numbers.txt | zip -q - - > ../pipe.zip"},
        {"zip forced zip64", "cd " + src + " && zip -q -fz ../fz.zip a.txt zeros.bin"},
        {"python", "cd " + src +
                       " && python3 -c \"import zipfile; z = zipfile.ZipFile('../py.zip', 'w', "
                       "zipfile.ZIP_DEFLATED); z.write('a.txt'); z.write('sub/numbers.txt'); "
                       "z.writestr('stored.txt', 'xyz', compress_type=zipfile.ZIP_STORED); "
                       "z.comment = b'py comment'; z.close()\""},
        {"7z", "cd " + src + " && 7z a -bd -bso0 ../7z.zip a.txt sub zeros.bin"},
        {"bsdtar", "cd " + src + " && bsdtar -a -cf ../bsd.zip a.txt sub zeros.bin"},
    };
    const char* outputs[] = {"zip.zip", "pipe.zip", "fz.zip", "py.zip", "7z.zip", "bsd.zip"};
    for (size_t i = 0; i < std::size(tools); ++i) {
        ASSERT_EQ(zar::test::run(tools[i].command).status, 0) << tools[i].name;
        std::string path = scratch / outputs[i];
        AxHandle h;
        ASSERT_EQ(Ax4ZipOpen(path.c_str(), AX_OPEN_READ, &h), 0) << tools[i].name;
        EXPECT_EQ(ourListing(h), pythonListing(path)) << tools[i].name;
        Ax4ZipClose(&h);
    }
}

}  // namespace
