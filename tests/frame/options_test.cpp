// The zip and unzip option parsers in both syntaxes: every letter, its
// sub-letters, conflicts and errors, the parse place, passwords and dates.
#include <gtest/gtest.h>

#include <time.h>

#include <cstring>
#include <string>

#include "frame/options.h"
#include "frame/run_state.h"
#include "platform/platform.h"

namespace {

using namespace zar;
using namespace zar::frame;

constexpr uint16_t kNoPlace = 65535;
constexpr uint32_t kMv = kZipMultiVolume;

// Restores the process-wide settings a test changes.
class Options : public ::testing::Test {
protected:
    void TearDown() override {
        setSecondParseType(false);
        platform::setDateOrderOverride(-1);
    }
};

struct ZipCase {
    int type;
    const char* text;
    Result result;
    uint32_t flags;
    uint16_t place = kNoPlace;
    uint16_t level = kDefaultLevel;
    uint32_t preset = 0;
};

std::ostream& operator<<(std::ostream& out, const ZipCase& c) {
    return out << "type " << c.type << " \"" << (c.text ? c.text : "(null)") << "\"";
}

const ZipCase kZipCases[] = {
    // Empty strings, blanks, introducers.
    {0, nullptr, kOk, 0},
    {0, "", kOk, 0},
    {0, "   ", kOk, 0},
    {0, "  -R  ", kOk, kZipRecurse},
    {0, "/R", kOk, kZipRecurse},
    {0, "\xA0-R\xFF", kOk, kZipRecurse},  // bytes above 127 are blanks
    {0, "R", kBadOption, 0, 1},
    {0, "-R junk", kBadOption, kZipRecurse, 4},
    {0, "-", kBadOption, 0, 1},
    {0, "-X", kBadOption, 0, 2},
    {0, "-R -X -M", kBadOption, kZipRecurse, 5},  // what was parsed stays
    {1, "R", kBadOption, 0, 1},
    {1, "-R junk", kBadOption, kZipRecurse, 4},   // "-j" with no attribute letter
    // -$ (the drive is checked separately)
    {0, "-$", kOk, kZipVolumeLabel},
    {0, "-$ -$", kOptionConflict, kZipVolumeLabel, 5},
    // -.
    {0, "-.C", kOk, 0},
    {0, "-.D", kOk, kZipStoreDrive},
    {0, "-.L", kOk, kZipLongNames},
    {0, "-.LR", kOk, kZipLongNames | kZipLongNamesAsIs},
    {0, "-.lr", kOk, kZipLongNames | kZipLongNamesAsIs},
    {0, "-.Q", kOk, kZipAskReplace},
    {0, "-.V", kOk, kZipVersionBlock},
    {0, "-.R", kOk, 0},  // cleared without -M
    {0, "-.R -M", kOk, kZipMoveReadOnly | kZipMove},
    {0, "-.X", kBadOption, 0, 3},
    {0, "-.", kBadOption, 0, 2},
    {1, "-.lrr", kOk, kZipLongNames | kZipLongNamesAsIs | kZipRecurse},
    // -A and -M
    {0, "-A", kOk, 0},
    {0, "-A+", kOk, kZipClearArchiveBit},
    {0, "-M -A+", kOptionConflict, kZipMove, 6},
    {0, "-A+ -M", kOk, kZipMove},  // the move loses the archive bit clearing
    {0, "-M", kOk, kZipMove},
    // -D, -F, -U and the multi-volume refusal
    {0, "-D", kOk, kZipDelete},
    {0, "-d -u", kOptionConflict, kZipDelete, 5},
    {0, "-D -F", kOptionConflict, kZipDelete, 5},
    {0, "-F -D", kOptionConflict, kZipFreshen, 5},
    {0, "-U -D", kOptionConflict, kZipUpdate, 5},
    {0, "-U -F", kOptionConflict, kZipUpdate, 5},
    {0, "-F -U", kOk, kZipUpdate},
    {0, "-D", kNotOnThisKind, kMv, 2, kDefaultLevel, kMv},
    {0, "-F", kNotOnThisKind, kMv, 2, kDefaultLevel, kMv},
    {0, "-U", kNotOnThisKind, kMv, 2, kDefaultLevel, kMv},
    {0, "-R", kOk, kMv | kZipRecurse, kNoPlace, kDefaultLevel, kMv},
    {1, "-fd", kOptionConflict, kZipFreshen, 3},
    // -E, type 0
    {0, "-ET", kOk, 0, kNoPlace, 0},
    {0, "-ED", kOk, 0, kNoPlace, 3},
    {0, "-ED0", kOk, 0, kNoPlace, 1},
    {0, "-ED1", kOk, 0, kNoPlace, 2},
    {0, "-ED2", kOk, 0, kNoPlace, 3},
    {0, "-ED3", kOk, 0, kNoPlace, 4},
    {0, "-ED7", kBadOption, 0, 4, 3},
    {0, "-EC", kOk, 0, kNoPlace, 5},
    {0, "-EI", kOk, 0, kNoPlace, 6},
    {0, "-EH", kOk, 0, kNoPlace, 7},
    {0, "-EM", kOk, 0, kNoPlace, 8},
    {0, "-es", kOk, 0, kNoPlace, 9},
    {0, "-EX", kBadOption, 0, 3},
    {0, "-E", kBadOption, 0, 2},
    // -E, type 1
    {1, "-e0", kOk, 0, kNoPlace, 0},
    {1, "-es", kOk, 0, kNoPlace, 1},
    {1, "-ef", kOk, 0, kNoPlace, 2},
    {1, "-en", kOk, 0, kNoPlace, 3},
    {1, "-ex", kOk, 0, kNoPlace, 4},
    {1, "-etc", kOk, 0, kNoPlace, 5},
    {1, "-eti", kOk, 0, kNoPlace, 6},
    {1, "-ETH", kOk, 0, kNoPlace, 7},
    {1, "-etm", kOk, 0, kNoPlace, 8},
    {1, "-ets", kOk, 0, kNoPlace, 9},
    {1, "-etx", kBadOption, 0, 4},
    {1, "-et", kBadOption, 0, 3},
    {1, "-ed", kBadOption, 0, 3},
    {1, "-exr", kOk, kZipRecurse, kNoPlace, 4},
    {1, "-ex r", kOk, kZipRecurse, kNoPlace, 4},
    // -I
    {0, "-I", kOk, kZipArchiveBitOnly | kZipClearArchiveBit},
    {0, "-I-", kOk, kZipArchiveBitOnly},
    {0, "-A+ -I-", kOk, kZipArchiveBitOnly},
    {0, "-I -M", kOk, kZipArchiveBitOnly | kZipMove},
    {1, "-i-r", kOk, kZipArchiveBitOnly | kZipRecurse},
    // -J, type 0: letters up to the next space
    {0, "-JHSRN", kOk, kZipOmitHidden | kZipOmitSystem | kZipOmitReadOnly | kZipOmitNormal},
    {0, "-jh", kOk, kZipOmitHidden},
    {0, "-JR -R", kOk, kZipOmitReadOnly | kZipRecurse},
    {0, "-J", kBadOption, 0, 2},
    {0, "-J -R", kBadOption, 0, 2},
    {0, "-JHX", kBadOption, kZipOmitHidden, 4},
    // -j, type 1: lower case only, letters while they come
    {1, "-jhsrn", kOk, kZipOmitHidden | kZipOmitSystem | kZipOmitReadOnly | kZipOmitNormal},
    {1, "-jsm", kOk, kZipOmitSystem | kZipMove},
    {1, "-j", kBadOption, 0, 2},
    {1, "-JH", kBadOption, 0, 2},
    // -K and -O
    {0, "-K", kOk, kZipKeepArchiveTime},
    {0, "-O", kOk, kZipNewestTime},
    {0, "-K -O", kOptionConflict, kZipKeepArchiveTime, 5},
    {0, "-O -K", kOptionConflict, kZipNewestTime, 5},
    // -N, -P, -R
    {0, "-N", kOk, kZipFullPaths},
    {0, "-P", kOk, 0},  // cleared without -R
    {0, "-P -R", kOk, kZipRelativePaths | kZipRecurse},
    {0, "-r", kOk, kZipRecurse},
    {1, "-N", kBadOption, 0, 2},
    {1, "-P", kOk, kZipFullPaths},
    {1, "-p", kOk, 0},
    {1, "-rp", kOk, kZipRecurse | kZipRelativePaths},
    {1, "-r  p", kOk, kZipRecurse | kZipRelativePaths},
    {1, "-rPm", kOk, kZipRecurse | kZipFullPaths | kZipMove},
    // -T without A or B (dates are checked separately)
    {0, "-T", kBadOption, 0, 2},
    {0, "-TX", kBadOption, 0, 3},
    // -W, type 0: letters up to the next space
    {0, "-WH", kOk, kZipAdmitHidden},
    {0, "-ws", kOk, kZipAdmitSystem},
    {0, "-WHS", kOk, kZipAdmitHidden | kZipAdmitSystem},
    {0, "-W", kOk, 0},
    {0, "-W -R", kOk, kZipRecurse},
    {0, "-WX", kBadOption, 0, 3},
    // -w, type 1: lower case only, at least one of H and S
    {1, "-wh", kOk, kZipAdmitHidden},
    {1, "-whsr", kOk, kZipAdmitHidden | kZipAdmitSystem | kZipRecurse},
    {1, "-w", kBadOption, 0, 2},
    {1, "-wh -w", kOk, kZipAdmitHidden},  // the bits of an earlier -w count
    {1, "-WH", kBadOption, 0, 2},
};

class ZipOptions : public Options, public ::testing::WithParamInterface<ZipCase> {};

TEST_P(ZipOptions, Parse) {
    const ZipCase& c = GetParam();
    setSecondParseType(c.type == 1);
    OptionSet o;
    o.flags = c.preset;
    EXPECT_EQ(zipOptions(c.text, o), c.result);
    EXPECT_EQ(o.flags, c.flags) << std::hex << o.flags;
    EXPECT_EQ(parsePlace(), c.place);
    EXPECT_EQ(o.level, c.level);
}

INSTANTIATE_TEST_SUITE_P(Table, ZipOptions, ::testing::ValuesIn(kZipCases));

struct UnzipCase {
    int type;
    const char* text;
    Result result;
    uint32_t flags;
    uint16_t place = kNoPlace;
};

std::ostream& operator<<(std::ostream& out, const UnzipCase& c) {
    return out << "type " << c.type << " \"" << (c.text ? c.text : "(null)") << "\"";
}

constexpr uint32_t kAttr = kUnzipAttributeBits;

const UnzipCase kUnzipCases[] = {
    {0, nullptr, kOk, 0},
    {0, "", kOk, 0},
    {0, "-D", kOk, kUnzipDirectories},
    {0, "-$", kOk, kUnzipVolumeLabel},
    {0, "-$ -$", kOptionConflict, kUnzipVolumeLabel, 5},
    {0, "-.D", kOk, kUnzipKeepDrive},
    {0, "-.L", kOk, kUnzipLongNames},
    {0, "-.O", kOk, kUnzipSkipSilently},
    {0, "-.V", kOk, kUnzipVersionNewer},
    {0, "-.VE", kOk, kUnzipVersionNewerOrEqual},
    {0, "-.ve", kOk, kUnzipVersionNewerOrEqual},
    {0, "-.C", kBadOption, 0, 3},
    {0, "-.", kBadOption, 0, 2},
    {0, "-F", kOk, kUnzipFreshen},
    {0, "-N", kOk, kUnzipUpdate},
    {0, "-F -N", kOk, kUnzipUpdate},
    {0, "-N -F", kOptionConflict, kUnzipUpdate, 5},
    {0, "-JHSRN", kOk, kAttr},
    {0, "-JS", kOk, kUnzipNoSystem},
    {0, "-J", kBadOption, 0, 2},
    {0, "-JQ", kBadOption, 0, 3},
    {0, "-O", kOk, kUnzipOverwrite},
    {0, "-O-", kOk, kUnzipNeverOverwrite},
    {0, "-O -O-", kOk, kUnzipNeverOverwrite},
    {0, "-O- -O", kOk, kUnzipOverwrite},
    {0, "-O -F", kOk, kUnzipFreshen},  // freshen and update drop the overwrite choice
    {0, "-O- -N", kOk, kUnzipUpdate},
    {0, "-O -N -X", kBadOption, kUnzipOverwrite | kUnzipUpdate, 8},  // not without success
    {0, "-R+", kOk, kUnzipMakeWritable},
    {0, "-R-", kOk, kUnzipKeepReadOnly},
    {0, "-R+ -R", kOk, 0},
    {0, "-R- -R+", kOk, kUnzipMakeWritable},
    {0, "-R+ -R-", kOk, kUnzipKeepReadOnly},
    {0, "-T", kOk, kUnzipTest},
    {0, "-t", kOk, kUnzipTest},
    {0, "-X", kBadOption, 0, 2},
    {0, "-E", kBadOption, 0, 2},  // zip letters are unknown here
    {0, "-DT", kBadOption, kUnzipDirectories, 3},
    // Type 1: the attribute bits are set first; upper-case -J clears them.
    {1, nullptr, kOk, kAttr},
    {1, "", kOk, kAttr},
    {1, "-J", kBadOption, kAttr, 2},
    {1, "-JHSRN", kOk, 0},
    {1, "-JH", kOk, kAttr & ~kUnzipNoHidden},
    {1, "-jh", kBadOption, kAttr, 2},
    {1, "-t", kOk, kAttr | kUnzipTest},
    {1, "-T", kBadOption, kAttr, 2},
    {1, "-dto-", kOk, kAttr | kUnzipDirectories | kUnzipTest | kUnzipNeverOverwrite},
    {1, "-JNd", kOk, (kAttr & ~kUnzipNoNormal) | kUnzipDirectories},
    {1, "D", kBadOption, kAttr, 1},
};

class UnzipOptions : public Options, public ::testing::WithParamInterface<UnzipCase> {};

TEST_P(UnzipOptions, Parse) {
    const UnzipCase& c = GetParam();
    setSecondParseType(c.type == 1);
    uint32_t flags = 0;
    char password[kPasswordSize] = "old";
    EXPECT_EQ(unzipOptions(c.text, flags, password), c.result);
    EXPECT_EQ(flags, c.flags) << std::hex << flags;
    EXPECT_EQ(parsePlace(), c.place);
    EXPECT_STREQ(password, "");
}

INSTANTIATE_TEST_SUITE_P(Table, UnzipOptions, ::testing::ValuesIn(kUnzipCases));

struct PasswordCase {
    int type;
    const char* text;
    Result result;
    const char* password;
    bool flagged;
    uint16_t place = kNoPlace;
};

const PasswordCase kPasswordCases[] = {
    {0, "-S/two words/", kOk, "two words", true},
    {0, "-Sxabcx -R", kOk, "abc", true},
    {0, "-S\"q u\"", kOk, "q u", true},
    {0, "-S/a/-R", kOk, "a", true},
    {0, "-S", kBadOption, "", false, 2},
    {0, "-S/abc", kBadOption, "", false, 6},
    {0, "-S//", kBadOption, "", false, 4},
    {0, "-S/a/ -S/b/", kOptionConflict, "a", true, 8},
    {1, "-S\"two words\"", kOk, "two words", true},
    {1, "-Sabc -Sdef", kOk, "def", false},  // unquoted: the later wins
    {1, "-Sabc -r", kOk, "abc", false},
    {1, "-Sb -S\"a\"", kOk, "a", true},
    {1, "-S\"a\" -S\"b\"", kOptionConflict, "a", true, 8},
    {1, "-S\"a\" -Sb", kOptionConflict, "a", true, 8},
    {1, "-S\"abc", kBadOption, "", false, 6},
    {1, "-S\"\"", kBadOption, "", false, 4},
    {1, "-S", kBadOption, "", false, 2},
};

class Passwords : public Options, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(Passwords, ZipAndUnzip) {
    const PasswordCase& c = GetParam();
    setSecondParseType(c.type == 1);
    OptionSet o;
    EXPECT_EQ(zipOptions(c.text, o), c.result) << c.text;
    EXPECT_STREQ(o.password, c.password);
    EXPECT_EQ((o.flags & kZipPassword) != 0, c.flagged);
    EXPECT_EQ(parsePlace(), c.place);

    uint32_t flags = 0;
    char password[kPasswordSize];
    EXPECT_EQ(unzipOptions(c.text, flags, password), c.result) << c.text;
    EXPECT_STREQ(password, c.password);
    EXPECT_EQ((flags & kUnzipPassword) != 0, c.flagged);
}

INSTANTIATE_TEST_SUITE_P(Table, Passwords, ::testing::ValuesIn(kPasswordCases));

TEST_F(Options, LongestPasswordFits) {
    std::string secret(123, 'p');
    std::string text = "-S/" + secret + "/";
    ASSERT_EQ(text.size(), 127u);
    OptionSet o;
    EXPECT_EQ(zipOptions(text.c_str(), o), kOk);
    EXPECT_EQ(o.password, secret);
}

TEST_F(Options, StringOf128CharactersIsTooLong) {
    std::string ok = "-R" + std::string(125, ' ');
    OptionSet o;
    EXPECT_EQ(zipOptions(ok.c_str(), o), kOk);
    EXPECT_EQ(o.flags, kZipRecurse);
    std::string tooLong = ok + " ";
    OptionSet p;
    EXPECT_EQ(zipOptions(tooLong.c_str(), p), kTooLong);
    EXPECT_EQ(p.flags, 0u);  // nothing parsed
    EXPECT_EQ(parsePlace(), 128);
    uint32_t flags = 0;
    char password[kPasswordSize];
    EXPECT_EQ(unzipOptions(std::string(4000, '-').c_str(), flags, password), kTooLong);
}

TEST_F(Options, InitialValuesAndWhatTheCallerPresets) {
    OptionSet o;
    o.level = 9;
    std::strcpy(o.password, "old");
    o.drive[0] = 'q';
    o.flags = kZipMultiVolume;
    o.dateAfter = 0x1234;
    o.dateBefore = 0x5678;
    EXPECT_EQ(zipOptions(nullptr, o), kOk);
    EXPECT_EQ(o.level, kDefaultLevel);
    EXPECT_STREQ(o.password, "");
    EXPECT_STREQ(o.drive, "x:\\");
    EXPECT_EQ(o.flags, kZipMultiVolume);
    EXPECT_EQ(o.dateAfter, 0x1234u);
    EXPECT_EQ(o.dateBefore, 0x5678u);

    // The parse place returns to 65535 at the start of every parse.
    EXPECT_EQ(zipOptions("-X", o), kBadOption);
    EXPECT_EQ(parsePlace(), 2);
    EXPECT_EQ(zipOptions("-R", o), kOk);
    EXPECT_EQ(parsePlace(), kNoPlace);
}

TEST_F(Options, VolumeLabelDrive) {
    OptionSet o;
    EXPECT_EQ(zipOptions("-$d -R", o), kOk);
    EXPECT_STREQ(o.drive, "d:\\");  // as typed
    EXPECT_EQ(o.flags, kZipVolumeLabel | kZipRecurse);
    EXPECT_EQ(zipOptions("-R", o), kOk);  // the flags stay; the drive is reset
    EXPECT_STREQ(o.drive, "x:\\");
    OptionSet current;
    EXPECT_EQ(zipOptions("-$ -R", current), kOk);
    EXPECT_EQ(current.drive[0], platform::currentDriveLetter());
    EXPECT_EQ(current.flags, kZipVolumeLabel | kZipRecurse);
}

// ---- Dates --------------------------------------------------------------------

struct DateCase {
    int order;
    const char* text;
    Result result;
    uint32_t after;
    uint16_t place = kNoPlace;
};

constexpr uint32_t kDec31of1996 = 0x219F;

const DateCase kDateCases[] = {
    {0, "-TA12/31/96", kOk, kDec31of1996},
    {0, "-TA123196", kOk, kDec31of1996},
    {0, "-TA12311996", kOk, kDec31of1996},
    {0, "-TA12-31-1996 -R", kOk, kDec31of1996},
    {0, "-TA1/2/3", kOk, (2003 - 1980) << 9 | 1 << 5 | 2},
    {0, "-TA01/01/00", kOk, 20 << 9 | 1 << 5 | 1},
    {0, "-TA12312107", kOk, 0xFF9F},
    {0, "-TA12312108", kOk, 0},   // beyond the DOS range: no date, no error
    {0, "-TA01011979", kOk, 0},   // before 1980 after the two-digit rule
    {0, "-TA12/31/1979", kOk, 0},
    {0, "-TA12/31/80", kOk, 12 << 5 | 31},
    {0, "-TA133296", kOk, 0x21A0},  // fixed fields are not checked: they spill
    {0, "-TA13/01/96", kBadDate, 0, 11},
    {0, "-TA0/1/96", kBadDate, 0, 9},
    {0, "-TA12/32/96", kBadDate, 0, 11},
    {0, "-TA12/31/2108", kBadDate, 0, 13},  // the separated year stops at 2099
    {0, "-TA1231961", kBadDate, 0, 10},     // seven digits are read as separated numbers
    {0, "-TA12/31", kBadDate, 0, 8},        // the string ends before the year
    {0, "-TA12/31/", kBadDate, 0, 9},
    {0, "-TA12/", kBadDate, 0, 6},
    {0, "-TA1", kBadDate, 0, 4},
    {1, "-TA31.12.1996", kOk, kDec31of1996},
    {1, "-TA311296", kOk, kDec31of1996},
    {1, "-TA31121996", kOk, kDec31of1996},
    {1, "-TA12/31/96", kBadDate, 0, 11},
    {2, "-TA96-12-31", kOk, kDec31of1996},
    {2, "-TA19961231", kOk, kDec31of1996},
    {2, "-TA961231", kOk, kDec31of1996},
    {2, "-TA1996/12/31", kOk, kDec31of1996},
    {3, "-TA12/31/96", kBadDate, 0, 3},
    {3, "-TA123196", kBadDate, 0, 3},
};

class Dates : public Options, public ::testing::WithParamInterface<DateCase> {};

TEST_P(Dates, AfterAndBefore) {
    const DateCase& c = GetParam();
    platform::setDateOrderOverride(c.order);
    OptionSet o;
    EXPECT_EQ(zipOptions(c.text, o), c.result) << c.text;
    EXPECT_EQ(o.dateAfter, c.after) << std::hex << o.dateAfter;
    EXPECT_EQ(parsePlace(), c.place);
    EXPECT_NE(o.flags & kZipDateAfter, 0u);

    // The same date after -TB, and after -t and -T of type 1.
    std::string before = c.text;
    before[2] = 'B';
    OptionSet b;
    EXPECT_EQ(zipOptions(before.c_str(), b), c.result);
    EXPECT_EQ(b.dateBefore, c.after);
    EXPECT_EQ(b.dateAfter, 0u);
    EXPECT_NE(b.flags & kZipDateBefore, 0u);

    setSecondParseType(true);
    std::string lower = "-t" + std::string(c.text + 3);
    OptionSet t;
    Result r = zipOptions(lower.c_str(), t);
    if (c.result == kOk) {
        EXPECT_EQ(r, kOk) << lower;
        EXPECT_EQ(t.dateAfter, c.after) << lower;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Dates, ::testing::ValuesIn(kDateCases));

TEST_F(Options, DateAloneIsToday) {
    time_t now = time(nullptr);
    struct tm local;
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    uint32_t today = static_cast<uint32_t>((local.tm_year + 1900 - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    OptionSet o;
    EXPECT_EQ(zipOptions("-TA -TB -R", o), kOk);
    EXPECT_EQ(o.dateAfter, today);
    EXPECT_EQ(o.dateBefore, today);
    EXPECT_EQ(o.flags, kZipDateAfter | kZipDateBefore | kZipRecurse);
    setSecondParseType(true);
    OptionSet t;
    EXPECT_EQ(zipOptions("-tr", t), kOk);
    EXPECT_EQ(t.dateAfter, today);
    EXPECT_EQ(t.flags, kZipDateAfter | kZipRecurse);
}

TEST_F(Options, DateOrderComesFromThePlatform) {
    // The same digits read in the three orders of the locale.
    const uint32_t expected[] = {
        (2003 - 1980) << 9 | 1 << 5 | 2,  // month-day-year
        (2003 - 1980) << 9 | 2 << 5 | 1,  // day-month-year
        (2001 - 1980) << 9 | 2 << 5 | 3,  // year-month-day
    };
    for (int order = 0; order < 3; ++order) {
        platform::setDateOrderOverride(order);
        OptionSet o;
        EXPECT_EQ(zipOptions("-TA010203", o), kOk);
        EXPECT_EQ(o.dateAfter, expected[order]) << order;
    }
}

}  // namespace
