// The status dispatcher and the built-in message boxes.
#include "frame/status.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "frame/result.h"
#include "frame/run_state.h"
#include "platform/platform.h"

namespace zar::frame {
namespace {

void toBackslashes(char* text, size_t size) {
    for (size_t i = 0; i < size && text[i]; ++i)
        if (text[i] == '/') text[i] = '\\';
}

// The copy a hook or a dialog sees: '\' separators in both names, the
// library's own record untouched.
StatusRecord hostCopy() {
    StatusRecord copy = status();
    copy.archiveName[sizeof copy.archiveName - 1] = '\0';
    copy.entryName[sizeof copy.entryName - 1] = '\0';
    toBackslashes(copy.archiveName, sizeof copy.archiveName);
    toBackslashes(copy.entryName, sizeof copy.entryName);
    return copy;
}

const char* caption(int16_t operation) {
    switch (static_cast<Operation>(operation)) {
        case Operation::Zipping: return "Zipping";
        case Operation::Unzipping: return "UnZipping";
        case Operation::Deleting: return "Deleting";
        case Operation::Testing: return "Testing";
        case Operation::Indexing: return "Indexing";
        default: return "";
    }
}

const char* noticeSuffix(int16_t code, int16_t operation) {
    // Adding files, the walk passes over a link that leads back into it
    // (access denied) or nowhere (not found).
    const bool adding = static_cast<Operation>(operation) == Operation::Zipping;
    switch (code) {
        case kCrcMismatch: return ": CRC mismatch. File may have error.";
        case kWrongPassword: return ": wrong password. Skipping file.";
        case kUnknownMethod: return ": unknown compression method. Skipping file.";
        case kAccessDenied: return adding ? ": cannot be added. Skipping file." : ": access denied. Skipping file.";
        case kPathNotFound: return ": not found. Skipping file.";
        default: return "";
    }
}

}  // namespace

void setOperation(Operation operation) { status().operation = static_cast<int16_t>(operation); }

Answer fixedAnswer(ReportKind kind, int16_t code) {
    if (kind == ReportKind::Question)
        return static_cast<Question>(code) == Question::FileExists ? Answer::No : Answer::Cancel;
    return Answer::Ok;
}

Answer builtInDialog(const StatusRecord& record) {
    const auto kind = static_cast<ReportKind>(record.kind);
    std::string text = record.entryName;
    uint32_t style;
    if (kind == ReportKind::Notice) {
        text += noticeSuffix(record.code, record.operation);
        style = platform::kBoxOkCancel | platform::kBoxIconExclamation;
    } else if (kind == ReportKind::Question) {
        style = platform::kBoxIconQuestion;
        switch (static_cast<Question>(record.code)) {
            case Question::InsertDisk:
                text = "Insert disk # " + std::to_string(record.disk);
                style |= platform::kBoxOkCancel;
                break;
            case Question::FileExists:
                text += ": file already exists. Overwrite it?";
                style |= platform::kBoxYesNoCancel | platform::kBoxDefaultButton2;
                break;
            case Question::LastDisk:
                text = "Insert the last disk of the set.";
                style |= platform::kBoxOkCancel;
                break;
            default:
                style |= platform::kBoxOk;
                break;
        }
    } else {
        return Answer::Ok;
    }
    int answer = platform::messageBox(text.c_str(), caption(record.operation), style);
    if (answer == 0) return fixedAnswer(kind, record.code);  // nobody to ask
    return static_cast<Answer>(answer);
}

Answer report(ReportKind kind, int16_t code, int16_t disk) {
    StatusRecord& record = status();
    record.kind = static_cast<int16_t>(kind);
    record.code = code;
    const auto question = static_cast<Question>(code);
    if (kind == ReportKind::Question && (question == Question::InsertDisk || question == Question::LastDisk))
        record.disk = disk;
    if (!reporting()) return fixedAnswer(kind, code);

    AxCPrintHookProc host = hook();
    if (host == nullptr) return builtInDialog(hostCopy());
    int16_t answer = host(hostCopy());
    if (answer == kUseBuiltinDialog) return builtInDialog(hostCopy());
    return static_cast<Answer>(answer);
}

namespace {
int sizeShift = 0;

uint32_t shifted(uint64_t value) {
    value >>= sizeShift;
    return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}
}  // namespace

void setEntrySizes(uint64_t total, uint64_t packed) {
    sizeShift = 0;
    while ((std::max(total, packed) >> sizeShift) > 0xFFFFFFFFu) ++sizeShift;
    status().totalBytes = shifted(total);
    status().packedBytes = shifted(packed);
}

void setDoneBytes(uint64_t done) { status().doneBytes = shifted(done); }

void setNameField(char (&field)[260], const char* text) {
    size_t n = text == nullptr ? 0 : std::min(std::strlen(text), sizeof field - 1);
    if (n != 0) std::memcpy(field, text, n);
    field[n] = '\0';
}

}  // namespace zar::frame
