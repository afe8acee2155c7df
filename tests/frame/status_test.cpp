// The status dispatcher: fixed answers with reporting off, the hook's copy of
// the record, the hand-back to the built-in dialogs, and the dialogs' texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/run_state.h"
#include "frame/status.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace {

using namespace zar;

struct Shown {
    std::string text, caption;
    uint32_t style;
};
std::vector<Shown> shown;
int dialogAnswer = 0;

int recordDialog(const char* text, const char* caption, uint32_t style) {
    shown.push_back({text, caption, style});
    return dialogAnswer;
}

std::vector<StatusRecord> seen;
int16_t hookAnswer = 1;

int16_t AXAPI recordHook(StatusRecord record) {
    seen.push_back(record);
    return hookAnswer;
}

class Status : public ::testing::Test {
protected:
    void SetUp() override {
        shown.clear();
        seen.clear();
        dialogAnswer = 0;
        hookAnswer = 1;
        platform::setDialogOverride(recordDialog);
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(1);
    }
    void TearDown() override {
        platform::setDialogOverride(nullptr);
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
    }
    static void names(const char* archive, const char* entry) {
        std::strcpy(frame::status().archiveName, archive);
        std::strcpy(frame::status().entryName, entry);
    }
};

// The report kinds and question codes as hosts see them in the record.
constexpr int16_t kNotice = 0, kQuestion = 1, kProgress = 2;
constexpr int16_t kAskInsertDisk = 1, kAskFileExists = 2;

// A report's answer as the raw value a host would have given.
int16_t answer(int16_t kind, int16_t code, int16_t disk = 0) {
    return static_cast<int16_t>(frame::report(static_cast<frame::ReportKind>(kind), code, disk));
}

TEST_F(Status, ReportingOffAnswersWithFixedDefaults) {
    Ax4SetCPrint(0);
    Ax4CPrintHook(recordHook);
    struct Case {
        int16_t kind, code, answer;
    } cases[] = {
        {kNotice, -25, 1},       {kNotice, 105, 1},
        {kQuestion, 2, 7},       // keep the existing file
        {kQuestion, 1, 2},       // volume questions cancel
        {kQuestion, 3, 2},       {kQuestion, 99, 2},
        {kProgress, 0, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(answer(c.kind, c.code, 4), c.answer) << c.kind << "/" << c.code;
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(shown.empty());
}

TEST_F(Status, HookSeesBackslashesWhileTheRecordKeepsSlashes) {
    Ax4CPrintHook(recordHook);
    names("C:/archives/data.zip", "docs/readme.txt");
    frame::status().operation = 1;
    hookAnswer = 6;
    EXPECT_EQ(answer(kQuestion, kAskFileExists), 6);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_STREQ(seen[0].archiveName, "C:\\archives\\data.zip");
    EXPECT_STREQ(seen[0].entryName, "docs\\readme.txt");
    EXPECT_EQ(seen[0].kind, 1);
    EXPECT_EQ(seen[0].code, 2);
    EXPECT_EQ(seen[0].operation, 1);
    EXPECT_STREQ(frame::status().archiveName, "C:/archives/data.zip");
    EXPECT_STREQ(frame::status().entryName, "docs/readme.txt");
}

TEST_F(Status, HookAnswersPassUnchanged) {
    Ax4CPrintHook(recordHook);
    for (int16_t given : {1, 2, 7, 106, -4, 12345}) {
        hookAnswer = given;
        EXPECT_EQ(answer(kNotice, -24), given);
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(Status, HandBackFromTheHookRunsTheBuiltInDialog) {
    Ax4CPrintHook(recordHook);
    hookAnswer = kUseBuiltinDialog;
    names("a.zip", "dir/file.txt");
    frame::status().operation = 1;
    dialogAnswer = 6;
    EXPECT_EQ(answer(kQuestion, kAskFileExists), 6);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "dir\\file.txt: file already exists. Overwrite it?");

    shown.clear();
    EXPECT_EQ(answer(kProgress, 0), 1);  // progress never shows a box
    EXPECT_TRUE(shown.empty());
}

TEST_F(Status, BuiltInDialogTextsCaptionsAndButtons) {
    using namespace platform;
    struct Case {
        int16_t operation, kind, code, disk;
        const char *text, *caption;
        uint32_t style;
    } cases[] = {
        {1, 0, -25, 0, "f.txt: CRC mismatch. File may have error.", "UnZipping", kBoxOkCancel | kBoxIconExclamation},
        {3, 0, -24, 0, "f.txt: wrong password. Skipping file.", "Testing", kBoxOkCancel | kBoxIconExclamation},
        {1, 0, -3, 0, "f.txt: unknown compression method. Skipping file.", "UnZipping",
         kBoxOkCancel | kBoxIconExclamation},
        {1, 0, 105, 0, "f.txt: access denied. Skipping file.", "UnZipping", kBoxOkCancel | kBoxIconExclamation},
        // Adding files: a link that leads back into the walk, one that leads nowhere.
        {0, 0, 105, 0, "f.txt: cannot be added. Skipping file.", "Zipping", kBoxOkCancel | kBoxIconExclamation},
        {0, 0, 102, 0, "f.txt: not found. Skipping file.", "Zipping", kBoxOkCancel | kBoxIconExclamation},
        {1, 0, 7, 0, "f.txt", "UnZipping", kBoxOkCancel | kBoxIconExclamation},
        {0, 1, 1, 12, "Insert disk # 12", "Zipping", kBoxOkCancel | kBoxIconQuestion},
        {0, 1, 2, 0, "f.txt: file already exists. Overwrite it?", "Zipping",
         kBoxYesNoCancel | kBoxIconQuestion | kBoxDefaultButton2},
        {4, 1, 3, 0, "Insert the last disk of the set.", "Indexing", kBoxOkCancel | kBoxIconQuestion},
        {2, 1, 9, 0, "f.txt", "Deleting", kBoxOk | kBoxIconQuestion},
        {-1, 0, -25, 0, "f.txt: CRC mismatch. File may have error.", "", kBoxOkCancel | kBoxIconExclamation},
    };
    dialogAnswer = 1;
    for (const Case& c : cases) {
        shown.clear();
        names("a.zip", "f.txt");
        frame::status().operation = c.operation;
        EXPECT_EQ(answer(c.kind, c.code, c.disk), 1);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.text);
        EXPECT_EQ(shown[0].caption, c.caption);
        EXPECT_EQ(shown[0].style, c.style) << c.text;
    }
}

TEST_F(Status, WithoutAnyoneToAskTheDialogsAnswerLikeReportingOff) {
    dialogAnswer = 0;  // no terminal
    EXPECT_EQ(answer(kNotice, -25), 1);
    EXPECT_EQ(answer(kQuestion, kAskFileExists), 7);
    EXPECT_EQ(answer(kQuestion, kAskInsertDisk, 2), 2);
}

TEST_F(Status, ReportingOnResetsTheRecord) {
    frame::status().operation = 3;
    frame::status().totalBytes = 5;
    frame::status().reserved32 = 9;
    names("x", "y");
    Ax4SetCPrint(1);
    EXPECT_EQ(frame::status().operation, -1);
    EXPECT_EQ(+frame::status().totalBytes, 0u);
    EXPECT_EQ(+frame::status().reserved32, 0u);
    EXPECT_STREQ(frame::status().archiveName, "");
    EXPECT_EQ(Ax4GetCPrint(), 1);
    frame::status().operation = 2;
    Ax4SetCPrint(0);  // off leaves the record alone
    EXPECT_EQ(frame::status().operation, 2);
    EXPECT_EQ(Ax4GetCPrint(), 0);
}

}  // namespace
