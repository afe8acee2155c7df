// The status dispatcher and the built-in message boxes.
#include "frame/status.h"

#include <algorithm>
#include <cstring>
#include <string>

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
    switch (operation) {
        case 0: return "Zipping";
        case 1: return "UnZipping";
        case 2: return "Deleting";
        case 3: return "Testing";
        case 4: return "Indexing";
        default: return "";
    }
}

const char* noticeSuffix(int16_t code) {
    switch (code) {
        case -25: return ": CRC mismatch. File may have error.";
        case -24: return ": wrong password. Skipping file.";
        case -3: return ": unknown compression method. Skipping file.";
        case 105: return ": access denied. Skipping file.";
        default: return "";
    }
}

}  // namespace

int16_t fixedAnswer(int16_t kind, int16_t code) {
    if (kind == kQuestion) return code == kAskFileExists ? kAnswerNo : kAnswerCancel;
    return kAnswerOk;
}

int16_t builtInDialog(const StatusRecord& record) {
    std::string text = record.entryName;
    uint32_t style;
    if (record.kind == kNotice) {
        text += noticeSuffix(record.code);
        style = platform::kBoxOkCancel | platform::kBoxIconExclamation;
    } else if (record.kind == kQuestion) {
        style = platform::kBoxIconQuestion;
        switch (record.code) {
            case kAskInsertDisk:
                text = "Insert disk # " + std::to_string(record.disk);
                style |= platform::kBoxOkCancel;
                break;
            case kAskFileExists:
                text += ": file already exists. Overwrite it?";
                style |= platform::kBoxYesNoCancel | platform::kBoxDefaultButton2;
                break;
            case kAskLastDisk:
                text = "Insert the last disk of the set.";
                style |= platform::kBoxOkCancel;
                break;
            default:
                style |= platform::kBoxOk;
                break;
        }
    } else {
        return kAnswerOk;
    }
    int answer = platform::messageBox(text.c_str(), caption(record.operation), style);
    if (answer == 0) return fixedAnswer(record.kind, record.code);  // nobody to ask
    return static_cast<int16_t>(answer);
}

int16_t report(int16_t kind, int16_t code, int16_t disk) {
    StatusRecord& record = status();
    record.kind = kind;
    record.code = code;
    if (kind == kQuestion && (code == kAskInsertDisk || code == kAskLastDisk)) record.disk = disk;
    if (!reporting()) return fixedAnswer(kind, code);

    AxCPrintHookProc host = hook();
    if (host == nullptr) return builtInDialog(hostCopy());
    int16_t answer = host(hostCopy());
    if (answer == kUseBuiltinDialog) return builtInDialog(hostCopy());
    return answer;
}

void setNameField(char (&field)[260], const char* text) {
    size_t n = text == nullptr ? 0 : std::min(std::strlen(text), sizeof field - 1);
    if (n != 0) std::memcpy(field, text, n);
    field[n] = '\0';
}

}  // namespace zar::frame
