// Uuencoded text and line ends: the layout of what the library writes, text
// from other encoders decoded exactly, numbered parts, hostile text, the
// line-end rules, and files that a failed run must leave as they were. The
// sharutils uuencode/uudecode and dos2unix/unix2dos judge both directions.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;
using zar::test::quote;
using zar::test::readBytes;
using zar::test::readText;
using zar::test::run;
using zar::test::Scratch;
using zar::test::writeBytes;
using zar::test::writeText;

std::vector<uint8_t> noise(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

class UuCode : public ::testing::Test {
protected:
    Scratch s;
};

TEST_F(UuCode, TheLayoutOfTheText) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string body;  // the lines between the header and the grave accent
    } cases[] = {
        {"empty", {}, ""},
        {"three zero bytes", {0, 0, 0}, "#````\r\n"},
        {"46 bytes", std::vector<uint8_t>(46, 'a'), "M" + [] {
             std::string g;
             for (int i = 0; i < 15; ++i) g += "86%A";
             return g;
         }() + "\r\n!80``\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(s / "data.bin", c.bytes);
        uint16_t parts = 0;
        ASSERT_EQ(Ax4UUEncode((s / "data.bin").c_str(), nullptr, 0, 0, &parts), 0);
        EXPECT_EQ(parts, 1);
        EXPECT_EQ(readText(s / "data.uue"), "begin 644 data.bin\r\n" + c.body + "`\r\nend\r\n" +
                                            std::to_string(c.bytes.size()) + "\r\n");
    }
    // Cut lines frame the text.
    uint16_t parts = 0;
    ASSERT_EQ(Ax4UUEncode((s / "data.bin").c_str(), (s / "framed.txt").c_str(), 0, 1, &parts), 0);
    const std::string framed = readText(s / "framed.txt");
    EXPECT_EQ(framed.rfind("BEGIN--", 0), 0u);
    EXPECT_NE(framed.find("\r\nEND--------------------CUT HERE-----------------cut here-----\r\n"), std::string::npos);
}

TEST_F(UuCode, RoundTripsThroughOtherEncodersAndDecoders) {
    for (size_t size : {0, 1, 2, 4, 45, 46, 1000, 100000}) {
        SCOPED_TRACE(size);
        const auto bytes = noise(size, static_cast<uint32_t>(size));
        writeBytes(s / "blob.bin", bytes);
        fsys::create_directories(s / "ours");
        fsys::create_directories(s / "theirs");

        // Ours, decoded by uudecode.
        uint16_t parts = 0;
        ASSERT_EQ(Ax4UUEncode((s / "blob.bin").c_str(), (s / "ours.uue").c_str(), 0, 0, &parts), 0);
        ASSERT_EQ(run("cd " + quote(s / "theirs") + " && uudecode " + quote(s / "ours.uue") + " 2>&1").status, 0);
        EXPECT_EQ(readBytes(s / "theirs/blob.bin"), bytes);

        // Theirs, without a size line, decoded by us to the exact length
        // (no padding bytes after the last line's count).
        ASSERT_EQ(run("uuencode " + quote(s / "blob.bin") + " blob.bin > " + quote(s / "theirs.uue")).status, 0);
        ASSERT_EQ(Ax4UUDecode((s / "theirs.uue").c_str(), (s / "ours").c_str()), 0);
        EXPECT_EQ(readBytes(s / "ours/blob.bin"), bytes);
        fsys::remove_all(s / "ours");
        fsys::remove_all(s / "theirs");
    }
}

TEST_F(UuCode, NumberedParts) {
    const auto bytes = noise(300000, 7);
    writeBytes(s / "big.bin", bytes);
    writeText(s / "big.3", std::string(500000, 'x'));  // an older, longer part 3
    uint16_t parts = 0;
    ASSERT_EQ(Ax4UUEncode((s / "big.bin").c_str(), nullptr, 100, 0, &parts), 0);  // 100 KB
    EXPECT_EQ(parts, 5);
    for (int i = 1; i <= parts; ++i) {
        const auto size = fsys::file_size(s / ("big." + std::to_string(i)));
        EXPECT_LT(size, 102400u) << i;
        if (i < parts) {
            EXPECT_GT(size, 102400u - 100) << i;
        }
    }
    fsys::create_directories(s / "out");
    ASSERT_EQ(Ax4UUDecode((s / "big.1").c_str(), (s / "out").c_str()), 0);
    EXPECT_EQ(readBytes(s / "out/big.bin"), bytes);

    // A missing part ends the decode, and no file is left.
    fsys::remove(s / "out/big.bin");
    fsys::remove(s / "big.3");
    EXPECT_EQ(Ax4UUDecode((s / "big.1").c_str(), (s / "out").c_str()), AX_SOME_ENTRIES_FAILED);
    EXPECT_FALSE(fsys::exists(s / "out/big.bin"));
    // More than 900 parts are refused before anything is written.
    EXPECT_EQ(Ax4UUEncode((s / "big.bin").c_str(), (s / "tiny").c_str(), 400, 0, &parts), 0);
    writeBytes(s / "huge.bin", std::vector<uint8_t>(1100 * 1024));
    EXPECT_EQ(Ax4UUEncode((s / "huge.bin").c_str(), (s / "many").c_str(), 1, 0, &parts), AX_TOO_LONG);
    EXPECT_FALSE(fsys::exists(s / "many.1"));
}

TEST_F(UuCode, HostileAndDamagedText) {
    struct Case {
        const char* what;
        std::string text;
        int16_t result;
    } cases[] = {
        {"no begin line", "hello\nworld\n", AX_UNKNOWN_KIND},
        {"no name", "begin 644\n`\nend\n", AX_UNKNOWN_KIND},
        {"a name that is only dots", "begin 644 ..\n`\nend\n", AX_UNKNOWN_KIND},
        {"a short line", "begin 644 x.bin\nM86%A\n`\nend\n", AX_SOME_ENTRIES_FAILED},
        {"a character outside the range", "begin 644 x.bin\n#86%{\n`\nend\n", AX_CRC_MISMATCH},
        {"no end of the data", "begin 644 x.bin\n#86%A\n", AX_SOME_ENTRIES_FAILED},
        {"a line of 300 characters", "begin 644 x.bin\n" + std::string(300, 'M') + "\n", AX_TOO_LONG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(s / "in.uue", c.text);
        fsys::create_directories(s / "out");
        writeText(s / "out/x.bin", "kept");
        EXPECT_EQ(Ax4UUDecode((s / "in.uue").c_str(), (s / "out").c_str()), c.result);
        EXPECT_EQ(readText(s / "out/x.bin"), "kept");  // never destroyed by a failed decode
    }
    // A name with directories lands in the output directory, by its last part.
    writeText(s / "in.uue", "begin 644 ../../etc/x.bin\r\n#86%A\r\n`\r\nend\r\n");
    ASSERT_EQ(Ax4UUDecode((s / "in.uue").c_str(), (s / "out").c_str()), 0);
    EXPECT_EQ(readText(s / "out/x.bin"), "aaa");
    // A last line without its end is still a line; old encoders end the data
    // with a blank instead of a grave accent.
    writeText(s / "in.uue", "begin 644 y.bin\n\"86$`\n \nend");
    ASSERT_EQ(Ax4UUDecode((s / "in").c_str(), (s / "out").c_str()), 0);
    EXPECT_EQ(readText(s / "out/y.bin"), "aa");
    EXPECT_EQ(Ax4UUDecode(nullptr, nullptr), AX_CANCELLED);
    uint16_t parts;
    EXPECT_EQ(Ax4UUEncode((s / "missing").c_str(), nullptr, 0, 0, &parts), AX_ACCESS_DENIED);
}

class LineEnds : public ::testing::Test {
protected:
    std::string convert(const std::string& input, bool toCrLf, bool endMark = false) {
        writeText(s / "in.txt", input);
        const int16_t r = toCrLf ? Ax4LfToCrLf((s / "in.txt").c_str(), (s / "out.txt").c_str(), endMark)
                                 : Ax4CrLfToLf((s / "in.txt").c_str(), (s / "out.txt").c_str());
        EXPECT_EQ(r, 0);
        return readText(s / "out.txt");
    }
    Scratch s;
};

TEST_F(LineEnds, TheRules) {
    EXPECT_EQ(convert("a\nb", true), "a\r\nb");
    EXPECT_EQ(convert("a\r\nb", true), "a\r\r\nb");
    EXPECT_EQ(convert("", true, true), "\x1a");
    EXPECT_EQ(convert("", true), "");
    EXPECT_EQ(convert("a\r\nb\rc\nd", false), "a\nb\nc\nd");
    EXPECT_EQ(convert(std::string("a\x1a") + "b", false), "a");
    // A CR ending one 128 KiB block and its LF starting the next give one LF.
    std::string across(131071, 'x');
    across += "\r\ny";
    EXPECT_EQ(convert(across, false), std::string(131071, 'x') + "\ny");
}

TEST_F(LineEnds, AgreeWithDosToolsAndConvertInPlace) {
    std::string sample;
    for (int i = 0; i < 20000; ++i) sample += "line " + std::to_string(i) + (i % 7 ? "\n" : "\n\n");
    writeText(s / "unix.txt", sample);
    ASSERT_EQ(Ax4LfToCrLf((s / "unix.txt").c_str(), (s / "dos.txt").c_str(), 0), 0);
    ASSERT_EQ(run("unix2dos -q -n " + quote(s / "unix.txt") + " " + quote(s / "theirs.txt")).status, 0);
    EXPECT_EQ(readBytes(s / "dos.txt"), readBytes(s / "theirs.txt"));
    ASSERT_EQ(Ax4CrLfToLf((s / "theirs.txt").c_str(), (s / "theirs.txt").c_str()), 0);  // onto itself
    EXPECT_EQ(readText(s / "theirs.txt"), sample);
    ASSERT_EQ(run("dos2unix -q " + quote(s / "dos.txt")).status, 0);
    EXPECT_EQ(readText(s / "dos.txt"), sample);
}

TEST_F(LineEnds, AFailedRunLeavesTheDestination) {
    writeText(s / "dest.txt", "precious");
    EXPECT_EQ(Ax4LfToCrLf((s / "missing.txt").c_str(), (s / "dest.txt").c_str(), 0), AX_ACCESS_DENIED);
    EXPECT_EQ(Ax4CrLfToLf((s / "missing.txt").c_str(), (s / "dest.txt").c_str()), AX_ACCESS_DENIED);
    EXPECT_EQ(readText(s / "dest.txt"), "precious");
    writeText(s / "in.txt", "a\n");
    EXPECT_EQ(Ax4LfToCrLf((s / "in.txt").c_str(), (s / "no-such-dir/out.txt").c_str(), 0), AX_WRITE_FAILED);
}

TEST(BasicHelpers, TakeValuesApart) {
    EXPECT_EQ(AxFarAddr(0x12345678u, 0x9ABCDEF0u), 0x5678DEF0u);
    EXPECT_EQ(AxLongHigh(0xFFFF0001u), 0xFFFFu);
    EXPECT_EQ(AxLongLow(0x00012345u), 0x00012345u);
    EXPECT_EQ(static_cast<uint16_t>(AxLongLow(0x00012345u)), 0x2345);
    EXPECT_EQ(VarSeg(0xABCD1234u), 0xABCDu);
    EXPECT_EQ(LSeg(0xABCD1234u), 0xABCD1234u);
    EXPECT_EQ(VarPtr(0xABCD1234u), 0xABCD1234u);
}

}  // namespace
