// The status dispatcher: every report of every operation goes through report(),
// which answers from fixed defaults (reporting off), the host's hook, or the
// built-in message boxes.
#pragma once

#include <cstdint>

#include "zarlib32.h"

namespace zar::frame {

// What a report is: the status record's kind field.
enum class ReportKind : int16_t {
    Notice = 0,    // a problem with one entry; the code says which
    Question = 1,  // the code is a Question
    Progress = 2,
};

// The questions, as the code of a question report.
enum class Question : int16_t {
    InsertDisk = 1,
    FileExists = 2,
    LastDisk = 3,
};

// Answers to reports, from the host's hook, a built-in dialog or the fixed
// defaults. A hook may answer any value; values outside these stop the run.
enum class Answer : int16_t {
    Ok = 1,
    Cancel = 2,
    Yes = 6,
    No = 7,
    YesToAll = 106,  // replace this file and every later one of the run
};

// The status record's operation field.
enum class Operation : int16_t {
    None = -1,  // reporting was switched on and no operation has run since
    Zipping = 0,
    Unzipping = 1,
    Deleting = 2,
    Testing = 3,
    Indexing = 4,  // reading the directory of a multi-volume set
};

void setOperation(Operation operation);

// Reports what the status record describes. The caller has stored the entry
// name, operation and the size fields it owns; report() sets kind, code and
// (for disk questions) disk, and returns the answer.
Answer report(ReportKind kind, int16_t code, int16_t disk = 0);

// A notice of `code` about the entry in hand.
inline Answer notice(int16_t code) { return report(ReportKind::Notice, code); }
// A question; `disk` for the disk questions.
inline Answer ask(Question question, int16_t disk = 0) {
    return report(ReportKind::Question, static_cast<int16_t>(question), disk);
}
// A progress report. Its answer counts for nothing: hosts cancel through the flag.
inline void progress() { report(ReportKind::Progress, 0); }

// The size fields of the status record are 32-bit. An entry or file of 4 GiB
// or more has its sizes and its progress shifted right by the same number of
// bits, so that doneBytes / totalBytes stays the true fraction done.
// setEntrySizes sets totalBytes and packedBytes and chooses the shift that
// setDoneBytes then applies.
void setEntrySizes(uint64_t total, uint64_t packed);
void setDoneBytes(uint64_t done);

// Puts `text` into one of the record's name fields, cut to fit with its NUL.
void setNameField(char (&field)[260], const char* text);

// The built-in message box for a report, on a record whose separators are
// already '\'. Without any way to show a box it answers like reporting off.
Answer builtInDialog(const StatusRecord& record);

// The answer a report gets when nobody is asked.
Answer fixedAnswer(ReportKind kind, int16_t code);

}  // namespace zar::frame
