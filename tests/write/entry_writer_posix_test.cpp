// Archives of written entries checked by Info-ZIP unzip, Python's zipfile, 7z
// and bsdtar: every reader accepts them, and the encrypted entries extract to
// the original bytes. Runs the tools: POSIX only.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "entry_writer_support.h"
#include "zarlib32.h"

namespace {

using namespace zar;
using namespace zar::test::writer;
using zar::test::shortForm;

// A complete archive of written entries: every independent reader accepts
// it, and the encrypted entries extract to the original bytes.
TEST_F(EntryWriter, ArchiveOfWrittenEntriesPassesIndependentTools) {
    const std::string password = "open sesame";
    struct Item {
        std::string name;
        Bytes content;
        Options options;
    };
    const Options asIs = Options().names(true, true);  // names stored as given
    std::vector<Item> items = {
        {"stored.txt", prose(3000, 1), Options(asIs).at(0)},
        {"level1.txt", prose(80000, 2), Options(asIs).at(1)},
        {"level2.txt", prose(70000, 3), Options(asIs).at(2)},
        {"level3.txt", prose(65520, 4), Options(asIs).at(3)},
        {"level4.txt", prose(140000, 5), Options(asIs).at(4).versioned()},
        {"small.txt", prose(50, 6), Options(asIs).at(3)},
        {"random.bin", randomBytes(70000), Options(asIs).at(3)},
        {"empty.txt", {}, asIs},
        {"sub/inner.txt", prose(2000, 7), asIs},
        {"secret-deflated.txt", prose(90000, 8), Options(asIs).at(3).with(password)},
        {"secret-stored.bin", randomBytes(66000, 9), Options(asIs).at(4).with(password)},
        {"secret-level1.txt", prose(300, 10), Options(asIs).at(1).with(password)},
        {"secret-empty.txt", {}, Options(asIs).at(2).with(password)},
        {"Short-Form.txt", prose(100, 11), Options().at(2)},  // without long names
        // Stored, yet with the deflate setting's flag bits of level 1.
        {"tiny.txt", bytesOf("tiny\n"), Options(asIs).at(1)},
    };
    for (const Item& item : items) {
        ASSERT_EQ(writeFile("src/" + item.name, item.content, item.options).result, kOk) << item.name;
    }
    ASSERT_EQ(write(directoryRecord("src/emptydir/"), Options(asIs).at(4)).result, kOk);
    ASSERT_EQ(write(directoryRecord("src/lockeddir/"), Options(asIs).with(password)).result, kOk);
    const std::string zip = assemble("out.zip");
    using test::quote;

    auto unzipTest = test::run("unzip -t -P " + quote(password) + " " + quote(zip) + " 2>&1");
    EXPECT_EQ(unzipTest.status, 0) << unzipTest.output;
    EXPECT_NE(unzipTest.output.find("No errors detected"), std::string::npos) << unzipTest.output;

    const std::string py = "import sys, zipfile\n"
                           "z = zipfile.ZipFile(sys.argv[1])\n"
                           "z.setpassword(sys.argv[2].encode())\n"
                           "bad = z.testzip()\n"
                           "print('bad', bad) if bad else print('ok', len(z.infolist()))\n";
    test::writeText(scratch / "check.py", py);
    auto python = test::run("python3 " + quote(scratch / "check.py") + " " + quote(zip) + " " + quote(password) +
                            " 2>&1");
    EXPECT_EQ(python.status, 0) << python.output;
    EXPECT_EQ(python.output, "ok " + std::to_string(items.size() + 2) + "\n");

    auto sevenZip = test::run("7z t -bd -p" + quote(password) + " " + quote(zip) + " 2>&1");
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.output;
    EXPECT_NE(sevenZip.output.find("Everything is Ok"), std::string::npos) << sevenZip.output;

    auto bsdtar = test::run("bsdtar -tf " + quote(zip) + " 2>&1");
    EXPECT_EQ(bsdtar.status, 0) << bsdtar.output;
    for (const Item& item : items) {
        const std::string listedName = item.options.longNames ? "src/" + item.name : shortForm("src/" + item.name);
        EXPECT_NE(bsdtar.output.find(listedName + "\n"), std::string::npos) << listedName << "\n" << bsdtar.output;
    }
    // bsdtar reads the entries through their local headers: those must
    // carry the real sizes.
    auto bsdtarRead = test::run("bsdtar -xOf " + quote(zip) + " src/level1.txt | cksum");
    auto expected = test::run("cksum < " + quote(scratch / "src/level1.txt"));
    EXPECT_EQ(bsdtarRead.output, expected.output);

    const std::string out = scratch / "extracted";
    auto extract = test::run("unzip -q -P " + quote(password) + " " + quote(zip) + " -d " + quote(out) + " 2>&1");
    ASSERT_EQ(extract.status, 0) << extract.output;
    for (const Item& item : items) {
        const std::string name = item.options.longNames ? "src/" + item.name : shortForm("src/" + item.name);
        EXPECT_EQ(test::readBytes(out + "/" + name), item.content) << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(out + "/src/emptydir"));
}

}  // namespace
